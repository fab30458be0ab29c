// "Use Encryption for Data=Mandatory" against a man in the middle on loopback that strips
// the encryption (PRELOGIN rewritten to ENCRYPT_OFF both ways) and forges the answers a
// client might check afterwards: the window's connect, the data-link dialog's Test and
// dervel-record all refuse the connection, and not one SQL batch, RPC or LOGIN7 crosses
// the proxy in plain text. Without the proxy the same connections work. Strict (TDS 8.0)
// goes through the same proxy untouched, since the proxy never gets to read a byte.

#include "downgradeproxy.h"
#include "mainformfixture.h"
#include "recorder/recordingreader.h"
#include "seed.h"
#include "servers/server.h"
#include "servers/widgets/datalinkdialog.h"
#include "servers/widgets/serverpanel.h"
#include "testcertificates.h"

#include <QAction>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

enum class TClient { Window, DataLinkTest, Recorder };

// What a client made of one connection attempt: whether it worked, and its error text.
struct TResult {
    bool Connected = false;
    QString Error;
    QStringList Stray; // dervel-record's output lines that are no report of their own
};

const QString kStripped =
    u"Сервер (или кто-то между ним и Dervel) ответил, что шифрует только вход."_s;

} // namespace

Q_DECLARE_METATYPE(TClient)

class TestManInTheMiddle : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void strippedEncryptionIsRefused_data();
    void strippedEncryptionIsRefused();

private:
    TResult connectWith(TClient AClient, const QString& AConnectionString);
    TTestCertificates FCerts;
    TMainFormFixture* FFixture = nullptr;
};

void TestManInTheMiddle::initTestCase() {
    qRegisterMetaType<TClient>();
}

TResult TestManInTheMiddle::connectWith(TClient AClient, const QString& AString) {
    TResult result;
    switch (AClient) {
    case TClient::Window: {
        TMainFormFixture fixture;
        fixture.prompts().connectionAnswers
            << TScriptedPrompts::TConnectionAnswer{true, u"Secure"_s, AString};
        fixture.form().ServerPanel->actAddConnection->trigger();
        const TServer* server = fixture.form().SelectedServer();
        result.Connected = server && server->State == stConnected;
        for (const auto& m : fixture.prompts().messages)
            result.Error += m.text;
        break;
    }
    case TClient::DataLinkTest: {
        TScriptedPrompts prompts;
        TDataLinkDialog dialog;
        dialog.setConnectionString(AString);
        dialog.show();
        QTest::mouseClick(dialog.btnTestConnection, Qt::LeftButton);
        result.Connected = prompts.messages.size() == 1 &&
                           prompts.messages[0].caption == u"Проверка подключения"_s;
        for (const auto& m : prompts.messages)
            result.Error += m.text;
        break;
    }
    case TClient::Recorder: {
        QTemporaryDir folder;
        const QString file = folder.filePath(u"secure.dervelrec"_s);
        QProcess recorder;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, folder.path());
        env.insert(u"LC_ALL"_s, u"ru_RU.UTF-8"_s); // the texts compared are the Russian ones
        recorder.setProcessEnvironment(env);
        recorder.start(QStringLiteral(DERVEL_RECORD_PATH),
                       {u"--connection"_s, AString, u"--out"_s, file, u"--period"_s, u"200ms"_s,
                        u"--duration"_s, u"2s"_s});
        if (!recorder.waitForFinished(30000))
            recorder.kill();
        result.Error = QString::fromLocal8Bit(recorder.readAllStandardError());
        // Every report is one line with its time, the two-line refusal included.
        for (const QString& line : result.Error.split(u'\n', Qt::SkipEmptyParts))
            if (!QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "_s)
                     .match(line)
                     .hasMatch())
                result.Stray << line;
        result.Connected =
            recorder.exitCode() == 0 && QFile::exists(file) && TRecordingReader(file).count() > 0;
        break;
    }
    }
    return result;
}

void TestManInTheMiddle::strippedEncryptionIsRefused_data() {
    QTest::addColumn<TClient>("client");
    QTest::addColumn<bool>("strict");
    const std::pair<const char*, TClient> clients[] = {{"window", TClient::Window},
                                                       {"data-link Test", TClient::DataLinkTest},
                                                       {"dervel-record", TClient::Recorder}};
    for (const auto& [name, client] : clients) {
        QTest::addRow("%s, Mandatory", name) << client << false;
        QTest::addRow("%s, Strict", name) << client << true;
    }
}

void TestManInTheMiddle::strippedEncryptionIsRefused() {
    QFETCH(TClient, client);
    QFETCH(bool, strict);
    TTestServer server([&](testserver::TdsServer& s) {
        s.instance().setVersion(testserver::kVersion2022, testserver::kVersionNumber2022);
        s.setEncryption(testserver::EncryptMode::Off,
                        std::make_shared<testserver::TlsCredentials>(FCerts.cert(u"server"_s),
                                                                     FCerts.key(u"server"_s)));
    });
    const QString encryption = (strict ? u";Use Encryption for Data=Strict;CAFile="_s
                                       : u";Use Encryption for Data=Mandatory;CAFile="_s) +
                               FCerts.path(u"ca.pem"_s);

    // Straight to the server: it works.
    const TResult direct = connectWith(client, server.oledb() + encryption);
    QVERIFY2(direct.Connected, qPrintable(direct.Error));

    // Through the proxy.
    TDowngradeProxy proxy(server.port());
    QString through = server.oledb() + encryption;
    through.replace(u"127.0.0.1,%1"_s.arg(server.port()), u"127.0.0.1,%1"_s.arg(proxy.port()));
    const TResult attacked = connectWith(client, through);
    QVERIFY(proxy.connections() > 0);
    QCOMPARE(attacked.Stray, QStringList());
    if (strict) {
        // TLS from the first byte: nothing for the proxy to read, so nothing to strip.
        QVERIFY2(attacked.Connected, qPrintable(attacked.Error));
        QVERIFY2(proxy.plainFromClient().isEmpty(), qPrintable(attacked.Error));
        return;
    }
    QVERIFY(!attacked.Connected);
    QVERIFY2(attacked.Error.contains(kStripped), qPrintable(attacked.Error));
    for (int type : {kTdsLogin7, kTdsSqlBatch, kTdsRpc})
        QVERIFY2(!proxy.sawPlain(type),
                 qPrintable(u"packet type %1 crossed in plain text"_s.arg(type)));
    QCOMPARE(proxy.forgedAnswers(), 0);
}

QTEST_MAIN(TestManInTheMiddle)
#include "tst_mitm.moc"
