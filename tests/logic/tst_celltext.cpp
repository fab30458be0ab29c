#include "grid/celltext.h"
#include "grid/monitorcolumns.h"
#include "sampling/monitorrec.h"

#include <QLocale>
#include <QTest>
#include <cstdint>
#include <limits>

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(TMonitorRec)

namespace {

// 2024-01-31 is day 45322 since 1899-12-30.
constexpr double kJan31 = 45322;
constexpr double kSecond = 1.0 / 86400;

// Every field distinct, so a column that reads the wrong field shows it.
TMonitorRec idleSession() {
    TMonitorRec r;
    r.SPID = 57;
    r.Login = u"app_user"_s;
    r.Status = u"sleeping"_s;
    r.Command = u""_s;
    r.DB = u"Склад"_s;
    r.ProgName = u"  padded program  "_s;
    r.LoginTime = kJan31 + (14 * 3600 + 5 * 60 + 9) * kSecond;
    r.LastTime = 2; // the server's zero date, 1900-01-01
    r.CPU = 0;
    r.IO = 12345678901;
    r.Mem = 1234567;
    r.Host = u"WS01"_s;
    r.NTLogin = u"ivanov"_s;
    r.ClientInterface = u"ODBC"_s;
    r.NTDomain = u"CORP"_s;
    r.ElapsedTime = 1000;
    r.Reads = 999;
    r.Writes = 1000000;
    r.LogicalReads = 123456;
    r.IsolationLevel = 2;
    r.LockTimeout = -1;
    r.RowCnt = 4294967296;
    r.OriginalLogin = u"orig"_s;
    r.OpenTran = 1;
    r.WaitType = u"LCK_M_X"_s;
    r.WaitTime = 1500;
    r.WaitResource = u"KEY: 5:72057594038321152 (8194443284a0)"_s;
    r.NestedLevel = 3;
    r.CLR = false;
    r.NetTransport = u"TCP"_s;
    r.Protocol = u"TSQL"_s;
    r.AuthScheme = u"NTLM"_s;
    r.ClientAddress = u"10.0.0.5"_s;
    r.ClientPort = 50123;
    r.ServerAddress = u"10.0.0.1"_s;
    r.ServerPort = 1433;
    r.Blocking = 0;
    return r;
}

TMonitorRec blockedSession() {
    TMonitorRec r;
    r.SPID = 61;
    r.Status = u"suspended"_s;
    r.Blocking = 57;
    r.CLR = true;
    r.IsolationLevel = -5;
    r.LockTimeout = -1234567;
    r.CPU = std::numeric_limits<std::int32_t>::min();
    r.IO = std::numeric_limits<std::int64_t>::max();
    r.Reads = (std::int64_t(1) << 53) + 1; // not representable as a double
    r.OpenTran = 0;
    r.ClientPort = 0;
    return r;
}

} // namespace

class TestCellText : public QObject {
    Q_OBJECT
private slots:
    void columnTable();
    void cellText_data();
    void cellText();
    void grouped_data();
    void grouped();
    void dateTime_data();
    void dateTime();
    void dateTimeIgnoresLocaleTimeSeparator();
};

void TestCellText::columnTable() {
    const auto columns = MonitorColumns();
    QCOMPARE(int(columns.size()), MonitorColumnCount);

    QStringList captions;
    QList<int> widths;
    for (int i = 0; i < MonitorColumnCount; ++i) {
        const TMonitorColumn& c = columns[i];
        QCOMPARE(c.Index, i);
        QCOMPARE(c.DefaultVisible, i <= 13 || IsRateColumn(i));
        captions << QString::fromUtf8(c.Caption);
        widths << c.DefaultWidth;
        // Numbers right, dates centred, everything else left; Blocking is a
        // number shown left.
        switch (c.Form) {
        case TCellForm::Decimal:
        case TCellForm::Grouped:
        case TCellForm::Rate:
            QCOMPARE(c.Alignment, Qt::AlignRight);
            break;
        case TCellForm::DateTime:
            QCOMPARE(c.Alignment, Qt::AlignHCenter);
            break;
        default:
            QCOMPARE(c.Alignment, Qt::AlignLeft);
        }
    }
    QCOMPARE(captions.join(u';'),
             u"SPID;Login;Status;Command;Database;Program;Login Time;Last Query Time;CPU;I/O;"
             u"Memory;Host;NT Login;Blocking;Client Interface;NT Domain;Elapsed Time;I/O Reads;"
             u"I/O Writes;Logical Reads;Isolation Level;Lock Timeout;Row Count;Original Login;"
             u"Open Tran;Wait Type;Wait Time;Wait Resource;Nested Level;CLR;Net Transport;"
             u"Protocol;Auth Scheme;Client Address;Client Port;Server Address;Server Port;"
             u"CPU/s;Reads/s;Writes/s;Logical Reads/s"_s);
    QList<int> expectedWidths{60, 100, 80, 90, 100, 100, 130, 130, 80, 80, 80, 100, 100, 80};
    expectedWidths.resize(QueryColumnCount, 120);
    expectedWidths << 70 << 70 << 70 << 100;
    QCOMPARE(widths, expectedWidths);
    QCOMPARE(columns[7].Source, u"sessions.last_request_end_time,sessions.last_request_start_time");
    QCOMPARE(columns[13].Form, TCellForm::Blocker);
    QCOMPARE(columns[29].Form, TCellForm::Flag);
}

void TestCellText::cellText_data() {
    QTest::addColumn<TMonitorRec>("rec");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("expected");

    const TMonitorRec a = idleSession();
    const QStringList expectedA{
        u"57"_s,
        u"app_user"_s,
        u"sleeping"_s,
        u""_s,
        u"Склад"_s,
        u"  padded program  "_s,
        u"31.01.2024 14:05:09"_s,
        u"01.01.1900 00:00:00"_s,
        u"0"_s,
        u"12,345,678,901"_s,
        u"1,234,567"_s,
        u"WS01"_s,
        u"ivanov"_s,
        u""_s,
        u"ODBC"_s,
        u"CORP"_s,
        u"1,000"_s,
        u"999"_s,
        u"1,000,000"_s,
        u"123,456"_s,
        u"2"_s,
        u"-1"_s,
        u"4,294,967,296"_s,
        u"orig"_s,
        u"1"_s,
        u"LCK_M_X"_s,
        u"1,500"_s,
        u"KEY: 5:72057594038321152 (8194443284a0)"_s,
        u"3"_s,
        u"False"_s,
        u"TCP"_s,
        u"TSQL"_s,
        u"NTLM"_s,
        u"10.0.0.5"_s,
        u"50123"_s,
        u"10.0.0.1"_s,
        u"1433"_s,
    };
    for (int i = 0; i < QueryColumnCount; ++i)
        QTest::addRow("idle session, column %d", i) << a << i << expectedA[i];
    for (int i = FirstRateColumn; i < MonitorColumnCount; ++i)
        QTest::addRow("no rate yet, column %d", i) << a << i << QString();
    TMonitorRec hot = a;
    hot.CpuRate = 1234.5;
    hot.ReadsRate = 0;
    hot.WritesRate = 0.4;
    hot.LogicalReadsRate = 2500000;
    QTest::newRow("CPU/s rounds to whole ms") << hot << FirstRateColumn << u"1,235"_s;
    QTest::newRow("Reads/s of an idle session") << hot << FirstRateColumn + 1 << u"0"_s;
    QTest::newRow("Writes/s below one") << hot << FirstRateColumn + 2 << u"0"_s;
    QTest::newRow("Logical Reads/s grouped") << hot << FirstRateColumn + 3 << u"2,500,000"_s;

    const TMonitorRec b = blockedSession();
    QTest::newRow("blocked: SPID") << b << 0 << u"61"_s;
    QTest::newRow("blocked: Blocking") << b << 13 << u"57"_s;
    QTest::newRow("blocked: CLR") << b << 29 << u"True"_s;
    QTest::newRow("negative decimal") << b << 20 << u"-5"_s;
    QTest::newRow("negative grouped") << b << 21 << u"-1,234,567"_s;
    QTest::newRow("smallest 32-bit grouped") << b << 8 << u"-2,147,483,648"_s;
    QTest::newRow("largest 64-bit goes through a double")
        << b << 9 << u"9,223,372,036,854,775,808"_s;
    QTest::newRow("beyond 2^53 rounds to a double") << b << 17 << u"9,007,199,254,740,992"_s;
    QTest::newRow("zero decimal") << b << 24 << u"0"_s;
    QTest::newRow("zero port") << b << 34 << u"0"_s;
    QTest::newRow("empty text stays empty") << b << 1 << u""_s;
    QTest::newRow("zero date-time") << b << 6 << u"30.12.1899 00:00:00"_s;
    QTest::newRow("index below the grid") << a << -1 << u""_s;
    QTest::newRow("index beyond the grid") << a << MonitorColumnCount << u""_s;
}

void TestCellText::cellText() {
    QFETCH(TMonitorRec, rec);
    QFETCH(int, column);
    QFETCH(QString, expected);
    QCOMPARE(CellText(rec, column, u","_s), expected);
}

void TestCellText::grouped_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("expected");

    const QString comma = u","_s;
    QTest::newRow("0") << 0.0 << comma << u"0"_s;
    QTest::newRow("999") << 999.0 << comma << u"999"_s;
    QTest::newRow("1000") << 1000.0 << comma << u"1,000"_s;
    QTest::newRow("999999") << 999999.0 << comma << u"999,999"_s;
    QTest::newRow("seven digits, three groups") << 1234567.0 << comma << u"1,234,567"_s;
    QTest::newRow("-1") << -1.0 << comma << u"-1"_s;
    QTest::newRow("-999") << -999.0 << comma << u"-999"_s;
    QTest::newRow("-1000") << -1000.0 << comma << u"-1,000"_s;
    QTest::newRow("2^53") << 9007199254740992.0 << comma << u"9,007,199,254,740,992"_s;
    QTest::newRow("half rounds away from zero") << 2.5 << comma << u"3"_s;
    QTest::newRow("negative half") << -2.5 << comma << u"-3"_s;
    QTest::newRow("rounding adds a group") << 999.5 << comma << u"1,000"_s;
    QTest::newRow("below a half") << 1234.49 << comma << u"1,234"_s;
    QTest::newRow("no negative zero") << -0.4 << comma << u"0"_s;
    QTest::newRow("no-break space") << 1234567.0 << u"\u00A0"_s << u"1\u00A0234\u00A0567"_s;
    QTest::newRow("full stop") << 1234567.0 << u"."_s << u"1.234.567"_s;
    QTest::newRow("no separator") << 1234567.0 << u""_s << u"1234567"_s;
}

void TestCellText::grouped() {
    QFETCH(double, value);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    QCOMPARE(GroupedText(value, separator), expected);
}

void TestCellText::dateTime_data() {
    QTest::addColumn<double>("days");
    QTest::addColumn<QString>("expected");

    QTest::newRow("day 0") << 0.0 << u"30.12.1899 00:00:00"_s;
    QTest::newRow("server zero date") << 2.0 << u"01.01.1900 00:00:00"_s;
    QTest::newRow("1900 has no 29 February") << 61.0 << u"01.03.1900 00:00:00"_s;
    QTest::newRow("leap day") << 45351.0 << u"29.02.2024 00:00:00"_s;
    QTest::newRow("afternoon") << kJan31 + (14 * 3600 + 5 * 60 + 9) * kSecond
                               << u"31.01.2024 14:05:09"_s;
    QTest::newRow("one second") << kJan31 + kSecond << u"31.01.2024 00:00:01"_s;
    QTest::newRow("last whole second") << kJan31 + 86399 * kSecond << u"31.01.2024 23:59:59"_s;
    QTest::newRow("fraction of a second is cut")
        << kJan31 + (43200 + 0.997) * kSecond << u"31.01.2024 12:00:00"_s;
    QTest::newRow("just short of the next second")
        << kJan31 + 59.9994 * kSecond << u"31.01.2024 00:00:59"_s;
    QTest::newRow("rounds into the next second")
        << kJan31 + 59.9996 * kSecond << u"31.01.2024 00:01:00"_s;
    QTest::newRow("no 24:00:00, the next day instead")
        << kJan31 + 86399.9996 * kSecond << u"01.02.2024 00:00:00"_s;
    QTest::newRow("last day of a year rolls over")
        << 45291 + 86399.9999 * kSecond << u"01.01.2024 00:00:00"_s;
    QTest::newRow("negative whole day") << -1.0 << u"29.12.1899 00:00:00"_s;
    QTest::newRow("negative with time") << -1.25 << u"29.12.1899 06:00:00"_s;
    QTest::newRow("negative below one day") << -0.5 << u"30.12.1899 12:00:00"_s;
    QTest::newRow("negative rounding to the next day") << -1.9999999999 << u"30.12.1899 00:00:00"_s;
    QTest::newRow("smallest server date") << -53688.0 << u"01.01.1753 00:00:00"_s;
    QTest::newRow("first day of year 1") << -693593.0 << u"01.01.0001 00:00:00"_s;
    QTest::newRow("last day of year 9999") << 2958465 + 86399 * kSecond << u"31.12.9999 23:59:59"_s;
    QTest::newRow("before year 1") << -693594.0 << u""_s;
    QTest::newRow("after year 9999") << 2958466.0 << u""_s;
    QTest::newRow("rounding past year 9999") << 2958465.9999999999 << u""_s;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << u""_s;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << u""_s;
}

void TestCellText::dateTime() {
    QFETCH(double, days);
    QFETCH(QString, expected);
    QCOMPARE(DateTimeText(days), expected);
}

void TestCellText::dateTimeIgnoresLocaleTimeSeparator() {
    // Finnish writes times with full stops; the grid keeps colons, while the numbers of
    // the same row follow the locale.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Finnish, QLocale::Finland));
    // The locale really differs, or this test could not tell.
    QVERIFY(QLocale().toString(QTime(14, 5), QLocale::ShortFormat).contains(u'.'));
    TMonitorRec rec;
    rec.LoginTime = kJan31 + (14 * 3600 + 5 * 60 + 9) * kSecond;
    rec.CPU = 1234567;
    const QString separator = QLocale().groupSeparator();
    const QString time = CellText(rec, 6, separator);
    const QString cpu = CellText(rec, 8, separator);
    QLocale::setDefault(previous);
    QCOMPARE(time, u"31.01.2024 14:05:09"_s);
    QCOMPARE(cpu, u"1"_s + separator + u"234"_s + separator + u"567"_s);
}

QTEST_APPLESS_MAIN(TestCellText)
#include "tst_celltext.moc"
