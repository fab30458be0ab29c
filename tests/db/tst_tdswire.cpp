// The bytes Dervel's own TLS layer reads and writes before the driver's traffic flows:
// PRELOGIN's ENCRYPTION option, the server name inside LOGIN7 (checked against the test
// server's own parser of LOGIN7) and the SQL Server Browser's answers.

#include "database/sqlbrowser.h"
#include "database/tdswire.h"
#include "tds_login.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray utf16(const QString& s) {
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

void put16(QByteArray& b, int at, int v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}

void put32(QByteArray& b, int at, quint32 v) {
    put16(b, at, int(v & 0xFFFF));
    put16(b, at + 2, int(v >> 16));
}

// A LOGIN7 as a driver lays it out: the variable fields in their order after the fixed
// part, an optional feature block at the end that the extension field points to.
struct TLogin {
    QString host = u"ws1"_s, user = u"sa"_s, password = u"pw"_s, app = u"Dervel"_s;
    QString server = u"dervel-tls"_s, library = u"ODBC"_s, language, database = u"Sales"_s;
    QByteArray sspi;
    QByteArray features; // with it, OptionFlags3's extension bit and a pointer to it

    QByteArray bytes() const {
        QByteArray b(94, '\0');
        put32(b, 4, 0x74000004);
        put32(b, 8, 4096);
        QByteArray data;
        auto field = [&](int at, const QByteArray& value, int count) {
            put16(b, at, int(94 + data.size()));
            put16(b, at + 2, count);
            data += value;
        };
        field(36, utf16(host), int(host.size()));
        field(40, utf16(user), int(user.size()));
        field(44, utf16(password), int(password.size()));
        field(48, utf16(app), int(app.size()));
        field(52, utf16(server), int(server.size()));
        QByteArray pointer(features.isEmpty() ? 0 : 4, '\0');
        const int pointerAt = int(94 + data.size());
        field(56, pointer, int(pointer.size()));
        field(60, utf16(library), int(library.size()));
        field(64, utf16(language), int(language.size()));
        field(68, utf16(database), int(database.size()));
        field(78, sspi, int(sspi.size()));
        field(82, {}, 0);
        field(86, {}, 0);
        if (!features.isEmpty()) {
            b[27] = char(0x10);
            put32(b, 90, 0);
            const int featuresAt = int(94 + data.size());
            data += features;
            b += data;
            put32(b, pointerAt, quint32(featuresAt));
        } else {
            b += data;
        }
        if (!sspi.isEmpty())
            b[25] = char(0x80);
        put32(b, 0, quint32(b.size()));
        return b;
    }
};

} // namespace

class TestTdsWire : public QObject {
    Q_OBJECT
private slots:
    void preloginEncryption_data();
    void preloginEncryption();
    void serverNameInLogin7_data();
    void serverNameInLogin7();
    void malformedLogin7();
    void browserReply_data();
    void browserReply();
};

void TestTdsWire::preloginEncryption_data() {
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("encryption"); // -1: none to be read
    for (quint8 value : {tds::kEncryptOff, tds::kEncryptOn, tds::kEncryptNotSup, tds::kEncryptReq})
        QTest::addRow("ours, %d", value) << tds::PreloginRequest(value, u"INST"_s) << int(value);
    // As FreeTDS sends it: VERSION, ENCRYPTION, INSTOPT, THREADID, MARS.
    QTest::newRow("FreeTDS's") << QByteArray::fromHex("00001a0006"
                                                      "0100200001"
                                                      "0200210001"
                                                      "0300220004"
                                                      "0400260001"
                                                      "ff"
                                                      "090000000000"
                                                      "00"
                                                      "00"
                                                      "00000000"
                                                      "00")
                               << 0;
    QTest::newRow("no ENCRYPTION option") << QByteArray::fromHex("0000060006ff090000000000") << -1;
    QTest::newRow("offset outside the message") << QByteArray::fromHex("0100ff0001ff") << -1;
    // Found by the fuzzer: a value "inside" the list of options would rewrite the list.
    QTest::newRow("offset inside the option list") << QByteArray::fromHex("0100000001"
                                                                          "ff"
                                                                          "00")
                                                   << -1;
    QTest::newRow("cut inside the option list") << QByteArray::fromHex("000005") << -1;
    QTest::newRow("empty") << QByteArray() << -1;
}

void TestTdsWire::preloginEncryption() {
    QFETCH(QByteArray, message);
    QFETCH(int, encryption);
    const auto read = tds::PreloginEncryption(message);
    QCOMPARE(read ? int(*read) : -1, encryption);
    const auto rewritten = tds::WithPreloginEncryption(message, tds::kEncryptNotSup);
    QCOMPARE(rewritten.has_value(), encryption >= 0);
    if (rewritten) {
        QCOMPARE(tds::PreloginEncryption(*rewritten), std::optional<quint8>(tds::kEncryptNotSup));
        QCOMPARE(rewritten->size(), message.size()); // one byte changed, nothing moved
    }
}

void TestTdsWire::serverNameInLogin7_data() {
    QTest::addColumn<QByteArray>("login");
    QTest::addColumn<QString>("name");
    TLogin plain;
    QTest::newRow("longer name") << plain.bytes() << u"sql-prod-01.example.com"_s;
    QTest::newRow("shorter name") << plain.bytes() << u"db"_s;
    QTest::newRow("instance") << plain.bytes() << u"db1\\SQLEXPRESS"_s;
    TLogin empty;
    empty.server.clear();
    QTest::newRow("no name before") << empty.bytes() << u"db1"_s;
    TLogin kerberos;
    kerberos.user.clear();
    kerberos.password.clear();
    kerberos.sspi = QByteArray(300, 'k');
    QTest::newRow("with an SSPI token") << kerberos.bytes() << u"db1.example.com"_s;
    TLogin features;
    features.features = QByteArray::fromHex("0a01000000"
                                            "01"
                                            "ff");
    QTest::newRow("with feature data behind") << features.bytes() << u"db1.example.com"_s;
}

void TestTdsWire::serverNameInLogin7() {
    QFETCH(QByteArray, login);
    QFETCH(QString, name);
    const auto rewritten = tds::WithLogin7ServerName(login, name);
    QVERIFY(rewritten);
    QCOMPARE(tds::Login7ServerName(*rewritten), std::optional<QString>(name));
    // The test server's own reading of LOGIN7 finds every other field as it was.
    const auto before = testserver::tds::parseLogin7(login.toStdString());
    const auto after = testserver::tds::parseLogin7(rewritten->toStdString());
    QVERIFY(before && after);
    QCOMPARE(after->serverName, name.toStdString());
    QCOMPARE(after->host, before->host);
    QCOMPARE(after->user, before->user);
    QCOMPARE(after->password, before->password);
    QCOMPARE(after->program, before->program);
    QCOMPARE(after->clientInterface, before->clientInterface);
    QCOMPARE(after->database, before->database);
    QCOMPARE(after->sspi, before->sspi);
    QCOMPARE(after->packetSize, before->packetSize);
    // The feature block is still where the extension field says.
    if (quint8((*rewritten)[27]) & 0x10) {
        const int pointerAt = quint8((*rewritten)[56]) | (quint8((*rewritten)[57]) << 8);
        const int featuresAt =
            quint8((*rewritten)[pointerAt]) | (quint8((*rewritten)[pointerAt + 1]) << 8);
        QCOMPARE(rewritten->mid(featuresAt), QByteArray::fromHex("0a01000000"
                                                                 "01"
                                                                 "ff"));
    }
}

void TestTdsWire::malformedLogin7() {
    const QByteArray good = TLogin().bytes();
    QByteArray lying = good;
    put32(lying, 0, quint32(good.size() + 10)); // the length field says more than there is
    QByteArray outside = good;
    put16(outside, 54, 4000); // the server name runs past the end
    QByteArray overlapping = good;
    overlapping[40] = good[52]; // the user name's bytes are the server name's
    overlapping[41] = good[53];
    for (const QByteArray& bad : {good.left(60), lying, outside, overlapping})
        QVERIFY(!tds::WithLogin7ServerName(bad, u"db1"_s));
    QVERIFY(!tds::WithLogin7ServerName(good, QString(129, u'x'))); // longer than LOGIN7 allows
}

void TestTdsWire::browserReply_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("port"); // 0: none
    auto reply = [](const QByteArray& data) {
        return QByteArray(1, 0x05) + char(data.size() & 0xFF) + char(data.size() >> 8) + data;
    };
    const QByteArray inst =
        "ServerName;DB1;InstanceName;INST;IsClustered;No;Version;16.0.1000.6;tcp;14330;;";
    QTest::newRow("the instance") << reply(inst) << 14330;
    QTest::newRow("letter case") << reply(QByteArray(inst).replace("INST", "inst")) << 14330;
    QTest::newRow("named pipe before tcp")
        << reply("ServerName;DB1;InstanceName;INST;IsClustered;No;Version;16.0;"
                 "np;\\\\DB1\\pipe\\MSSQL$INST\\sql\\query;tcp;1500;;")
        << 1500;
    QTest::newRow("several instances, ours second")
        << reply("ServerName;DB1;InstanceName;OTHER;IsClustered;No;Version;16.0;tcp;1501;;" + inst)
        << 14330;
    QTest::newRow("another instance only")
        << reply("ServerName;DB1;InstanceName;OTHER;IsClustered;No;Version;16.0;tcp;1501;;") << 0;
    QTest::newRow("no tcp") << reply("ServerName;DB1;InstanceName;INST;IsClustered;No;;") << 0;
    QTest::newRow("port 0") << reply(QByteArray(inst).replace("14330", "0")) << 0;
    QTest::newRow("port too large") << reply(QByteArray(inst).replace("14330", "70000")) << 0;
    QTest::newRow("not a number") << reply(QByteArray(inst).replace("14330", "14x")) << 0;
    QTest::newRow("not a server response") << QByteArray(reply(inst)).replace(0, 1, "\x04") << 0;
    QTest::newRow("length says more") << reply(inst).chopped(1) << 0;
    QTest::newRow("length says less") << reply(inst) + "tcp;1;;" << 0;
    QTest::newRow("too short") << QByteArray("\x05\x01") << 0;
}

void TestTdsWire::browserReply() {
    QFETCH(QByteArray, reply);
    QFETCH(int, port);
    QCOMPARE(BrowserReplyPort(reply, u"INST"_s).value_or(0), port);
}

QTEST_GUILESS_MAIN(TestTdsWire)
#include "tst_tdswire.moc"
