// The main window's life cycle and the server panel's commands, offscreen, against the
// loopback test server.

#include "app/mainform.h"
#include "grid/widgets/errorpanel.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorstatusbar.h"
#include "grid/widgets/monitortoolbar.h"
#include "mainformfixture.h"
#include "sampling/monitor.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverlistview.h"
#include "servers/widgets/serverpanel.h"
#include "servers/widgets/splitstrip.h"

#include <QAction>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

class TestMainForm : public QObject {
    Q_OBJECT
private slots:
    void firstStartWithoutSettings();
    void pauseTwice();
    void refreshWhilePausedGivesOneSnapshot();
    void periodList();
    void theRowCountSaysWhatTheLastSampleCost();
    void theRowCountsTooltipGoesWithTheCount_data();
    void theRowCountsTooltipGoesWithTheCount();
    void closingWhileASampleRuns();
    void addCancelledChangesNothing();
    void addWithAFailingStringLeavesARedRow();
    void connectedRowCanOnlyBeDisconnected();
    void disconnectTimeoutMessageOnlyForTheUsersCommand();
    void emptyNameShowsThePlaceholder();
    void deleteAsksAndRemovesTheKey();
    void panelToggleDisablesAdd();
    void sessionsArriveFromTheServer();
    void sampleFailureShowsTheErrorPanel();
};

void TestMainForm::firstStartWithoutSettings() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    QCOMPARE(form.ServerPanel->model()->rowCount(), 0);
    QVERIFY(!form.ServerPanel->actConnect->isEnabled());
    QVERIFY(!form.ServerPanel->actDisconnect->isEnabled());
    QVERIFY(!form.ServerPanel->actEditConnection->isEnabled());
    QVERIFY(!form.ServerPanel->actDeleteConnection->isEnabled());
    QVERIFY(!form.tbRecord->isEnabled());
    QCOMPARE(form.cbPeriod->currentText(), QStringLiteral("10 с"));
    QCOMPARE(form.Dervel->Period.load(), 1000);
    QCOMPARE(form.windowTitle(), QStringLiteral("Dervel"));
    QVERIFY(f.prompts().messages.isEmpty()); // a missing settings key is no error
}

void TestMainForm::pauseTwice() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    form.actPause->trigger();
    QVERIFY(form.Dervel->Pause);
    QVERIFY(form.actPause->isChecked());
    QCOMPARE(form.MonitorStatusBar->panelText(4), QStringLiteral("ПАУЗА"));
    form.actPause->trigger();
    QVERIFY(!form.Dervel->Pause);
    QVERIFY(!form.actPause->isChecked());
    QCOMPARE(form.MonitorStatusBar->panelText(4), QString());
}

// Counts the arrivals the window handles.
class TArrivalCounter : public QObject {
public:
    int arrivals = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == WM_DATAARRIVE)
            ++arrivals;
        return false;
    }
};

void TestMainForm::refreshWhilePausedGivesOneSnapshot() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    form.cbPeriod->setCurrentIndex(0); // as fast as it goes: 10 ms between samples
    f.addConnectedServer();
    TArrivalCounter counter;
    form.installEventFilter(&counter);
    QTRY_VERIFY(counter.arrivals > 0);
    form.actPause->trigger();
    QTest::qWait(200); // a sample that was running when paused may still arrive
    const int before = counter.arrivals;
    form.actRefresh->trigger();
    QTRY_COMPARE(counter.arrivals, before + 1);
    QTest::qWait(500); // 50 periods: paused, nothing else comes
    QCOMPARE(counter.arrivals, before + 1);
    form.removeEventFilter(&counter);
}

void TestMainForm::theRowCountSaysWhatTheLastSampleCost() {
    QLocale::setDefault(QLocale::c());
    const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::system()); });
    TMainFormFixture f;
    TMainForm& form = f.form();
    form.cbPeriod->setCurrentIndex(1); // "0.1 с"
    f.addConnectedServer();
    QTRY_VERIFY(
        form.MonitorStatusBar->panelHint(1).contains(QStringLiteral("Снимки приходят раз в")));
    const QString hint = form.MonitorStatusBar->panelHint(1);
    QVERIFY2(hint.startsWith(QStringLiteral("Всего процессов\nПоследний снимок: ")),
             qPrintable(hint));
    QVERIFY2(
        hint.contains(QStringLiteral("строк: %1, получено ").arg(form.MonitorModel->rowCount())),
        qPrintable(hint));
    QVERIFY(!hint.contains(QStringLiteral("дольше выбранного периода")));

    // A server slower than the period: the effective period is longer, and it says so.
    f.server().server().setResponseDelayMs(300);
    QTRY_VERIFY_WITH_TIMEOUT(
        form.MonitorStatusBar->panelHint(1).contains(QStringLiteral(
            "Снимок длится дольше выбранного периода (0.1 с): снимки приходят реже.")),
        10000);
    f.server().server().setResponseDelayMs(0);
}

// The figures of the last sample belong to the server they came from.
void TestMainForm::theRowCountsTooltipGoesWithTheCount_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("another server chosen") << QStringLiteral("click");
    QTest::newRow("disconnected") << QStringLiteral("disconnect");
    QTest::newRow("a sample failed") << QStringLiteral("failure");
}

void TestMainForm::theRowCountsTooltipGoesWithTheCount() {
    QFETCH(QString, how);
    TMainFormFixture f;
    TMainForm& form = f.form();
    form.cbPeriod->setCurrentIndex(1); // "0.1 с"
    TServer* s = f.addConnectedServer();
    form.ServerPanel->NewServer(QStringLiteral("Other"), QStringLiteral("Data Source=nowhere"),
                                false);
    QTRY_VERIFY(form.MonitorStatusBar->panelHint(1).contains(QStringLiteral("Последний снимок")));
    if (how == u"click") {
        QTest::mouseClick(
            form.ServerPanel->ServerVT->viewport(), Qt::LeftButton, {},
            form.ServerPanel->ServerVT->visualRect(form.ServerPanel->model()->index(1)).center());
        QCOMPARE(form.SelectedServer()->Name, QStringLiteral("Other"));
    } else if (how == u"disconnect") {
        form.ServerPanel->actDisconnect->trigger();
        QCOMPARE(s->State, stDisconnected);
    } else {
        f.server().server().dropConnectionAfterRows(1);
        form.actRefresh->trigger();
        QTRY_COMPARE(s->State, stError);
        f.server().server().dropConnectionAfterRows(-1);
    }
    QCOMPARE(form.MonitorStatusBar->panelText(1), QString());
    QCOMPARE(form.MonitorStatusBar->panelHint(1), QStringLiteral("Всего процессов"));
}

void TestMainForm::periodList() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    const QList<int> periods{1,    10,    100,   200,   500,    1000,  3000,
                             6000, 12000, 30000, 60000, 180000, 360000};
    QCOMPARE(form.cbPeriod->count(), 13);
    for (int i = 0; i < periods.size(); ++i) {
        form.cbPeriod->setCurrentIndex(i);
        QCOMPARE(form.Dervel->Period.load(), periods[i]);
    }
    QCOMPARE(form.cbPeriod->itemText(0), QStringLiteral("0 с"));
    QCOMPARE(form.cbPeriod->itemText(12), QStringLiteral("1 ч"));
}

void TestMainForm::closingWhileASampleRuns() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.addConnectedServer();
    f.server().server().setResponseDelayMs(300); // the next sample waits in the server
    form.actRefresh->trigger();
    QTest::qWait(50);
    form.close();
    f.server().server().setResponseDelayMs(0);
    QVERIFY(form.Dervel == nullptr);      // stopped and gone
    QCoreApplication::sendPostedEvents(); // a late notice must be dropped safely
}

void TestMainForm::addCancelledChangesNothing() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.prompts().connectionAnswers << TScriptedPrompts::TConnectionAnswer{false, {}, {}};
    form.ServerPanel->actAddConnection->trigger();
    QCOMPARE(f.prompts().connectionCalls.size(), 1);
    QCOMPARE(f.prompts().connectionCalls.first().caption, QStringLiteral("Новое подключение"));
    QCOMPARE(f.prompts().connectionCalls.first().name, QString());
    QCOMPARE(form.ServerPanel->model()->rowCount(), 0);
    QVERIFY(!form.ServerPanel->actConnect->isEnabled());
}

void TestMainForm::addWithAFailingStringLeavesARedRow() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.prompts().connectionAnswers << TScriptedPrompts::TConnectionAnswer{
        true, QStringLiteral("Broken"),
        f.server().oledb(QStringLiteral("sa"), QStringLiteral("x"))};
    form.ServerPanel->actAddConnection->trigger();
    QCOMPARE(form.ServerPanel->model()->rowCount(), 1);
    TServer* s = form.ServerPanel->model()->server(0);
    QCOMPARE(s->State, stError);
    QCOMPARE(form.ServerPanel->model()->index(0).data(Qt::UserRole).toInt(), int(stError));
    QCOMPARE(f.prompts().messages.size(), 1);
    QVERIFY(f.prompts().messages.first().text.startsWith(
        QStringLiteral("Ошибка при подключении к Broken:\r\n")));
    QVERIFY(form.ServerPanel->actConnect->isEnabled());
    QVERIFY(!form.ServerPanel->actDisconnect->isEnabled());
    QCOMPARE(form.MonitorModel->rowCount(), 0);
}

void TestMainForm::connectedRowCanOnlyBeDisconnected() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    TServer* s = f.addConnectedServer();
    QVERIFY(s);
    QCOMPARE(s->State, stConnected);
    QVERIFY(form.ServerPanel->actDisconnect->isEnabled());
    QVERIFY(!form.ServerPanel->actConnect->isEnabled());
    QVERIFY(!form.ServerPanel->actEditConnection->isEnabled());
    QVERIFY(!form.ServerPanel->actDeleteConnection->isEnabled());
    QVERIFY(form.tbRecord->isEnabled());
    // A double click on a connected entry does nothing: no new connect, no recomposition.
    const THandOver handOver = form.CurrentHandOver();
    QWidget* rows = form.ServerPanel->ServerVT->viewport();
    const QPoint row =
        form.ServerPanel->ServerVT->visualRect(form.ServerPanel->model()->index(0)).center();
    QTest::mouseDClick(rows, Qt::LeftButton, {}, row);
    QCOMPARE(s->State, stConnected);
    QCOMPARE(form.CurrentHandOver(), handOver);
    form.ServerPanel->actDisconnect->trigger();
    QCOMPARE(s->State, stDisconnected);
    QVERIFY(!s->Connection.connected());
    QVERIFY(form.ServerPanel->actConnect->isEnabled());
    QVERIFY(form.ServerPanel->actEditConnection->isEnabled());
    QVERIFY(form.ServerPanel->actDeleteConnection->isEnabled());
    QCOMPARE(form.cbDBList->count(), 0);
    QVERIFY(f.prompts().messages.isEmpty());
}

void TestMainForm::disconnectTimeoutMessageOnlyForTheUsersCommand() {
    for (bool userCommand : {true, false}) {
        TMainFormFixture f;
        TMainForm& form = f.form();
        TServer* s = f.addConnectedServer();
        // The sampler's query is held by the server for longer than the disconnect waits.
        f.server().server().setResponseDelayMs(3000);
        form.actRefresh->trigger();
        QTRY_VERIFY(s->Connection.dataSetCount() > 0);
        QTest::qWait(100); // the sampler is now inside its open
        form.ServerPanel->actDisconnectExecute(userCommand);
        f.server().server().setResponseDelayMs(0);
        QCOMPARE(s->State, stConnected);
        QCOMPARE(f.prompts().messages.size(), userCommand ? 1 : 0);
        if (userCommand)
            QCOMPARE(f.prompts().messages.first().text,
                     QStringLiteral("Не удалось прервать соединение. Превышено время ожидания."));
        QCOMPARE(form.MonitorModel->rowCount(), 0);
    }
}

void TestMainForm::emptyNameShowsThePlaceholder() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    form.ServerPanel->NewServer(QString(), QStringLiteral("Data Source=x"), false);
    QCOMPARE(form.ServerPanel->model()->index(0).data().toString(), QStringLiteral("<не указано>"));
}

void TestMainForm::deleteAsksAndRemovesTheKey() {
    TMainFormFixture f;
    {
        TMainForm& form = f.form();
        form.ServerPanel->NewServer(QStringLiteral("Keep"), QStringLiteral("Data Source=a"), false);
        form.ServerPanel->NewServer(QStringLiteral("Gone"), QStringLiteral("Data Source=b"), false);
    }
    f.restart(); // both are saved now
    TMainForm& form = f.form();
    QCOMPARE(form.ServerPanel->model()->rowCount(), 2);
    form.ServerPanel->ServerVT->setCurrentIndex(form.ServerPanel->model()->index(1));
    f.prompts().messageAnswers << TMsgResult::No;
    form.ServerPanel->actDeleteConnection->trigger();
    QCOMPARE(form.ServerPanel->model()->rowCount(), 2);
    QCOMPARE(f.prompts().messages.last().text, QStringLiteral("Удалить подключение?"));
    QCOMPARE(f.prompts().messages.last().defaultButton, TMsgResult::No);
    f.prompts().messageAnswers << TMsgResult::Yes;
    form.ServerPanel->actDeleteConnection->trigger();
    QCOMPARE(form.ServerPanel->model()->rowCount(), 1);
    QVERIFY(form.SelectedServer() == nullptr); // no other row takes the focus
    f.restart();
    QCOMPARE(f.form().ServerPanel->model()->rowCount(), 1);
    QCOMPARE(f.form().ServerPanel->model()->server(0)->Name, QStringLiteral("Keep"));
}

void TestMainForm::panelToggleDisablesAdd() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    QVERIFY(form.ServerPanel->actAddConnection->isEnabled());
    form.actShowPanel->trigger();
    QVERIFY(!form.ServerPanel->isVisible());
    QVERIFY(!form.ServerPanel->actAddConnection->isEnabled());
    QCOMPARE(form.SplitPanel->toolTip(), QStringLiteral("Показать панель подключений (F2)"));
    form.actShowPanel->trigger();
    QVERIFY(form.ServerPanel->isVisible());
    QVERIFY(form.ServerPanel->actAddConnection->isEnabled());
    QCOMPARE(form.SplitPanel->toolTip(), QStringLiteral("Скрыть панель подключений (F2)"));
}

void TestMainForm::sessionsArriveFromTheServer() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    TServer* s = f.addConnectedServer();
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0);
    QCOMPARE(form.MonitorStatusBar->panelText(0), s->ConnectDescr);
    QCOMPARE(form.MonitorStatusBar->panelText(1), QString::number(form.MonitorModel->rowCount()));
    QCOMPARE(form.cbDBList->itemText(0), QStringLiteral("<all databases>"));
    QCOMPARE(form.cbDBList->itemText(1), QStringLiteral("<empty>"));
    QCOMPARE(form.cbDBList->count(), s->DBList.size() + 2);
    int own = 0;
    for (int row = 0; row < form.MonitorModel->rowCount(); ++row)
        own += form.MonitorModel->record(row)->SelfID;
    QCOMPARE(own, 1);
}

void TestMainForm::sampleFailureShowsTheErrorPanel() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    TServer* s = f.addConnectedServer();
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0);
    f.server().server().dropConnectionAfterRows(1);
    form.actRefresh->trigger();
    QTRY_COMPARE(s->State, stError);
    f.server().server().dropConnectionAfterRows(-1);
    QVERIFY(!form.MonitorToolBar->isEnabled());
    const QStringList lines = form.mmError->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), QStringLiteral("Невозможно получить данные."));
    QCOMPARE(lines.value(1), QStringLiteral("Сообщение от провайдера:"));
    QVERIFY(lines.value(2).startsWith(QStringLiteral("[FreeTDS]")));
    QVERIFY(form.mmError->isVisible());
    QCOMPARE(form.MonitorStatusBar->panelText(0), QString());
    QVERIFY(form.ServerPanel->actConnect->isEnabled());
    // Connecting again brings the grid back.
    form.ServerPanel->actConnect->trigger();
    QCOMPARE(s->State, stConnected);
    QVERIFY(!form.mmError->isVisible());
    QVERIFY(form.MonitorToolBar->isEnabled());
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
