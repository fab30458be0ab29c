// The socket-free parsers of everything a client sends, fed the fuzzer's seed corpus
// (packets FreeTDS sent, and a LOGIN7 written from its layout) so a parser regression
// shows in every build, not only under clang; and the framing and PRELOGIN rules that
// decide between a message, a short read and a broken connection.

#include "rpc_planner.h"
#include "tds_client_message.h"
#include "tds_encryption.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace testserver;
using Status = tds::ClientMessage::Status;

namespace {

QString valueText(const Value& v) {
    if (std::holds_alternative<std::monostate>(v))
        return "NULL";
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return QString::number(*i);
    if (const auto* d = std::get_if<double>(&v))
        return QString::number(*d);
    if (const auto* s = std::get_if<std::string>(&v))
        return "'" + QString::fromStdString(*s).trimmed() + "'";
    return QString("0x") +
           QByteArray(reinterpret_cast<const char*>(std::get<std::vector<std::uint8_t>>(v).data()),
                      static_cast<int>(std::get<std::vector<std::uint8_t>>(v).size()))
               .toHex();
}

// One line per message: its type and what the server takes from it.
QString describe(const tds::ClientMessage& m) {
    QString out = QString::number(m.type, 16) + " ";
    if (m.prelogin)
        out += QString("prelogin encryption=%1 instance=%2 version=%3")
                   .arg(m.prelogin->encryption.value_or(0xFF))
                   .arg(QString::fromStdString(m.prelogin->instance.value_or("-")))
                   .arg(m.prelogin->version ? m.prelogin->version->at(0) : -1);
    if (m.login)
        out += QString("login %1/%2 host=%3 app=%4 db=%5 tds=%6 packet=%7")
                   .arg(QString::fromStdString(m.login->user),
                        QString::fromStdString(m.login->password),
                        QString::fromStdString(m.login->host),
                        QString::fromStdString(m.login->program),
                        QString::fromStdString(m.login->database))
                   .arg(m.login->tdsVersion, 0, 16)
                   .arg(m.login->packetSize);
    if (m.batch)
        out += "batch " + QString::fromStdString(*m.batch).simplified();
    if (m.rpc) {
        out += "rpc";
        for (const auto& call : m.rpc->calls) {
            out += " " + QString::fromStdString(tds::procedureName(call)) + "(";
            QStringList params;
            for (const auto& p : call.parameters)
                params << QString::fromStdString(p.name) + (p.isOutput() ? "out:" : "") +
                              valueText(p.value);
            out += params.join(", ") + ")";
        }
    }
    if (m.type == tds::kAttention)
        out += "attention";
    return out;
}

QByteArray packet(std::uint8_t type, const QByteArray& payload, std::uint8_t status = 1) {
    QByteArray p;
    const int length = payload.size() + 8;
    p.append(char(type)).append(char(status)).append(char(length >> 8)).append(char(length));
    p.append(QByteArray(4, '\0'));
    return p + payload;
}

tds::ClientMessage parse(const QByteArray& bytes) {
    return tds::parseClientMessage(std::string_view(bytes.constData(), bytes.size()));
}

QByteArray seed(const QString& name) {
    QFile f(QDir(TDSPACKET_CORPUS).filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TstTdsParse : public QObject {
    Q_OBJECT

private slots:
    // The pre-login ENCRYPTION answer: SQL Server's default follows a client that asks for
    // encryption and otherwise encrypts the login only; the other modes answer as they say.
    void encryptionAnswers_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("client"); // -1: the option is missing
        QTest::addColumn<int>("answer");
        using M = testserver::EncryptMode;
        QTest::newRow("off, client off") << int(M::Off) << 0 << 0;
        QTest::newRow("off, option missing") << int(M::Off) << -1 << 0;
        QTest::newRow("off, client on") << int(M::Off) << 1 << 1;
        QTest::newRow("off, client requires") << int(M::Off) << 3 << 1;
        QTest::newRow("off, client cannot") << int(M::Off) << 2 << 2;
        QTest::newRow("on, client off") << int(M::On) << 0 << 1;
        QTest::newRow("required, client off") << int(M::Required) << 0 << 3;
        QTest::newRow("unsupported, client on") << int(M::Unsupported) << 1 << 2;
    }

    void encryptionAnswers() {
        QFETCH(int, mode);
        QFETCH(int, client);
        QFETCH(int, answer);
        const auto asked = client < 0
                               ? std::nullopt
                               : std::optional<std::uint8_t>(static_cast<std::uint8_t>(client));
        QCOMPARE(
            int(testserver::encryptionAnswer(static_cast<testserver::EncryptMode>(mode), asked)),
            answer);
    }

    void seedsParse_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("prelogin") << "prelogin"
                                  << QStringList{"12 prelogin encryption=0 instance=MSSQLServer "
                                                 "version=9"};
        QTest::newRow("login7") << "login7"
                                << QStringList{"10 login O'Brien/Dervel-2026 host=БУХГАЛТЕРИЯ-01 "
                                               "app=1С:Предприятие db=Sales tds=74000004 "
                                               "packet=4096"};
        const QString batch = "1 batch select N'Иванов' as who, 1 as n select @@spid";
        QTest::newRow("batch") << "batch" << QStringList{batch};
        QTest::newRow("batch in two packets") << "batch_two_packets" << QStringList{batch};
        const QString prepexec = "3 rpc sp_prepexec(out:NULL, NULL, 'select 1 as a, N'x' as b')";
        const QString unprepare = "3 rpc sp_unprepare(1)";
        QTest::newRow("sp_prepexec") << "rpc_prepexec" << QStringList{prepexec};
        QTest::newRow("sp_prepexec with values")
            << "rpc_prepexec_params"
            << QStringList{"3 rpc sp_prepexec(out:NULL, '@P1 INT,@P2 NVARCHAR(8)', "
                           "'select @P1 as n, @P2 as w', -7, 'O'Brien')"};
        QTest::newRow("sp_unprepare") << "rpc_unprepare" << QStringList{unprepare};
        QTest::newRow("attention") << "attention" << QStringList{"6 attention"};
        QTest::newRow("a whole session")
            << "session"
            << QStringList{"12 prelogin encryption=0 instance=MSSQLServer version=9",
                           "10 login O'Brien/Dervel-2026 host=БУХГАЛТЕРИЯ-01 app=1С:Предприятие "
                           "db=Sales tds=74000004 packet=4096",
                           batch, prepexec, unprepare};
    }

    void seedsParse() {
        QFETCH(QString, file);
        QFETCH(QStringList, messages);
        const QByteArray bytes = seed(file);
        QVERIFY2(!bytes.isEmpty(), qPrintable(file));
        std::string_view stream(bytes.constData(), bytes.size());
        QStringList got;
        while (!stream.empty()) {
            const auto m = tds::parseClientMessage(stream);
            QVERIFY2(m.status == Status::Parsed, qPrintable(got.join('\n')));
            got << describe(m);
            stream.remove_prefix(m.consumed);
        }
        QCOMPARE(got, messages);
    }

    void cutSeedsWaitForMore_data() {
        QTest::addColumn<QString>("file");
        for (const QString& f : QDir(TDSPACKET_CORPUS).entryList(QDir::Files))
            QTest::newRow(qPrintable(f)) << f;
    }

    // A message cut anywhere before its end is a short read, never a message or an error.
    void cutSeedsWaitForMore() {
        QFETCH(QString, file);
        const QByteArray bytes = seed(file);
        const auto whole = parse(bytes);
        QCOMPARE(whole.status, Status::Parsed);
        for (qsizetype n = 0; n < static_cast<qsizetype>(whole.consumed); ++n)
            QVERIFY2(parse(bytes.left(n)).status == Status::Incomplete,
                     qPrintable(QString("cut at %1").arg(n)));
    }

    void framing_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("consumed"); // 0 unless the framing held
        const QByteArray attention = packet(tds::kAttention, {});
        QTest::newRow("empty") << QByteArray() << int(Status::Incomplete) << 0;
        QTest::newRow("length below the header")
            << QByteArray::fromHex("0601000700000100") << int(Status::Malformed) << 0;
        QTest::newRow("no end of message yet")
            << packet(tds::kSqlBatch, "a\0", 0) << int(Status::Incomplete) << 0;
        QTest::newRow("type changes midway")
            << packet(tds::kSqlBatch, "a\0", 0) + attention << int(Status::Malformed) << 0;
        QTest::newRow("unknown type") << packet(0x99, "x") << int(Status::Unsupported) << 9;
        QTest::newRow("two messages: the first")
            << attention + attention << int(Status::Parsed) << 8;
        QTest::newRow("TransactionManager")
            << packet(tds::kTransactionManager, QByteArray::fromHex("0500")) << int(Status::Parsed)
            << 10;
        QTest::newRow("RPC without a call")
            << packet(tds::kRpc, QByteArray(22, '\0')) << int(Status::Malformed) << 30;
        QTest::newRow("LOGIN7 shorter than its fixed part")
            << packet(tds::kLogin7, QByteArray(60, '\0')) << int(Status::Malformed) << 68;
    }

    void framing() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        QFETCH(int, consumed);
        const auto m = parse(bytes);
        QCOMPARE(int(m.status), status);
        QCOMPARE(int(m.consumed), consumed);
    }

    void prelogin_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("accepted");
        // VERSION at 11 (6 bytes), ENCRYPTION at 17 (1 byte), terminator.
        const QByteArray good = QByteArray::fromHex("00000b0006"
                                                    "0100110001"
                                                    "ff"
                                                    "0f0010e20000"
                                                    "02");
        QTest::newRow("version and encryption") << good << true;
        QTest::newRow("only the terminator") << QByteArray::fromHex("ff") << true;
        QTest::newRow("no terminator") << QByteArray::fromHex("00000b0006") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("option past the end") << QByteArray(good).replace(4, 1, "\x09") << false;
        QTest::newRow("option inside the list") << QByteArray::fromHex("0000020006"
                                                                       "ff"
                                                                       "0f0010e20000")
                                                << false;
        QTest::newRow("version of 5 bytes") << QByteArray::fromHex("00000b0005"
                                                                   "0100100001"
                                                                   "ff"
                                                                   "0f0010e200"
                                                                   "02")
                                            << false;
        QTest::newRow("unknown option is skipped") << QByteArray::fromHex("0700060002"
                                                                          "ff"
                                                                          "abcd")
                                                   << true;
    }

    void prelogin() {
        QFETCH(QByteArray, payload);
        QFETCH(bool, accepted);
        const auto parsed =
            tds::parsePrelogin(std::string_view(payload.constData(), payload.size()));
        QCOMPARE(parsed.has_value(), accepted);
    }

    void batchHeaders_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("text"); // "<refused>" when the headers do not add up
        const QByteArray text = QByteArray::fromHex("730065006c00"); // "sel"
        const QByteArray txn = QByteArray::fromHex("1600000012000000020000000000000000000100"
                                                   "0000");
        QTest::newRow("TDS 7.4 transaction header") << txn + text << "sel";
        QTest::newRow("TDS 7.1 bare text") << text << "sel";
        QTest::newRow("header longer than the block")
            << QByteArray(txn).replace(4, 1, "\x20") + text << "<refused>";
        QTest::newRow("header shorter than its fields")
            << QByteArray(txn).replace(4, 1, "\x05") + text << "<refused>";
    }

    void batchHeaders() {
        QFETCH(QByteArray, payload);
        QFETCH(QString, text);
        const auto parsed =
            tds::parseSqlBatch(std::string_view(payload.constData(), payload.size()));
        QCOMPARE(parsed ? QString::fromStdString(*parsed) : QString("<refused>"), text);
    }
};

QTEST_GUILESS_MAIN(TstTdsParse)
#include "tst_tdsparse.moc"
