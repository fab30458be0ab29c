// Two moments compared: each session's change and its counters' growth, the sessions that
// ended shown once with the values they had, and a gap between the two moments.

#include "compare/momentcompare.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

TRecordedRow row(int spid, double login, int cpu, qint64 reads = 0, QString status = u"running"_s) {
    TRecordedRow r;
    r.Rec.SPID = spid;
    r.Rec.LoginTime = login;
    r.Rec.CPU = cpu;
    r.Rec.Reads = reads;
    r.Rec.Writes = 2;
    r.Rec.LogicalReads = 100;
    r.Rec.Status = status;
    return r;
}

TRowState state(const TRecordedRows& rows) {
    return KeyRows(rows);
}

} // namespace

Q_DECLARE_METATYPE(TRowChange)
Q_DECLARE_METATYPE(TRecordedRows)

class TestMomentCompare : public QObject {
    Q_OBJECT
private slots:
    void oneSession_data();
    void oneSession();
    void appearedAndEndedInKeyOrder();
    void theGridTakesGrowthAsRates();
    void gaps_data();
    void gaps();
};

void TestMomentCompare::oneSession_data() {
    QTest::addColumn<TRecordedRows>("earlier");
    QTest::addColumn<TRecordedRows>("later");
    QTest::addColumn<TRowChange>("change");
    QTest::addColumn<qint64>("cpu"); // -1: none
    QTest::addColumn<qint64>("reads");
    QTest::addColumn<int>("shownCpu"); // the CPU of the row shown
    QTest::newRow("the same") << TRecordedRows{row(51, 1.5, 100)}
                              << TRecordedRows{row(51, 1.5, 100)} << TRowChange::None << qint64(0)
                              << qint64(0) << 100;
    QTest::newRow("grew") << TRecordedRows{row(51, 1.5, 100, 10)}
                          << TRecordedRows{row(51, 1.5, 600, 110)} << TRowChange::Changed
                          << qint64(500) << qint64(100) << 600;
    QTest::newRow("only its status changed")
        << TRecordedRows{row(51, 1.5, 100)} << TRecordedRows{row(51, 1.5, 100, 0, u"sleeping"_s)}
        << TRowChange::Changed << qint64(0) << qint64(0) << 100;
    QTest::newRow("a counter went down")
        << TRecordedRows{row(51, 1.5, 100, 50)} << TRecordedRows{row(51, 1.5, 200, 20)}
        << TRowChange::Changed << qint64(100) << qint64(-1) << 200;
    QTest::newRow("appeared") << TRecordedRows{} << TRecordedRows{row(51, 1.5, 100)}
                              << TRowChange::Appeared << qint64(-1) << qint64(-1) << 100;
    QTest::newRow("ended, with the values it had")
        << TRecordedRows{row(51, 1.5, 100)} << TRecordedRows{} << TRowChange::Ended << qint64(-1)
        << qint64(-1) << 100;
}

void TestMomentCompare::oneSession() {
    QFETCH(TRecordedRows, earlier);
    QFETCH(TRecordedRows, later);
    QFETCH(TRowChange, change);
    QFETCH(qint64, cpu);
    QFETCH(qint64, reads);
    QFETCH(int, shownCpu);
    const TRowState a = state(earlier), b = state(later);
    const std::vector<TComparedRow> rows = CompareMoments(a, b);
    QCOMPARE(rows.size(), std::size_t(1));
    QCOMPARE(rows[0].Change, change);
    QCOMPARE(rows[0].Growth.CPU, cpu);
    QCOMPARE(rows[0].Growth.Reads, reads);
    QCOMPARE(rows[0].Row->Rec.CPU, shownCpu);
}

void TestMomentCompare::appearedAndEndedInKeyOrder() {
    // 52 ends; 53 is a new login behind a reused SPID, so the old 53 ends beside it; 54
    // comes; 51 stays as it was.
    const TRowState a = state({row(51, 1, 10), row(52, 1, 20), row(53, 1, 30)});
    const TRowState b = state({row(51, 1, 10), row(53, 2, 5), row(54, 1, 7)});
    const std::vector<TComparedRow> rows = CompareMoments(a, b);
    QList<std::pair<int, TRowChange>> got;
    for (const TComparedRow& r : rows)
        got.append({r.Key.SPID, r.Change});
    const QList<std::pair<int, TRowChange>> expected{{51, TRowChange::None},
                                                     {52, TRowChange::Ended},
                                                     {53, TRowChange::Ended},
                                                     {53, TRowChange::Appeared},
                                                     {54, TRowChange::Appeared}};
    QCOMPARE(got, expected);
    QCOMPARE(rows[2].Row->Rec.CPU, 30); // the old session's last values
    QCOMPARE(rows[3].Row->Rec.CPU, 5);
}

void TestMomentCompare::theGridTakesGrowthAsRates() {
    const TRowState a = state({row(51, 1, 100, 10), row(52, 1, 20)});
    const TRowState b = state({row(51, 1, 350, 40)});
    const TRowState shown = ComparedState(CompareMoments(a, b));
    QCOMPARE(shown.size(), std::size_t(2));
    const TMonitorRec& grew = shown.begin()->second.Rec;
    QCOMPARE(grew.Change, TRowChange::Changed);
    QCOMPARE(grew.CpuRate, 250.0);
    QCOMPARE(grew.ReadsRate, 30.0);
    QCOMPARE(grew.WritesRate, 0.0);
    QCOMPARE(grew.LogicalReadsRate, 0.0);
    const TMonitorRec& ended = std::next(shown.begin())->second.Rec;
    QCOMPARE(ended.Change, TRowChange::Ended);
    QVERIFY(ended.CpuRate < 0); // no growth: sorted last, shown empty, as a missing rate
}

void TestMomentCompare::gaps_data() {
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("second");
    QTest::addColumn<bool>("gap");
    // One gap, from 1000 to 2000.
    QTest::newRow("both before") << qint64(100) << qint64(900) << false;
    QTest::newRow("across") << qint64(900) << qint64(2100) << true;
    QTest::newRow("across, marked later") << qint64(2100) << qint64(900) << true;
    QTest::newRow("both after") << qint64(2000) << qint64(3000) << false;
    QTest::newRow("the gap's edges") << qint64(1000) << qint64(2000) << true;
}

void TestMomentCompare::gaps() {
    QFETCH(qint64, first);
    QFETCH(qint64, second);
    QFETCH(bool, gap);
    QCOMPARE(GapBetween({{1000, 2000, u"lost"_s}}, first, second), gap);
}

QTEST_GUILESS_MAIN(TestMomentCompare)
#include "tst_momentcompare.moc"
