// The windows in the language the locale chooses, as the program installs it: registered
// twice, under LANG=en_US.UTF-8 and LANG=ru_RU.UTF-8. Russian must read exactly as the
// program's own texts; English from the translation; Qt's buttons in the same language.

#include "actions/widgets/modalrun.h"
#include "actions/widgets/viewform.h"
#include "app/mainform.h"
#include "app/widgetprompts.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitortoolbar.h"
#include "grid/widgets/monitorview.h"
#include "language/language.h"
#include "mainformfixture.h"
#include "servers/server.h"
#include "servers/widgets/connectionform.h"
#include "servers/widgets/serverpanel.h"
#include "settings/widgets/selcolform.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

namespace {

bool english = false;

// The text expected in the language in use.
QString in(const QString& russian, const QString& inEnglish) {
    return english ? inEnglish : russian;
}

} // namespace

class TestUiLanguage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void mainWindow();
    void detailWindow();
    void columnChooser();
    void connectionDialog();
    void messageBoxes();
    void standardButtons();
};

void TestUiLanguage::initTestCase() {
    const TLanguage language =
        LanguageFromEnvironment([](const char* name) { return qEnvironmentVariable(name); });
    english = language == TLanguage::English;
    QVERIFY(InstallTranslations(language));
    qInfo("checking the %s texts", english ? "English" : "Russian");
}

void TestUiLanguage::mainWindow() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    QCOMPARE(form.actRefresh->toolTip(), in(u"Обновить данные"_s, u"Refresh now"_s));
    QCOMPARE(form.actExit->toolTip(), in(u"Закрыть программу"_s, u"Exit Dervel"_s));
    QCOMPARE(form.tbFollowFocus->toolTip(),
             in(u"Прокручивать до выделенной строки"_s, u"Scroll to the focused row"_s));
    QCOMPARE(form.cbPeriod->currentText(), in(u"10 с"_s, u"10 s"_s));
    QCOMPARE(form.cbPeriod->itemText(7), in(u"1 мин"_s, u"1 min"_s));
    QCOMPARE(form.edLogin->placeholderText(), u"<login>"_s);
    QCOMPARE(form.ServerPanel->actAddConnection->toolTip(),
             in(u"Добавить подключение"_s, u"Add a server"_s));
    QCOMPARE(form.MonitorModel->headerData(9, Qt::Horizontal, Qt::DisplayRole).toString(),
             u"I/O"_s);
    QStringList menu;
    for (const QAction* a : form.MenuMonitor->actions())
        if (!a->isSeparator())
            menu << a->text();
    QVERIFY2(menu.contains(in(u"Завершить процесс\tDel"_s, u"Kill process\tDel"_s)),
             qPrintable(menu.join(u" | "_s)));
}

void TestUiLanguage::detailWindow() {
    TMainFormFixture f;
    QList<QPointer<QDialog>> opened;
    SetModalRunner([&opened](QDialog* d) {
        opened.append(d);
        d->show();
    });
    f.addConnectedServer();
    QTRY_VERIFY(f.form().MonitorModel->rowCount() > 0);
    f.form().MonitorVT->setCurrentIndex(f.form().MonitorModel->index(0, 0));
    f.form().actView->trigger();
    SetModalRunner({});
    QCOMPARE(opened.size(), 1);
    auto* view = qobject_cast<TViewForm*>(opened.first().data());
    QVERIFY(view);
    QCOMPARE(view->btnRefresh->text(), in(u"Обновить (F5)"_s, u"Refresh (F5)"_s));
    QCOMPARE(view->btnClose->text(), in(u"Закрыть"_s, u"Close"_s));
    QCOMPARE(view->btnKill->text(), u"Kill"_s);
    QCOMPARE(view->tbWordWrap->toolTip(), in(u"Перенос по словам"_s, u"Word wrap"_s));
    delete view;
}

void TestUiLanguage::columnChooser() {
    TMainFormFixture f;
    f.form().SelColForm->FormShow(false, 0);
    QCOMPARE(f.form().SelColForm->windowTitle(), in(u"Показывать колонки"_s, u"Columns"_s));
    f.form().SelColForm->FormShow(true, 0);
    QCOMPARE(f.form().SelColForm->windowTitle(),
             in(u"Показывать колонки (недоступно, пока идёт запись в файл)"_s,
                u"Columns (read-only while recording to a file)"_s));
    f.form().SelColForm->hide();
}

void TestUiLanguage::connectionDialog() {
    TConnectionForm form;
    QCOMPARE(form.windowTitle(), in(u"Поключение"_s, u"Connection"_s));
    QCOMPARE(form.lbName->text(), in(u"Наименование подключения"_s, u"Connection name"_s));
    QCOMPARE(form.lbConnectionString->text(), in(u"Строка подключения"_s, u"Connection string"_s));
}

// What the program asks in message boxes, through the prompts seam.
void TestUiLanguage::messageBoxes() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.addConnectedServer();
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0);
    form.MonitorVT->setCurrentIndex(form.MonitorModel->index(0, 0));
    const TMonitorRec rec = *form.FocusedRec();
    form.actKillProcess->trigger(); // declined: no answer given
    QCOMPARE(f.prompts().messages.size(), 1);
    QCOMPARE(f.prompts().messages[0].caption, u"Kill process"_s);
    QCOMPARE(f.prompts().messages[0].text,
             in(u"Завершить процесс SPID=%1, Login=%2?"_s, u"Kill process SPID=%1, Login=%2?"_s)
                 .arg(rec.SPID)
                 .arg(rec.Login));

    f.prompts().connectionAnswers << TScriptedPrompts::TConnectionAnswer{
        true, u"Broken"_s, u"Provider=Nothing;Data Source=x;User ID=a;Password=b"_s};
    form.ServerPanel->actAddConnection->trigger();
    QCOMPARE(f.prompts().messages.size(), 2);
    QCOMPARE(f.prompts().messages[1].caption, in(u"Ошибка"_s, u"Error"_s));
    QVERIFY2(f.prompts().messages[1].text.startsWith(
                 in(u"Ошибка при подключении к Broken:\r\n"_s, u"Cannot connect to Broken:\r\n"_s)),
             qPrintable(f.prompts().messages[1].text));

    form.ServerPanel->actDeleteConnection->trigger(); // declined
    QCOMPARE(f.prompts().messages.size(), 3);
    QCOMPARE(f.prompts().messages[2].text, in(u"Удалить подключение?"_s, u"Delete this server?"_s));
    QCOMPARE(f.prompts().messages[2].caption, in(u"Удаление"_s, u"Delete"_s));
}

// Qt's own buttons follow the language: a Russian question with "Yes" and "No" beside it
// would not do.
void TestUiLanguage::standardButtons() {
    TWidgetPrompts prompts;
    SetPrompts(&prompts);
    QString yes, no;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box) {
            yes = box->button(QMessageBox::Yes)->text();
            no = box->button(QMessageBox::No)->text();
            box->button(QMessageBox::No)->click();
        }
    });
    ShowMessage(u"?"_s, u"Kill process"_s, TMsgIcon::Question, TMsgButtons::YesNo, TMsgResult::Yes);
    SetPrompts(nullptr);
    QCOMPARE(yes.remove(u'&'), in(u"Да"_s, u"Yes"_s));
    QCOMPARE(no.remove(u'&'), in(u"Нет"_s, u"No"_s));
}

QTEST_MAIN(TestUiLanguage)
#include "tst_uilanguage.moc"
