// dervel-record --server with the entry's password in a real Secret Service (see
// with-keyring.sh), as the window keeps it after a move: recorded without a password in
// the settings or on the command line; a wrong or missing one ends with the status of a
// refused login instead of being tried again; without any keyring it says so.

#include "keyring/keyring.h"
#include "keyringfixture.h"
#include "recorder/recordcommandline.h"
#include "recorder/recordingreader.h"
#include "recorderprocesses.h"
#include "registry/registry.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace keyringtest;

class TestRecordKeyring : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void theEntrysPasswordComesFromTheKeyring_data();
    void theEntrysPasswordComesFromTheKeyring();

private:
    QTemporaryDir dir;
    TRecorderProcesses processes{dir.path()};
};

void TestRecordKeyring::initTestCase() {
    QVERIFY(dir.isValid());
    TKeyring keyring;
    QVERIFY2(keyring.Usable(), "no D-Bus session: run under tests/keyring/with-keyring.sh");
    TRegistry::SetDefaultLocation(dir.filePath(u"dervel"_s));
}

void TestRecordKeyring::theEntrysPasswordComesFromTheKeyring_data() {
    QTest::addColumn<QString>("secret"); // null: none kept for the entry
    QTest::addColumn<bool>("sessionBus");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::newRow("kept there") << kPassword << true << kRecordExitOk << u"Подключено"_s;
    QTest::newRow("a wrong one kept there")
        << u"wrong"_s << true << kRecordExitLoginRefused << u"отклонил вход"_s;
    QTest::newRow("none kept") << QString() << true << kRecordExitLoginRefused
                               << u"отклонил вход"_s;
    QTest::newRow("no keyring at all")
        << kPassword << false << kRecordExitLoginRefused << u"Связка ключей недоступна"_s;
}

void TestRecordKeyring::theEntrysPasswordComesFromTheKeyring() {
    QFETCH(QString, secret);
    QFETCH(bool, sessionBus);
    QFETCH(int, status);
    QFETCH(QString, said);
    TTestServer server;
    const QUuid id = QUuid::createUuid();
    const QString name = u"Склад %1"_s.arg(QTest::currentDataTag());
    SaveServer(id, name, TRecorderProcesses::connection(server.port(), QString()), 0);
    if (!secret.isNull())
        QVERIFY(SetSecret(id, secret));
    QProcessEnvironment env;
    if (!sessionBus)
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent/dervel-test-bus"_s);
    const QString out = dir.filePath(id.toString(QUuid::WithoutBraces) + u".dervelrec"_s);
    QProcess* p = processes.start(
        {u"--server"_s, name, u"--out"_s, out, u"--period"_s, u"100ms"_s, u"--duration"_s, u"1s"_s},
        env);
    QVERIFY(p->waitForFinished(60000));
    const QString errors = QString::fromUtf8(p->readAllStandardError());
    QCOMPARE(p->exitCode(), status);
    QVERIFY2(errors.contains(said), qPrintable(errors));
    if (status == kRecordExitOk)
        QVERIFY2(TRecordingReader(out).count() >= 3, qPrintable(errors));
}

QTEST_MAIN(TestRecordKeyring)
#include "tst_recordkeyring.moc"
