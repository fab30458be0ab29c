// dervel-record's command line: spans, stop times, and every mistake named.

#include "recorder/recordcommandline.h"

#include <QTest>
#include <QTimeZone>

using namespace Qt::Literals::StringLiterals;

class TestRecordCommandLine : public QObject {
    Q_OBJECT
private slots:
    void spans_data();
    void spans();
    void commandLines_data();
    void commandLines();
    void untilComesNextTime();
    void passwordFiles_data();
    void passwordFiles();
    void severalServers_data();
    void severalServers();
    void exports_data();
    void exports();
};

void TestRecordCommandLine::spans_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("ms"); // -1: no span
    QTest::newRow("seconds") << u"1s"_s << qint64(1000);
    QTest::newRow("milliseconds") << u"500ms"_s << qint64(500);
    QTest::newRow("minutes") << u"5m"_s << qint64(300000);
    QTest::newRow("hours and minutes") << u"1h30m"_s << qint64(5400000);
    QTest::newRow("days") << u"7d"_s << qint64(604800000);
    QTest::newRow("zero") << u"0s"_s << qint64(-1);
    QTest::newRow("no unit") << u"10"_s << qint64(-1);
    QTest::newRow("unknown unit") << u"10w"_s << qint64(-1);
    QTest::newRow("negative") << u"-1s"_s << qint64(-1);
    QTest::newRow("blank inside") << u"1 s"_s << qint64(-1);
    QTest::newRow("empty") << QString() << qint64(-1);
    QTest::newRow("absurdly long") << u"99999999999999d"_s << qint64(-1);
}

void TestRecordCommandLine::spans() {
    QFETCH(QString, text);
    QFETCH(qint64, ms);
    const std::optional<qint64> span = ParseSpan(text);
    QCOMPARE(span.value_or(-1), ms);
}

void TestRecordCommandLine::commandLines_data() {
    using A = TRecordCommand::TAction;
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<A>("action");
    QTest::addColumn<qint64>("period");
    QTest::addColumn<qint64>("stopAfter"); // ms after "now"; 0: none
    const QString p = u"dervel-record"_s;
    const QStringList base{p, u"--server"_s, u"Прод"_s, u"--out"_s, u"night.dervelrec"_s};
    QTest::newRow("the least") << base << A::Run << qint64(1000) << qint64(0);
    QTest::newRow("period and duration")
        << base + QStringList{u"--period=500ms"_s, u"--duration"_s, u"8h"_s} << A::Run
        << qint64(500) << qint64(8 * 3600000);
    QTest::newRow("a connection string")
        << QStringList{p, u"--connection"_s, u"Data Source=db;Integrated Security=SSPI"_s,
                       u"--out=x"_s}
        << A::Run << qint64(1000) << qint64(0);
    QTest::newRow("a mistake before --help")
        << QStringList{p, u"--frob"_s, u"--help"_s} << A::Error << qint64(0) << qint64(0);
    QTest::newRow("--help") << QStringList{p, u"--help"_s} << A::Help << qint64(0) << qint64(0);
    QTest::newRow("--version") << QStringList{p, u"--version"_s} << A::Version << qint64(0)
                               << qint64(0);
    QTest::newRow("no server") << QStringList{p, u"--out"_s, u"x"_s} << A::Error << qint64(0)
                               << qint64(0);
    QTest::newRow("both server and connection")
        << base + QStringList{u"--connection"_s, u"Data Source=x"_s} << A::Error << qint64(0)
        << qint64(0);
    QTest::newRow("no file") << QStringList{p, u"--server"_s, u"Прод"_s} << A::Error << qint64(0)
                             << qint64(0);
    QTest::newRow("a value missing")
        << QStringList{p, u"--out"_s} << A::Error << qint64(0) << qint64(0);
    QTest::newRow("a bad period") << base + QStringList{u"--period"_s, u"often"_s} << A::Error
                                  << qint64(0) << qint64(0);
    QTest::newRow("a period too short")
        << base + QStringList{u"--period"_s, u"10ms"_s} << A::Error << qint64(0) << qint64(0);
    QTest::newRow("duration and until")
        << base + QStringList{u"--duration=1h"_s, u"--until=06:00"_s} << A::Error << qint64(0)
        << qint64(0);
    QTest::newRow("a bad time") << base + QStringList{u"--until"_s, u"dawn"_s} << A::Error
                                << qint64(0) << qint64(0);
    QTest::newRow("a stray argument")
        << base + QStringList{u"extra"_s} << A::Error << qint64(0) << qint64(0);
}

void TestRecordCommandLine::commandLines() {
    using A = TRecordCommand::TAction;
    QFETCH(QStringList, arguments);
    QFETCH(A, action);
    QFETCH(qint64, period);
    QFETCH(qint64, stopAfter);
    const QDateTime now(QDate(2026, 12, 10), QTime(22, 0));
    const TRecordCommand c = ParseRecordCommandLine(arguments, now);
    // The first argument that decides, decides: a mistake before --help is a mistake.
    QCOMPARE(c.Action, action);
    QCOMPARE(c.Error.isEmpty(), action != A::Error);
    if (action != A::Run)
        return;
    QCOMPARE(c.PeriodMs, period);
    QCOMPARE(c.StopAtMs, stopAfter ? now.toMSecsSinceEpoch() + stopAfter : 0);
    QVERIFY(!c.Out.isEmpty());
}

void TestRecordCommandLine::untilComesNextTime() {
    const QDateTime now(QDate(2026, 12, 10), QTime(22, 0));
    const QStringList base{u"dervel-record"_s, u"--server=a"_s, u"--out=b"_s};
    const auto stop = [&](const QString& until) {
        return ParseRecordCommandLine(base + QStringList{u"--until"_s, until}, now).StopAtMs;
    };
    QCOMPARE(stop(u"06:00"_s), QDateTime(QDate(2026, 12, 11), QTime(6, 0)).toMSecsSinceEpoch());
    QCOMPARE(stop(u"23:30"_s), QDateTime(QDate(2026, 12, 10), QTime(23, 30)).toMSecsSinceEpoch());
    QCOMPARE(stop(u"2026-12-12 03:15"_s),
             QDateTime(QDate(2026, 12, 12), QTime(3, 15)).toMSecsSinceEpoch());
}

void TestRecordCommandLine::passwordFiles_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file"); // empty: the command line is refused
    QTest::newRow("a file") << QStringList{u"--password-file"_s, u"/run/credentials/pw"_s}
                            << u"/run/credentials/pw"_s;
    QTest::newRow("with =") << QStringList{u"--password-file=pw"_s} << u"pw"_s;
    QTest::newRow("standard input") << QStringList{u"--password-file"_s, u"-"_s} << u"-"_s;
    QTest::newRow("no file named") << QStringList{u"--password-file"_s} << QString();
    QTest::newRow("an empty name") << QStringList{u"--password-file="_s} << QString();
}

void TestRecordCommandLine::passwordFiles() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    const TRecordCommand c = ParseRecordCommandLine(
        QStringList{u"dervel-record"_s, u"--connection=Data Source=db;User ID=u"_s, u"--out=x"_s} +
            arguments,
        QDateTime::currentDateTime());
    QCOMPARE(c.Action,
             file.isEmpty() ? TRecordCommand::TAction::Error : TRecordCommand::TAction::Run);
    QCOMPARE(c.PasswordFile, file);
}

void TestRecordCommandLine::severalServers_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("servers"); // {"!"}: the command line is refused
    QTest::addColumn<bool>("all");
    QTest::addColumn<bool>("several");
    QTest::addColumn<QString>("metrics");
    QTest::newRow("one") << QStringList{u"--server=A"_s} << QStringList{u"A"_s} << false << false
                         << QString();
    QTest::newRow("two, in order") << QStringList{u"--server"_s, u"Б"_s, u"--server"_s, u"A"_s}
                                   << QStringList{u"Б"_s, u"A"_s} << false << true << QString();
    QTest::newRow("the same twice is once") << QStringList{u"--server=A"_s, u"--server=A"_s}
                                            << QStringList{u"A"_s} << false << false << QString();
    QTest::newRow("every entry") << QStringList{u"--all"_s} << QStringList{} << true << true
                                 << QString();
    QTest::newRow("--all with --server") << QStringList{u"--all"_s, u"--server=A"_s}
                                         << QStringList{u"!"_s} << false << false << QString();
    QTest::newRow("--all with --connection")
        << QStringList{u"--all"_s, u"--connection=Data Source=db"_s} << QStringList{u"!"_s} << false
        << false << QString();
    QTest::newRow("metrics") << QStringList{u"--all"_s, u"--metrics"_s, u"127.0.0.1:9471"_s}
                             << QStringList{} << true << true << u"127.0.0.1:9471"_s;
    QTest::newRow("metrics without an address")
        << QStringList{u"--all"_s, u"--metrics"_s} << QStringList{u"!"_s} << false << false
        << QString();
}

void TestRecordCommandLine::severalServers() {
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, servers);
    QFETCH(bool, all);
    QFETCH(bool, several);
    QFETCH(QString, metrics);
    const TRecordCommand c = ParseRecordCommandLine(
        QStringList{u"dervel-record"_s, u"--out=postgresql://rec@db/team"_s} + arguments,
        QDateTime::currentDateTime());
    if (servers == QStringList{u"!"_s}) {
        QCOMPARE(c.Action, TRecordCommand::TAction::Error);
        return;
    }
    QCOMPARE(c.Action, TRecordCommand::TAction::Run);
    QCOMPARE(c.Servers, servers);
    QCOMPARE(c.All, all);
    QCOMPARE(RecordsSeveral(c), several);
    QCOMPARE(c.Metrics, metrics);
}

void TestRecordCommandLine::exports_data() {
    using A = TRecordCommand::TAction;
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<A>("action");
    QTest::addColumn<qint64>("from"); // ms since the epoch, for Export
    QTest::addColumn<qint64>("to");
    const QStringList span{u"dervel-record"_s,
                           u"--from"_s,
                           u"2026-03-01T01:55:00Z"_s,
                           u"--to"_s,
                           u"2026-03-01 03:05:30+01:00"_s,
                           u"--out"_s,
                           u"incident.dervelrec"_s};
    const qint64 from =
        QDateTime(QDate(2026, 3, 1), QTime(1, 55), QTimeZone::utc()).toMSecsSinceEpoch();
    const qint64 to =
        QDateTime(QDate(2026, 3, 1), QTime(2, 5, 30), QTimeZone::utc()).toMSecsSinceEpoch();
    QTest::newRow("a file") << span + QStringList{u"--export"_s, u"night.dervelrec"_s} << A::Export
                            << from << to;
    QTest::newRow("a database and its server")
        << span + QStringList{u"--export=postgresql://team@db/dervel"_s, u"--server=SQL01"_s}
        << A::Export << from << to;
    QTest::newRow("local time, without text, with a summary")
        << QStringList{u"dervel-record"_s,         u"--export=a"_s, u"--from=2026-03-01T02:55"_s,
                       u"--to=2026-03-01T03:05"_s, u"--out=b"_s,    u"--without-text"_s,
                       u"--html=b.html"_s}
        << A::Export << QDateTime(QDate(2026, 3, 1), QTime(2, 55)).toMSecsSinceEpoch()
        << QDateTime(QDate(2026, 3, 1), QTime(3, 5)).toMSecsSinceEpoch();
    QTest::newRow("no --to") << QStringList{u"dervel-record"_s, u"--export=a"_s,
                                            u"--from=2026-03-01T02:55"_s, u"--out=b"_s}
                             << A::Error << qint64(0) << qint64(0);
    QTest::newRow("no --out") << QStringList{u"dervel-record"_s, u"--export=a"_s,
                                             u"--from=2026-03-01T02:55"_s,
                                             u"--to=2026-03-01T03:05"_s}
                              << A::Error << qint64(0) << qint64(0);
    QTest::newRow("a date alone") << QStringList{u"dervel-record"_s, u"--export=a"_s,
                                                 u"--from=2026-03-01"_s, u"--to=2026-03-01T03:05"_s,
                                                 u"--out=b"_s}
                                  << A::Error << qint64(0) << qint64(0);
    QTest::newRow("the end before the start")
        << QStringList{u"dervel-record"_s, u"--export=a"_s, u"--from=2026-03-01T03:05"_s,
                       u"--to=2026-03-01T02:55"_s, u"--out=b"_s}
        << A::Error << qint64(0) << qint64(0);
    QTest::newRow("a server for a file")
        << span + QStringList{u"--export=night.dervelrec"_s, u"--server=SQL01"_s} << A::Error
        << qint64(0) << qint64(0);
    QTest::newRow("no server for a database")
        << span + QStringList{u"--export=postgresql://team@db/dervel"_s} << A::Error << qint64(0)
        << qint64(0);
    QTest::newRow("--without-text while recording")
        << QStringList{u"dervel-record"_s, u"--server=a"_s, u"--out=b"_s, u"--without-text"_s}
        << A::Error << qint64(0) << qint64(0);
}

void TestRecordCommandLine::exports() {
    using A = TRecordCommand::TAction;
    QFETCH(QStringList, arguments);
    QFETCH(A, action);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    const TRecordCommand c = ParseRecordCommandLine(arguments, QDateTime::currentDateTime());
    QCOMPARE(c.Action, action);
    QCOMPARE(c.Error.isEmpty(), action != A::Error);
    if (action != A::Export)
        return;
    QCOMPARE(c.FromMs, from);
    QCOMPARE(c.ToMs, to);
    QVERIFY(!c.Export.isEmpty());
    QVERIFY(!c.Out.isEmpty());
}

QTEST_GUILESS_MAIN(TestRecordCommandLine)
#include "tst_recordcommandline.moc"
