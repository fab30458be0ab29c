// The bytes of the TDS tokens that carry results, checked against the layouts FreeTDS
// accepts: type info per SQL type, row values, NULLs in ROW and NBCROW, PLP for max types.

#include "tds_channel.h"
#include "tds_encoder.h"
#include "tds_reply_writer.h"

#include <QtTest>

#include <sys/socket.h>
#include <unistd.h>

using namespace testserver;

namespace {

QString hex(const std::string& bytes) {
    return QString::fromLatin1(QByteArray(bytes.data(), static_cast<int>(bytes.size())).toHex(' '));
}

} // namespace

class TstEncoder : public QObject {
    Q_OBJECT

private slots:
    void typeInfo_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("bytes"); // after UserType and Flags, before the name
        auto row = [](const char* name, SqlType t, int l, const char* b) {
            QTest::newRow(name) << static_cast<int>(t) << l << QString(b);
        };
        row("bit", SqlType::Bit, 0, "68 01");
        row("tinyint", SqlType::TinyInt, 0, "26 01");
        row("smallint", SqlType::SmallInt, 0, "26 02");
        row("int", SqlType::Int, 0, "26 04");
        row("bigint", SqlType::BigInt, 0, "26 08");
        row("real", SqlType::Real, 0, "6d 04");
        row("float", SqlType::Float, 0, "6d 08");
        row("datetime", SqlType::DateTime, 0, "6f 08");
        row("uniqueidentifier", SqlType::UniqueIdentifier, 0, "24 10");
        row("nvarchar(30)", SqlType::NVarChar, 30, "e7 3c 00 09 04 d0 00 34");
        row("nvarchar(max)", SqlType::NVarChar, 0, "e7 ff ff 09 04 d0 00 34");
        row("varchar(48)", SqlType::VarChar, 48, "a7 30 00 09 04 d0 00 34");
        row("varbinary(64)", SqlType::VarBinary, 64, "a5 40 00");
        row("varbinary(max)", SqlType::VarBinary, 0, "a5 ff ff");
        row("binary(8)", SqlType::Binary, 8, "ad 08 00");
    }

    void typeInfo() {
        QFETCH(int, type);
        QFETCH(int, length);
        QFETCH(QString, bytes);
        const std::string meta =
            tds::colMetadata({Column{"c", static_cast<SqlType>(type), length, true}});
        // 81, count 01 00, user type 00 00 00 00, flags 01 00, type info, name 01 63 00
        QCOMPARE(hex(meta.substr(0, 9)), QString("81 01 00 00 00 00 00 01 00"));
        QCOMPARE(hex(meta.substr(9, meta.size() - 9 - 3)), bytes);
        QCOMPARE(hex(meta.substr(meta.size() - 3)), QString("01 63 00"));
    }

    void values_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("length");
        QTest::addColumn<Value>("value");
        QTest::addColumn<QString>("bytes"); // the ROW token's value bytes
        auto row = [](const char* name, SqlType t, int l, Value v, const char* b) {
            QTest::newRow(name) << static_cast<int>(t) << l << v << QString(b);
        };
        row("bit", SqlType::Bit, 0, std::int64_t{1}, "01 01");
        row("smallint", SqlType::SmallInt, 0, std::int64_t{-2}, "02 fe ff");
        row("int", SqlType::Int, 0, std::int64_t{51}, "04 33 00 00 00");
        row("bigint beyond 32 bits", SqlType::BigInt, 0, std::int64_t{9007199254740993LL},
            "08 01 00 00 00 00 00 20 00");
        row("float", SqlType::Float, 0, 1.5, "08 00 00 00 00 00 00 f8 3f");
        row("real", SqlType::Real, 0, 0.5, "04 00 00 00 3f");
        // 2024-02-29 13:45:30.500: day 45349, 14859150 ticks of 1/300 s.
        row("datetime", SqlType::DateTime, 0, 45349.0 + 49530.5 / 86400.0,
            "08 25 b1 00 00 8e bb e2 00");
        row("zero date", SqlType::DateTime, 0, 0.0, "08 00 00 00 00 00 00 00 00");
        row("nvarchar", SqlType::NVarChar, 10, std::string("Жa"), "04 00 16 04 61 00");
        row("nvarchar cut to its length", SqlType::NVarChar, 2, std::string("abc"),
            "04 00 61 00 62 00");
        row("nvarchar(max) in one chunk", SqlType::NVarChar, 0, std::string("ab"),
            "04 00 00 00 00 00 00 00 04 00 00 00 61 00 62 00 00 00 00 00");
        row("empty nvarchar(max)", SqlType::NVarChar, 0, std::string(),
            "00 00 00 00 00 00 00 00 00 00 00 00");
        row("varchar in code page 1252", SqlType::VarChar, 10, std::string("é€"), "02 00 e9 80");
        row("varbinary", SqlType::VarBinary, 64, std::vector<std::uint8_t>{0xDE, 0xAD},
            "02 00 de ad");
        row("varbinary(max)", SqlType::VarBinary, 0, std::vector<std::uint8_t>{0x01},
            "01 00 00 00 00 00 00 00 01 00 00 00 01 00 00 00 00");
        row("uniqueidentifier", SqlType::UniqueIdentifier, 0,
            std::string("00112233-4455-6677-8899-AABBCCDDEEFF"),
            "10 33 22 11 00 55 44 77 66 88 99 aa bb cc dd ee ff");
    }

    void values() {
        QFETCH(int, type);
        QFETCH(int, length);
        QFETCH(Value, value);
        QFETCH(QString, bytes);
        std::string out;
        tds::appendRow(out, {Column{"c", static_cast<SqlType>(type), length, true}}, {value});
        QCOMPARE(hex(out.substr(0, 1)), QString("d1"));
        QCOMPARE(hex(out.substr(1)), bytes);
    }

    void nullsInRowsAndBitmaps() {
        const std::vector<Column> cols = {{"a", SqlType::Int, 0, true},
                                          {"b", SqlType::NVarChar, 4, true},
                                          {"c", SqlType::NVarChar, 0, true},
                                          {"d", SqlType::Bit, 0, true}};
        std::string out;
        tds::appendRow(out, cols,
                       {std::monostate{}, std::string("x"), std::monostate{}, std::int64_t{0}});
        // NBCROW, bitmap 0b0101 (columns a and c), then b and d only.
        QCOMPARE(hex(out), QString("d2 05 02 00 78 00 01 00"));
    }

    void doneAndMessages() {
        QCOMPARE(hex(tds::done(tds::kDoneCount | tds::kDoneMore, tds::kCurCmdSelect, 7)),
                 QString("fd 11 00 c1 00 07 00 00 00 00 00 00 00"));
        Message m{208, 1, 16, std::string("x"), 2};
        QCOMPARE(hex(tds::message(m, "S")),
                 QString("aa 12 00 d0 00 00 00 01 10 01 00 78 00 01 53 00 00 02 00 00 00"));
        m.severity = 0;
        QCOMPARE(hex(tds::message(m, "S").substr(0, 1)), QString("ab"));
        QCOMPARE(hex(tds::loginAck(0x74000004, 0x0F0010E2)),
                 QString("ad 32 00 01 74 00 00 04 14 ") +
                     hex(std::string("M\0i\0c\0r\0o\0s\0o\0f\0t\0 \0S\0Q\0L\0 \0S\0e\0r\0v\0e\0r\0",
                                     40)) +
                     " 0f 00 10 e2");
    }

    void packetsCarryTheSessionIdAndSplitAtThePacketSize() {
        int fds[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        {
            TdsChannel server(fds[0]);
            server.setSpid(57);
            server.setPacketSize(512);
            TdsReplyWriter w(server);
            w.append(std::string(1000, 'x'));
            QVERIFY(w.finish());
        }
        std::string wire(2000, '\0');
        std::size_t got = 0;
        while (got < 1000 + 2 * 8) {
            const auto n = ::read(fds[1], wire.data() + got, wire.size() - got);
            QVERIFY(n > 0);
            got += static_cast<std::size_t>(n);
        }
        QCOMPARE(got, std::size_t(1016));
        // 504 + 496 bytes of payload: two packets, the last one ends the message.
        QCOMPARE(hex(wire.substr(0, 8)), QString("04 00 02 00 00 39 01 00"));
        QCOMPARE(hex(wire.substr(512, 8)), QString("04 01 01 f8 00 39 02 00"));

        // A request split over two packets is read as one message.
        const char packets[] = {1, 0, 0, 10, 0, 0, 1, 0, 'a', 'b',       // not the last
                                1, 1, 0, 11, 0, 0, 2, 0, 'c', 'd', 'e'}; // end of message
        const std::string request(packets, sizeof packets);
        QCOMPARE(::write(fds[1], request.data(), request.size()), ssize_t(request.size()));
        TdsChannel client(fds[0]);
        TdsMessage message;
        QVERIFY(client.read(message));
        QCOMPARE(message.type, tds::kSqlBatch);
        QCOMPARE(QString::fromStdString(message.payload), QString("abcde"));
        ::close(fds[1]);
        QVERIFY(!client.read(message)); // the peer has gone
        ::close(fds[0]);
    }
};

QTEST_GUILESS_MAIN(TstEncoder)
#include "tst_encoder.moc"
