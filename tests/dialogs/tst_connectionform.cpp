// The connection dialog the server panel shows for Add and Edit: the data link dialog
// at first showing, the proposed name, the stored-password warning and the size limits.

#include "scriptedprompts.h"
#include "servers/widgets/connectionform.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kWarning = u"Внимание! Пароль будет сохранён в открытом виде. Продолжить?"_s;
const QString kToKeyring = u"Сохранить пароль в связке ключей, а не в строке подключения?"_s;
const QString kBuilt = u"Provider=SQLOLEDB.1;Data Source=HOST\\INST;User ID=sa;"
                       u"Persist Security Info=False;Connect Timeout=15"_s;

// How the dialog is asked to close.
enum class TCloseBy { OK, EnterKey, Cancel, Escape, CloseButton };

void closeBy(TConnectionForm& form, TCloseBy how) {
    switch (how) {
    case TCloseBy::OK:
        QTest::mouseClick(form.btnOK, Qt::LeftButton);
        break;
    case TCloseBy::EnterKey:
        QTest::keyClick(form.edName, Qt::Key_Return);
        break;
    case TCloseBy::Cancel:
        QTest::mouseClick(form.btnCancel, Qt::LeftButton);
        break;
    case TCloseBy::Escape:
        QTest::keyClick(form.edName, Qt::Key_Escape);
        break;
    case TCloseBy::CloseButton:
        form.close();
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(TCloseBy)

class TestConnectionForm : public QObject {
    Q_OBJECT
private slots:
    void design();
    void showing_data();
    void showing();
    void reusedAcrossShowings();
    void connectionStringButton_data();
    void connectionStringButton();
    void closing_data();
    void closing();
    void keyringOffer_data();
    void keyringOffer();
    void execReturnsTheResult();
    void sizeLimits_data();
    void sizeLimits();
    void anchoring();
};

void TestConnectionForm::design() {
    TConnectionForm form;
    QCOMPARE(form.windowTitle(), u"Поключение"_s);
    QCOMPARE(form.size(), QSize(376, 146));
    QCOMPARE(form.font().family(), u"Tahoma"_s);
    QCOMPARE(form.font().pixelSize(), 11);
    QCOMPARE(form.btnConnectionString->font().pixelSize(), 16);
    QCOMPARE(form.windowFlags() & Qt::WindowType_Mask, Qt::Tool);

    QCOMPARE(form.lbName->text(), u"Наименование подключения"_s);
    QCOMPARE(form.lbConnectionString->text(), u"Строка подключения"_s);
    QCOMPARE(form.btnConnectionString->text(), u"..."_s);
    QCOMPARE(form.btnOK->text(), u"ОК"_s);
    QCOMPARE(form.btnCancel->text(), u"Отмена"_s);
    QVERIFY(form.btnOK->isDefault());
    QVERIFY(!form.btnConnectionString->autoDefault());

    QCOMPARE(form.edName->geometry(), QRect(16, 28, 345, 21));
    QCOMPARE(form.edConnectionString->geometry(), QRect(16, 72, 318, 21));
    QCOMPARE(form.btnConnectionString->geometry(), QRect(335, 71, 26, 23));
    QCOMPARE(form.btnOK->geometry(), QRect(205, 109, 75, 25));
    QCOMPARE(form.btnCancel->geometry(), QRect(286, 109, 75, 25));
    QVERIFY(form.lbName->geometry().bottom() < form.edName->y());
    QVERIFY(form.lbConnectionString->geometry().bottom() < form.edConnectionString->y());

    // Tab order over the controls that take the focus.
    QList<QWidget*> order;
    QWidget* w = form.edName;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order << w;
        w = w->nextInFocusChain();
    } while (w != form.edName);
    const QList<QWidget*> expected{form.edName, form.edConnectionString, form.btnConnectionString,
                                   form.btnOK, form.btnCancel};
    QCOMPARE(order, expected);
}

void TestConnectionForm::showing_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<bool>("linkAccepted");
    QTest::addColumn<QString>("linkResult");
    QTest::addColumn<int>("linkCalls");
    QTest::addColumn<QString>("expectedName");
    QTest::addColumn<QString>("expectedString");

    QTest::newRow("add: data link at once, name from Data Source")
        << u""_s << u""_s << true << kBuilt << 1 << u"HOST\\INST"_s << kBuilt;
    QTest::newRow("add, data link cancelled: both stay empty")
        << u""_s << u""_s << false << u""_s << 1 << u""_s << u""_s;
    QTest::newRow("edit of an empty string keeps a given name")
        << u"Mine"_s << u""_s << true << kBuilt << 1 << u"Mine"_s << kBuilt;
    QTest::newRow("edit of an empty string, cancelled")
        << u"Mine"_s << u""_s << false << u""_s << 1 << u"Mine"_s << u""_s;
    QTest::newRow("built string without a Data Source leaves the name empty")
        << u""_s << u""_s << true << u"Provider=SQLOLEDB.1"_s << 1 << u""_s
        << u"Provider=SQLOLEDB.1"_s;
    QTest::newRow("Data Source found in any letter case")
        << u""_s << u""_s << true << u"data source=srv,1433;User ID=u"_s << 1 << u"srv,1433"_s
        << u"data source=srv,1433;User ID=u"_s;
    QTest::newRow("edit of an entry with a string opens no data link")
        << u"N"_s << u"Data Source=x"_s << true << kBuilt << 0 << u"N"_s << u"Data Source=x"_s;
    QTest::newRow("a string and no name: the name stays empty")
        << u""_s << u"Data Source=x"_s << true << kBuilt << 0 << u""_s << u"Data Source=x"_s;
}

void TestConnectionForm::showing() {
    QFETCH(QString, name);
    QFETCH(QString, connectionString);
    QFETCH(bool, linkAccepted);
    QFETCH(QString, linkResult);
    QFETCH(int, linkCalls);
    QFETCH(QString, expectedName);
    QFETCH(QString, expectedString);

    TScriptedPrompts prompts;
    prompts.dataLinkAnswers << TScriptedPrompts::TDataLinkAnswer{linkAccepted, linkResult};
    TConnectionForm form;
    form.edName->setText(name);
    form.edConnectionString->setText(connectionString);
    form.show();

    QCOMPARE(prompts.dataLinkCalls.size(), linkCalls);
    if (linkCalls > 0) {
        QCOMPARE(prompts.dataLinkCalls[0].parent, &form);
        QCOMPARE(prompts.dataLinkCalls[0].connectionString, connectionString);
    }
    QVERIFY(form.isVisible()); // the dialog itself stays up either way
    QCOMPARE(form.edName->text(), expectedName);
    QCOMPARE(form.edConnectionString->text(), expectedString);
    QVERIFY(prompts.messages.isEmpty());
}

void TestConnectionForm::reusedAcrossShowings() {
    TScriptedPrompts prompts;
    prompts.dataLinkAnswers << TScriptedPrompts::TDataLinkAnswer{true, kBuilt}
                            << TScriptedPrompts::TDataLinkAnswer{true, u"Data Source=two"_s};
    TConnectionForm form;
    form.show();
    closeBy(form, TCloseBy::OK);
    QVERIFY(!form.isVisible());

    // Shown again untouched: the fields keep the last texts, so no data link.
    form.show();
    QCOMPARE(prompts.dataLinkCalls.size(), 1);
    QCOMPARE(form.edName->text(), u"HOST\\INST"_s);
    closeBy(form, TCloseBy::Cancel);

    // Emptied by the caller (Add): the data link opens again and names the entry anew.
    form.edName->clear();
    form.edConnectionString->clear();
    form.show();
    QCOMPARE(prompts.dataLinkCalls.size(), 2);
    QCOMPARE(form.edName->text(), u"two"_s);
}

void TestConnectionForm::connectionStringButton_data() {
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("expected");

    QTest::newRow("confirmed: the built string replaces the text") << true << kBuilt;
    QTest::newRow("cancelled: the text stays") << false << u"Data Source=old"_s;
}

void TestConnectionForm::connectionStringButton() {
    QFETCH(bool, accepted);
    QFETCH(QString, expected);

    TScriptedPrompts prompts;
    TConnectionForm form;
    form.edName->setText(u"N"_s);
    form.edConnectionString->setText(u"Data Source=old"_s);
    form.show();
    QVERIFY(prompts.dataLinkCalls.isEmpty());

    prompts.dataLinkAnswers << TScriptedPrompts::TDataLinkAnswer{accepted, kBuilt};
    QTest::mouseClick(form.btnConnectionString, Qt::LeftButton);
    QCOMPARE(prompts.dataLinkCalls.size(), 1);
    QCOMPARE(prompts.dataLinkCalls[0].connectionString, u"Data Source=old"_s);
    QCOMPARE(prompts.dataLinkCalls[0].parent, &form);
    QCOMPARE(form.edConnectionString->text(), expected);
    QCOMPARE(form.edName->text(), u"N"_s); // the button never renames
    QVERIFY(form.isVisible());
}

void TestConnectionForm::closing_data() {
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<TCloseBy>("how");
    QTest::addColumn<QList<TMsgResult>>("answers");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("warnings");
    QTest::addColumn<bool>("closed");

    const QString pw = u"Data Source=h;User ID=sa;Password=secret"_s;
    const QList<TMsgResult> none;
    const QList<TMsgResult> no{TMsgResult::No};
    const QList<TMsgResult> yes{TMsgResult::Yes};

    QTest::newRow("OK with a password, No: stays open")
        << pw << TCloseBy::OK << no << 1 << 1 << false;
    QTest::newRow("OK with a password, Yes: closes") << pw << TCloseBy::OK << yes << 1 << 1 << true;
    QTest::newRow("OK with a password, No then Yes")
        << pw << TCloseBy::OK << QList<TMsgResult>{TMsgResult::No, TMsgResult::Yes} << 2 << 2
        << true;
    QTest::newRow("Enter with a password warns")
        << pw << TCloseBy::EnterKey << yes << 1 << 1 << true;
    QTest::newRow("lower-case keyword warns")
        << u"Data Source=h;password=secret"_s << TCloseBy::OK << no << 1 << 1 << false;
    QTest::newRow("two double quotes do not warn")
        << u"Data Source=h;Password=\"\""_s << TCloseBy::OK << none << 1 << 0 << true;
    QTest::newRow("empty password does not warn")
        << u"Data Source=h;Password=;User ID=u"_s << TCloseBy::OK << none << 1 << 0 << true;
    QTest::newRow("no password item does not warn")
        << u"Data Source=h;User ID=u"_s << TCloseBy::OK << none << 1 << 0 << true;
    // The string is read as the driver gets it: a password it would send is one.
    QTest::newRow("a blank before the keyword warns too")
        << u"Data Source=h; Password=secret"_s << TCloseBy::OK << no << 1 << 1 << false;
    QTest::newRow("PWD warns") << u"Data Source=h;PWD = secret"_s << TCloseBy::OK << no << 1 << 1
                               << false;
    QTest::newRow("a quoted password with ; warns")
        << u"Data Source=h;Password=\"a;b\""_s << TCloseBy::OK << no << 1 << 1 << false;
    QTest::newRow("a password inside another item's quoted value does not warn")
        << u"Data Source=h;Application Name='x;Password=y'"_s << TCloseBy::OK << none << 1 << 0
        << true;
    QTest::newRow("a string the driver cannot read still warns of its password")
        << u"Data Source=h;Password=\"a;b"_s << TCloseBy::OK << yes << 1 << 1 << true;
    QTest::newRow("Cancel never warns") << pw << TCloseBy::Cancel << none << 1 << 0 << true;
    QTest::newRow("Esc never warns") << pw << TCloseBy::Escape << none << 1 << 0 << true;
    QTest::newRow("close button never warns")
        << pw << TCloseBy::CloseButton << none << 1 << 0 << true;
}

void TestConnectionForm::closing() {
    QFETCH(QString, connectionString);
    QFETCH(TCloseBy, how);
    QFETCH(QList<TMsgResult>, answers);
    QFETCH(int, attempts);
    QFETCH(int, warnings);
    QFETCH(bool, closed);

    TScriptedPrompts prompts;
    TConnectionForm form;
    form.edName->setText(u"Name"_s);
    form.edConnectionString->setText(connectionString);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    form.edName->setFocus();

    prompts.messageAnswers = answers;
    for (int i = 0; i < attempts; ++i)
        closeBy(form, how);

    QCOMPARE(prompts.messages.size(), warnings);
    for (const TMessage& m : prompts.messages) {
        QCOMPARE(m.text, kWarning);
        QCOMPARE(m.caption, u"Dervel"_s);
        QCOMPARE(m.icon, TMsgIcon::Warning);
        QCOMPARE(m.buttons, TMsgButtons::YesNo);
        QCOMPARE(m.defaultButton, TMsgResult::No);
    }
    QCOMPARE(prompts.unanswered, 0);
    QCOMPARE(!form.isVisible(), closed);
    const bool okClose = how == TCloseBy::OK || how == TCloseBy::EnterKey;
    if (closed)
        QCOMPARE(form.result(), okClose ? int(QDialog::Accepted) : int(QDialog::Rejected));
    // Declining changes nothing in the fields.
    QCOMPARE(form.edName->text(), u"Name"_s);
    QCOMPARE(form.edConnectionString->text(), connectionString);
}

void TestConnectionForm::keyringOffer_data() {
    QTest::addColumn<bool>("offered");
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<QList<TMsgResult>>("answers");
    QTest::addColumn<QStringList>("questions");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("toKeyring");

    const QString pw = u"Data Source=h;User ID=sa;Password=secret"_s;
    const TMsgResult yes = TMsgResult::Yes, no = TMsgResult::No;
    QTest::newRow("Yes: to the keyring, no plain-text warning")
        << true << pw << QList<TMsgResult>{yes} << QStringList{kToKeyring} << true << true;
    QTest::newRow("No: the warning as without a keyring, Yes closes")
        << true << pw << QList<TMsgResult>{no, yes} << QStringList{kToKeyring, kWarning} << true
        << false;
    QTest::newRow("No twice: stays open") << true << pw << QList<TMsgResult>{no, no}
                                          << QStringList{kToKeyring, kWarning} << false << false;
    QTest::newRow("no password: nothing to ask")
        << true << u"Data Source=h;User ID=sa"_s << QList<TMsgResult>{} << QStringList{} << true
        << false;
    QTest::newRow("no keyring: the warning only")
        << false << pw << QList<TMsgResult>{yes} << QStringList{kWarning} << true << false;
    // Nothing could be taken out of a string the driver cannot read.
    QTest::newRow("a string that does not read: the warning only")
        << true << u"Data Source=h;Password=\"a;b"_s << QList<TMsgResult>{yes}
        << QStringList{kWarning} << true << false;
}

void TestConnectionForm::keyringOffer() {
    QFETCH(bool, offered);
    QFETCH(QString, connectionString);
    QFETCH(QList<TMsgResult>, answers);
    QFETCH(QStringList, questions);
    QFETCH(bool, closed);
    QFETCH(bool, toKeyring);

    TScriptedPrompts prompts;
    TConnectionForm form;
    form.edName->setText(u"Name"_s);
    form.edConnectionString->setText(connectionString);
    form.KeyringOffered = offered;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    prompts.messageAnswers = answers;
    closeBy(form, TCloseBy::OK);

    QStringList asked;
    for (const TMessage& m : prompts.messages)
        asked << m.text;
    QCOMPARE(asked, questions);
    if (!prompts.messages.isEmpty()) {
        QCOMPARE(prompts.messages[0].buttons, TMsgButtons::YesNo);
        QCOMPARE(prompts.messages[0].caption, u"Dervel"_s);
    }
    QCOMPARE(prompts.unanswered, 0);
    QCOMPARE(!form.isVisible(), closed);
    QCOMPARE(form.PasswordToKeyring, toKeyring);
    // The dialog only reports the choice: the string is the caller's to change.
    QCOMPARE(form.edConnectionString->text(), connectionString);
}

void TestConnectionForm::execReturnsTheResult() {
    TScriptedPrompts prompts;
    prompts.dataLinkAnswers << TScriptedPrompts::TDataLinkAnswer{true, kBuilt};
    TConnectionForm form;
    form.setWindowTitle(u"Новое подключение"_s);
    QTimer::singleShot(0, &form, [&form] {
        QVERIFY(form.isVisible());
        form.btnOK->click();
    });
    QCOMPARE(form.exec(), int(QDialog::Accepted));
    QCOMPARE(form.windowTitle(), u"Новое подключение"_s);
    QCOMPARE(form.edConnectionString->text(), kBuilt);
    QCOMPARE(form.edName->text(), u"HOST\\INST"_s);
}

void TestConnectionForm::sizeLimits_data() {
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("lower") << QSize(376, 100) << QSize(376, 146);
    QTest::newRow("higher") << QSize(376, 300) << QSize(376, 146);
    QTest::newRow("narrower") << QSize(200, 146) << QSize(376, 146);
    QTest::newRow("wider") << QSize(600, 146) << QSize(600, 146);
    QTest::newRow("wider and higher: only wider") << QSize(600, 400) << QSize(600, 146);
}

void TestConnectionForm::sizeLimits() {
    QFETCH(QSize, requested);
    QFETCH(QSize, expected);

    TScriptedPrompts prompts;
    TConnectionForm form;
    form.edConnectionString->setText(u"Data Source=x"_s);
    form.show();
    form.resize(requested);
    QTRY_COMPARE(form.size(), expected);
    QCOMPARE(form.minimumSize(), QSize(376, 146));
    QCOMPARE(form.maximumHeight(), 146);
}

void TestConnectionForm::anchoring() {
    TScriptedPrompts prompts;
    TConnectionForm form;
    form.edConnectionString->setText(u"Data Source=x"_s);
    form.show();
    form.resize(476, 146);
    QTRY_COMPARE(form.width(), 476);
    QCOMPARE(form.edName->geometry(), QRect(16, 28, 445, 21));
    QCOMPARE(form.edConnectionString->geometry(), QRect(16, 72, 418, 21));
    QCOMPARE(form.btnConnectionString->geometry(), QRect(435, 71, 26, 23));
    QCOMPARE(form.btnOK->geometry(), QRect(305, 109, 75, 25));
    QCOMPARE(form.btnCancel->geometry(), QRect(386, 109, 75, 25));
}

QTEST_MAIN(TestConnectionForm)
#include "tst_connectionform.moc"
