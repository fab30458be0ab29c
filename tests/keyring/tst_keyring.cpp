// Passwords in a real Secret Service (gnome-keyring-daemon on a D-Bus session of the
// test's own, see with-keyring.sh): kept from the connection dialog and the login
// dialog, used after a restart without any dialog, replaced only by one that worked,
// kept through an edit, forgotten with the entry, moved out of the settings file. Each
// case reads the settings file the window wrote for the password.

#include "keyring/widgets/keyringactions.h"
#include "keyringfixture.h"
#include "servers/passwordplacement.h"
#include "servers/server.h"
#include "servers/widgets/serverpanel.h"

#include <QAction>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace keyringtest;

class TestKeyring : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void connectionDialogKeepsItForTheNextRun();
    void loginDialogOffersToRemember_data();
    void loginDialogOffersToRemember();
    void wrongStoredPassword_data();
    void wrongStoredPassword();
    void editKeepsDeleteForgets();
    void moveAll();
    void moveFocusedFromTheMenu();
    void moveTakesThePasswordTheDriverGets_data();
    void moveTakesThePasswordTheDriverGets();
};

void TestKeyring::initTestCase() {
    TKeyring keyring;
    QVERIFY2(keyring.Usable(), "no D-Bus session: run under tests/keyring/with-keyring.sh");
}

void TestKeyring::connectionDialogKeepsItForTheNextRun() {
    TMainFormFixture f;
    f.prompts().connectionAnswers << TScriptedPrompts::TConnectionAnswer{
        true, u"Kept"_s, f.server().oledb(), /*toKeyring*/ true};
    f.form().ServerPanel->actAddConnection->trigger();
    QVERIFY(f.prompts().connectionCalls.last().keyringOffered);
    TServer* server = Entry(f, u"Kept"_s);
    QTRY_COMPARE(server->State, stConnected);
    QVERIFY(f.prompts().loginCalls.isEmpty());
    QVERIFY(PasswordInString(server->ConnectionString).isEmpty());
    QCOMPARE(Secret(server->ServerID).Password, kPassword);
    const QUuid id = server->ServerID;

    f.restart();
    QVERIFY(!SettingsText(f).contains(kPassword));
    QVERIFY(SettingsText(f).contains(u"User ID=sa"_s));
    DoubleClick(f, u"Kept"_s);
    server = Entry(f, u"Kept"_s);
    QCOMPARE(server->ServerID, id);
    QTRY_COMPARE(server->State, stConnected);
    QVERIFY(f.prompts().loginCalls.isEmpty());
    QVERIFY(f.prompts().messages.isEmpty());
    f.finish();
    QVERIFY(!SettingsText(f).contains(kPassword));
}

void TestKeyring::loginDialogOffersToRemember_data() {
    QTest::addColumn<bool>("remember");
    QTest::newRow("remembered: no dialog after a restart") << true;
    QTest::newRow("not remembered: the dialog again") << false;
}

void TestKeyring::loginDialogOffersToRemember() {
    QFETCH(bool, remember);
    TMainFormFixture f(false);
    FirstRun(f);
    const QUuid id = QUuid::createUuid();
    SaveServer(id, u"Asks"_s, f.server().oledb(u"sa"_s, QString()), 0);
    f.start();
    f.prompts().loginAnswers << TScriptedPrompts::TLoginAnswer{true, u"sa"_s, kPassword, remember};
    DoubleClick(f, u"Asks"_s);
    TServer* server = Entry(f, u"Asks"_s);
    QTRY_COMPARE(server->State, stConnected);
    QCOMPARE(f.prompts().loginCalls, QStringList{u"Asks|sa"_s});
    QVERIFY(f.prompts().loginOffers[0].rememberOffered);
    QVERIFY(!f.prompts().loginOffers[0].rememberChecked);
    QCOMPARE(Secret(id).Status, remember ? TKeyringReply::Done : TKeyringReply::NotFound);

    f.restart();
    QVERIFY(!SettingsText(f).contains(kPassword));
    if (!remember)
        f.prompts().loginAnswers << TScriptedPrompts::TLoginAnswer{true, u"sa"_s, kPassword};
    DoubleClick(f, u"Asks"_s);
    QTRY_COMPARE(Entry(f, u"Asks"_s)->State, stConnected);
    QCOMPARE(f.prompts().loginCalls.size(), remember ? 1 : 2);
    QCOMPARE(f.prompts().unanswered, 0);
    f.finish();
    QVERIFY(!SettingsText(f).contains(kPassword));
}

void TestKeyring::wrongStoredPassword_data() {
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("remember");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("stored");

    QTest::newRow("the new password works and replaces the stored one")
        << true << kPassword << true << int(stConnected) << kPassword;
    QTest::newRow("the new password is refused too: the stored one stays")
        << true << u"also-wrong"_s << true << int(stError) << u"wrong"_s;
    QTest::newRow("the box cleared: it works, the stored one stays")
        << true << kPassword << false << int(stConnected) << u"wrong"_s;
    QTest::newRow("cancelled: the stored one stays")
        << false << QString() << false << int(stError) << u"wrong"_s;
}

void TestKeyring::wrongStoredPassword() {
    QFETCH(bool, answered);
    QFETCH(QString, typed);
    QFETCH(bool, remember);
    QFETCH(int, state);
    QFETCH(QString, stored);

    TMainFormFixture f(false);
    FirstRun(f);
    const QUuid id = QUuid::createUuid();
    SaveServer(id, u"Stale"_s, f.server().oledb(u"sa"_s, QString()), 0);
    QVERIFY(SetSecret(id, u"wrong"_s));
    f.start();
    f.prompts().loginAnswers << TScriptedPrompts::TLoginAnswer{answered, u"sa"_s, typed, remember};
    DoubleClick(f, u"Stale"_s);
    TServer* server = Entry(f, u"Stale"_s);
    QTRY_COMPARE(f.prompts().loginCalls.size(), 1);
    QTRY_COMPARE(int(server->State), state);
    // The server's word on the stored password came first, then the dialog, its box
    // ticked: what the user types is meant to replace the stored password.
    QVERIFY(!f.prompts().messages.isEmpty());
    QVERIFY(f.prompts().messages[0].text.startsWith(u"Ошибка при подключении к Stale:\r\n"_s));
    QVERIFY(f.prompts().messages[0].text.contains(u"Login failed"_s));
    QVERIFY(f.prompts().loginOffers[0].rememberOffered);
    QVERIFY(f.prompts().loginOffers[0].rememberChecked);
    QTRY_COMPARE(Secret(id).Password, stored);
    f.finish();
    QVERIFY(!SettingsText(f).contains(kPassword));
}

void TestKeyring::editKeepsDeleteForgets() {
    TMainFormFixture f(false);
    FirstRun(f);
    const QUuid id = QUuid::createUuid();
    const QString string = f.server().oledb(u"sa"_s, QString());
    SaveServer(id, u"Before"_s, string, 0);
    QVERIFY(SetSecret(id, kPassword));
    f.start();

    Pick(f, u"Before"_s);
    f.prompts().connectionAnswers << TScriptedPrompts::TConnectionAnswer{true, u"After"_s, string};
    Key(f, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(f.prompts().connectionCalls.size(), 1);
    QCOMPARE(Entry(f, u"After"_s)->ServerID, id);
    DoubleClick(f, u"After"_s);
    QTRY_COMPARE(Entry(f, u"After"_s)->State, stConnected);
    QVERIFY(f.prompts().loginCalls.isEmpty());
    QCOMPARE(Secret(id).Password, kPassword);

    f.form().ServerPanel->actDisconnect->trigger();
    QCOMPARE(Entry(f, u"After"_s)->State, stDisconnected);
    f.prompts().messageAnswers << TMsgResult::Yes;
    Pick(f, u"After"_s); // the connect gave the grid the keyboard
    Key(f, Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(!Entry(f, u"After"_s));
    QTRY_COMPARE(Secret(id).Status, TKeyringReply::NotFound);
    f.finish();
    QVERIFY(!SettingsText(f).contains(kPassword));
}

void TestKeyring::moveAll() {
    TMainFormFixture f(false);
    FirstRun(f);
    // As earlier versions saved them: passwords in the strings.
    SaveServer(QUuid::createUuid(), u"One"_s, f.server().oledb(), 0);
    SaveServer(QUuid::createUuid(), u"Two"_s, f.server().oledb(), 1);
    f.start();
    QCOMPARE(SettingsText(f).count(kPassword), 2);

    ChooseFromMenu(f, u"One"_s, f.form().Keyring->actMoveAllPasswords);
    QTRY_COMPARE(f.prompts().messages.size(), 1);
    QCOMPARE(f.prompts().messages[0].text, u"Паролей перенесено в связку ключей: 2"_s);
    // Out of the file at once, not only at the end of the run.
    QVERIFY(!SettingsText(f).contains(kPassword));
    QVERIFY(!f.form().Keyring->actMoveAllPasswords->isEnabled());

    f.restart();
    for (const QString& name : {u"One"_s, u"Two"_s}) {
        DoubleClick(f, name);
        QTRY_COMPARE(Entry(f, name)->State, stConnected);
    }
    QVERIFY(f.prompts().loginCalls.isEmpty());
    f.finish();
    QVERIFY(!SettingsText(f).contains(kPassword));
}

void TestKeyring::moveFocusedFromTheMenu() {
    TMainFormFixture f(false);
    FirstRun(f);
    const QUuid moved = QUuid::createUuid(), kept = QUuid::createUuid();
    SaveServer(moved, u"Moved"_s, f.server().oledb(), 0);
    SaveServer(kept, u"Kept"_s, f.server().oledb(), 1);
    f.start();

    ChooseFromMenu(f, u"Moved"_s, f.form().Keyring->actMovePassword);
    QTRY_COMPARE(f.prompts().messages.size(), 1);
    QCOMPARE(f.prompts().messages[0].text, u"Паролей перенесено в связку ключей: 1"_s);
    QCOMPARE(Secret(moved).Password, kPassword);
    QCOMPARE(Secret(kept).Status, TKeyringReply::NotFound);
    QCOMPARE(SettingsText(f).count(kPassword), 1);
    QVERIFY(PasswordInString(Entry(f, u"Moved"_s)->ConnectionString).isEmpty());
    QCOMPARE(PasswordInString(Entry(f, u"Kept"_s)->ConnectionString), kPassword);
    // Moving it leaves nothing to move for that entry.
    Pick(f, u"Moved"_s);
    QVERIFY(!f.form().Keyring->actMovePassword->isEnabled());
    f.finish();
    QCOMPARE(SettingsText(f).count(kPassword), 1);
}

// However the string holds its password, the move takes the one the driver gets, leaves a
// string that still reads, and the next run connects with the keyring's password alone.
void TestKeyring::moveTakesThePasswordTheDriverGets_data() {
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("items"); // after "Data Source=…"
    QTest::newRow("a blank before the keyword")
        << u"sa"_s << kPassword << u";User ID=sa; Password=Dervel-2026;Connect Timeout=5"_s;
    QTest::newRow("PWD, blanks around the =")
        << u"sa"_s << kPassword << u";User ID=sa;PWD = Dervel-2026 ;Connect Timeout=5"_s;
    QTest::newRow("quoted, with ; and a quote")
        << u"semi"_s << u"a;b\"c"_s << u";User ID=semi;Password=\"a;b\"\"c\";Connect Timeout=5"_s;
}

void TestKeyring::moveTakesThePasswordTheDriverGets() {
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(QString, items);
    TMainFormFixture f(false);
    f.server().instance().addLogin(login.toStdString(), password.toStdString());
    FirstRun(f);
    const QUuid id = QUuid::createUuid();
    const QString source = f.server().oledb(QString(), QString()).section(u';', 0, 1);
    SaveServer(id, u"Moved"_s, source + items, 0);
    f.start();

    ChooseFromMenu(f, u"Moved"_s, f.form().Keyring->actMovePassword);
    QTRY_COMPARE(f.prompts().messages.size(), 1);
    QCOMPARE(Secret(id).Password, password);
    const QString left = Entry(f, u"Moved"_s)->ConnectionString;
    QCOMPARE(left, source + u";User ID="_s + login + u";Connect Timeout=5"_s);
    QVERIFY(!SettingsText(f).contains(password));

    f.restart();
    DoubleClick(f, u"Moved"_s);
    QTRY_COMPARE(Entry(f, u"Moved"_s)->State, stConnected);
    QVERIFY(f.prompts().loginCalls.isEmpty());
}

QTEST_MAIN(TestKeyring)
#include "tst_keyring.moc"
