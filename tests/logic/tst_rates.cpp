// Per-second rates from two snapshots, and what the rate columns ask of the query and of
// the sort.

#include "grid/monitorcolumns.h"
#include "rates/ratecolumns.h"
#include "rates/ratetracker.h"

#include <QTest>
#include <memory>

namespace {

// A snapshot that owns its records.
struct TSnapshot {
    std::vector<std::unique_ptr<TMonitorRec>> owned;
    TRecList rows;
    TMonitorRec& add(int spid, double loginTime, qint32 cpu, qint64 reads = 0, int request = 0) {
        owned.push_back(std::make_unique<TMonitorRec>());
        TMonitorRec& r = *owned.back();
        r.SPID = spid;
        r.LoginTime = loginTime;
        r.CPU = cpu;
        r.Reads = reads;
        r.Writes = reads / 2;
        r.LogicalReads = reads * 10;
        r.RequestID = request;
        rows << &r;
        return r;
    }
};

} // namespace

class TestRates : public QObject {
    Q_OBJECT
private slots:
    void ratesBetweenTwoSamples();
    void noRateWithoutTheSameSessionBefore_data();
    void noRateWithoutTheSameSessionBefore();
    void theSamplesTimeCountsNotTheOrder();
    void resetForgetsThePreviousSnapshot();
    void ratesNeedTheirCountersInTheQuery();
    void sortByRate_data();
    void sortByRate();
};

void TestRates::ratesBetweenTwoSamples() {
    TRateTracker tracker;
    TSnapshot first;
    first.add(51, 100.5, 1000, 400);
    first.add(52, 100.5, 10, 0);
    tracker.Apply(first.rows, 10'000);
    for (const PMonitorRec r : first.rows)
        QCOMPARE(r->CpuRate, -1.0); // a first snapshot has nothing to compare with

    TSnapshot second; // two seconds later, in another order
    TMonitorRec& b = second.add(52, 100.5, 10, 0);
    TMonitorRec& a = second.add(51, 100.5, 1500, 1400);
    tracker.Apply(second.rows, 12'000);
    QCOMPARE(a.CpuRate, 250.0); // 500 ms of CPU in 2 s
    QCOMPARE(a.ReadsRate, 500.0);
    QCOMPARE(a.WritesRate, 250.0);
    QCOMPARE(a.LogicalReadsRate, 5000.0);
    QCOMPARE(b.CpuRate, 0.0);
}

void TestRates::noRateWithoutTheSameSessionBefore_data() {
    QTest::addColumn<int>("spid");
    QTest::addColumn<double>("loginTime");
    QTest::addColumn<int>("request");
    QTest::addColumn<int>("cpu");
    QTest::newRow("a new login behind the same SPID") << 51 << 100.75 << 0 << 2000;
    QTest::newRow("a counter that went down") << 51 << 100.5 << 0 << 900;
    QTest::newRow("another request of the session") << 51 << 100.5 << 1 << 2000;
    QTest::newRow("a session not seen before") << 60 << 100.5 << 0 << 2000;
}

void TestRates::noRateWithoutTheSameSessionBefore() {
    QFETCH(int, spid);
    QFETCH(double, loginTime);
    QFETCH(int, request);
    QFETCH(int, cpu);
    TRateTracker tracker;
    TSnapshot first;
    first.add(51, 100.5, 1000);
    tracker.Apply(first.rows, 0);
    TSnapshot second;
    TMonitorRec& r = second.add(spid, loginTime, cpu, 0, request);
    tracker.Apply(second.rows, 1000);
    QCOMPARE(r.CpuRate, -1.0);
}

// The time between the samples is the sampler's, even when the snapshots arrive late.
void TestRates::theSamplesTimeCountsNotTheOrder() {
    TRateTracker tracker;
    TSnapshot first, second, third;
    first.add(51, 1, 0);
    second.add(51, 1, 100);
    TMonitorRec& r = third.add(51, 1, 600);
    tracker.Apply(first.rows, 1000);
    tracker.Apply(second.rows, 1100); // 100 ms later
    QCOMPARE(second.rows[0]->CpuRate, 1000.0);
    tracker.Apply(third.rows, 6100); // five seconds later
    QCOMPARE(r.CpuRate, 100.0);
}

void TestRates::resetForgetsThePreviousSnapshot() {
    TRateTracker tracker;
    TSnapshot first, second;
    first.add(51, 1, 0);
    TMonitorRec& r = second.add(51, 1, 100);
    tracker.Apply(first.rows, 0);
    tracker.Reset(); // another server
    tracker.Apply(second.rows, 1000);
    QCOMPARE(r.CpuRate, -1.0);
}

void TestRates::ratesNeedTheirCountersInTheQuery() {
    QList<bool> shown(MonitorColumnCount, false);
    shown[0] = true;
    QList<bool> queried = QueriedColumns(shown);
    QCOMPARE(queried.size(), QueryColumnCount);
    QCOMPARE(queried.count(true), 1);
    shown[FirstRateColumn + 1] = true; // Reads/s
    queried = QueriedColumns(shown);
    QVERIFY(queried[17]); // I/O Reads, hidden in the grid
    QVERIFY(queried[6]);  // Login Time: which session it is
    QVERIFY(!queried[8]);
    QCOMPARE(queried.count(true), 3);
}

void TestRates::sortByRate_data() {
    QTest::addColumn<bool>("descending");
    QTest::addColumn<QList<int>>("order");
    // SPIDs 1..5 with CPU/s 5, none, 9, 5, 1: equal rates keep the server's order, rows
    // without a rate go last.
    QTest::newRow("descending") << true << QList<int>{3, 1, 4, 5, 2};
    QTest::newRow("ascending") << false << QList<int>{5, 1, 4, 3, 2};
}

void TestRates::sortByRate() {
    QFETCH(bool, descending);
    QFETCH(QList<int>, order);
    TSnapshot s;
    const double rates[] = {5, -1, 9, 5, 1};
    for (int i = 0; i < 5; ++i)
        s.add(i + 1, 1, 0).CpuRate = rates[i];
    SortByRate(s.rows, FirstRateColumn, descending);
    QList<int> spids;
    for (const PMonitorRec r : s.rows)
        spids << r->SPID;
    QCOMPARE(spids, order);
}

QTEST_APPLESS_MAIN(TestRates)
#include "tst_rates.moc"
