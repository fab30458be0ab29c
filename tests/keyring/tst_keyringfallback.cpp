// Without a keyring the user is told so once, and everything else goes as it always did:
// a password in the string connects with it and stays there, a string without one asks
// the login dialog every time, nothing waits, and no typed password reaches the settings
// file. Run twice by CTest: without any D-Bus session, and on a session bus where no
// Secret Service can start (no-secret-service.conf), where the keyring is offered and
// fails only when it is used.

#include "keyring/widgets/keyringactions.h"
#include "keyringfixture.h"
#include "servers/server.h"
#include "servers/widgets/serverpanel.h"

#include <QAction>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace keyringtest;

class TestKeyringFallback : public QObject {
    Q_OBJECT
private slots:
    void withoutSessionBus();
    void withoutSecretService();
};

void TestKeyringFallback::withoutSessionBus() {
    QVERIFY2(!QDBusConnection::sessionBus().isConnected(), "run without a D-Bus session");
    TMainFormFixture f(false);
    FirstRun(f);
    SaveServer(QUuid::createUuid(), u"Asks"_s, f.server().oledb(u"sa"_s, QString()), 0);
    SaveServer(QUuid::createUuid(), u"Plain"_s, f.server().oledb(), 1);
    f.start();
    QElapsedTimer clock;
    clock.start();

    // Twice, with a disconnect between: the dialog each time, the notice only once.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        f.prompts().loginAnswers << TScriptedPrompts::TLoginAnswer{true, u"sa"_s, kPassword};
        DoubleClick(f, u"Asks"_s);
        // No keyring to wait for: connected by the time the command returns.
        QCOMPARE(Entry(f, u"Asks"_s)->State, stConnected);
        QCOMPARE(f.prompts().loginCalls.size(), attempt);
        QVERIFY(!f.prompts().loginOffers.last().rememberOffered);
        f.form().ServerPanel->actDisconnect->trigger();
    }
    QCOMPARE(f.prompts().messages.size(), 1);
    QCOMPARE(f.prompts().messages[0].caption, u"Dervel"_s);
    QVERIFY(f.prompts().messages[0].text.startsWith(u"Связка ключей недоступна: "_s));

    DoubleClick(f, u"Plain"_s);
    QCOMPARE(Entry(f, u"Plain"_s)->State, stConnected);
    QCOMPARE(f.prompts().loginCalls.size(), 2);

    // The connection dialog offers no keyring; the moves have nothing to move into.
    f.prompts().connectionAnswers << TScriptedPrompts::TConnectionAnswer{
        true, u"Added"_s, f.server().oledb(), /*toKeyring*/ true};
    f.form().ServerPanel->actAddConnection->trigger();
    QVERIFY(!f.prompts().connectionCalls.last().keyringOffered);
    QCOMPARE(Entry(f, u"Added"_s)->State, stConnected);
    QCOMPARE(Entry(f, u"Added"_s)->ConnectionString, f.server().oledb());
    f.form().Keyring->actMoveAllPasswords->trigger();
    QCOMPARE(Entry(f, u"Plain"_s)->ConnectionString, f.server().oledb());
    QCOMPARE(f.prompts().messages.size(), 1);
    QVERIFY2(clock.elapsed() < 20000, "something waited for a keyring that is not there");

    f.finish();
    // The two strings that hold it keep it, as they always did; the typed one is not kept.
    QCOMPARE(SettingsText(f).count(kPassword), 2);
    QCOMPARE(f.prompts().unanswered, 0);
}

void TestKeyringFallback::withoutSecretService() {
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run on a bus without a Secret Service");
    TMainFormFixture f(false);
    FirstRun(f);
    SaveServer(QUuid::createUuid(), u"Asks"_s, f.server().oledb(u"sa"_s, QString()), 0);
    f.start();
    QElapsedTimer clock;
    clock.start();

    // The bus is there, so the keyring is offered; the write fails, and the password
    // stays where it was typed.
    f.prompts().connectionAnswers << TScriptedPrompts::TConnectionAnswer{
        true, u"Added"_s, f.server().oledb(), /*toKeyring*/ true};
    f.form().ServerPanel->actAddConnection->trigger();
    QVERIFY(f.prompts().connectionCalls.last().keyringOffered);
    QTRY_COMPARE(Entry(f, u"Added"_s)->State, stConnected);
    QCOMPARE(Entry(f, u"Added"_s)->ConnectionString, f.server().oledb());
    QCOMPARE(f.prompts().messages.size(), 1);
    QVERIFY(f.prompts().messages[0].text.startsWith(u"Связка ключей недоступна: "_s));

    // From then on, as without a keyring: no offer, no second notice, no waiting.
    f.prompts().loginAnswers << TScriptedPrompts::TLoginAnswer{true, u"sa"_s, kPassword};
    DoubleClick(f, u"Asks"_s);
    QCOMPARE(Entry(f, u"Asks"_s)->State, stConnected);
    QVERIFY(!f.prompts().loginOffers.last().rememberOffered);
    QCOMPARE(f.prompts().messages.size(), 1);
    QVERIFY2(clock.elapsed() < 20000, "something waited for a keyring that is not there");

    f.finish();
    QCOMPARE(SettingsText(f).count(kPassword), 1);
    QCOMPARE(f.prompts().unanswered, 0);
}

QTEST_MAIN(TestKeyringFallback)
#include "tst_keyringfallback.moc"
