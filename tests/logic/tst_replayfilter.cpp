// The filters and the sort of a replay, done in the window as the sampling query does
// them on the server.

#include "replay/replayfilter.h"

#include <QTest>

Q_DECLARE_METATYPE(TQueryFilters)

using namespace Qt::Literals::StringLiterals;

namespace {

struct TRow {
    int spid;
    const char* login;
    const char* status;
    const char* db;
    bool user;
    int blocking;
    bool blocked;
    int cpu;
};

// A small server: two system sessions, a chain (60 holds 61), sessions in two databases.
TRowState rows() {
    const TRow table[] = {
        {1, "sa", "background", "master", false, 0, false, 10},
        {5, "sa", "sleeping", "", false, 0, false, 0},
        {52, "Иванов", "running", "Склад", true, 0, false, 500},
        {53, "иванов", "sleeping", "склад", true, 0, false, 20},
        {60, "app", "sleeping", "Sales", true, 0, true, 5},
        {61, "app", "suspended", "Sales", true, 60, false, 300},
        {70, "O'Brien", "runnable", "", true, 0, false, 300},
    };
    TRecordedRows out;
    for (const TRow& t : table) {
        TRecordedRow r;
        r.Rec.SPID = t.spid;
        r.Rec.Login = QString::fromUtf8(t.login);
        r.Rec.Status = QString::fromUtf8(t.status);
        r.Rec.DB = QString::fromUtf8(t.db);
        r.Rec.IsUser = t.user;
        r.Rec.Blocking = t.blocking;
        r.Rec.Blocked = t.blocked;
        r.Rec.CPU = t.cpu;
        out.push_back(r);
    }
    return KeyRows(out);
}

QList<int> spids(const TRecList& list) {
    QList<int> out;
    for (const PMonitorRec r : list)
        out << r->SPID;
    return out;
}

} // namespace

class TestReplayFilter : public QObject {
    Q_OBJECT
private slots:
    void filtersAndSort_data();
    void filtersAndSort();
};

void TestReplayFilter::filtersAndSort_data() {
    QTest::addColumn<TQueryFilters>("filters");
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<bool>("descending");
    QTest::addColumn<QList<int>>("expected");
    const TQueryFilters none;
    QTest::newRow("nothing filtered, by SPID")
        << none << 0 << false << QList<int>{1, 5, 52, 53, 60, 61, 70};
    QTest::newRow("by SPID descending")
        << none << 0 << true << QList<int>{70, 61, 60, 53, 52, 5, 1};
    TQueryFilters f = none;
    f.Login = u"ИВАНОВ"_s;
    QTest::newRow("login without regard to case") << f << 0 << false << QList<int>{52, 53};
    f = none;
    f.DBIndex = 1;
    QTest::newRow("<empty> database") << f << 0 << false << QList<int>{5, 70};
    f = none;
    f.DBIndex = 3;
    f.DBName = u"Склад"_s;
    QTest::newRow("a database by name") << f << 0 << false << QList<int>{52, 53};
    f = none;
    f.StatusFilter = u"'running','runnable'"_s;
    QTest::newRow("statuses") << f << 0 << false << QList<int>{52, 70};
    f = none;
    f.HideSys = true;
    QTest::newRow("user sessions only") << f << 0 << false << QList<int>{52, 53, 60, 61, 70};
    f = none;
    f.ShowBlocked = true;
    QTest::newRow("blocking and blocked only") << f << 0 << false << QList<int>{60, 61};
    f = none;
    f.HideSys = true;
    f.Login = u"app"_s;
    f.StatusFilter = u"'suspended'"_s;
    QTest::newRow("filters together") << f << 0 << false << QList<int>{61};
    QTest::newRow("CPU descending, ties in SPID order")
        << none << 8 << true << QList<int>{52, 61, 70, 53, 1, 60, 5};
    QTest::newRow("login ascending, case aside")
        << none << 1 << false << QList<int>{60, 61, 70, 1, 5, 52, 53};
    QTest::newRow("a rate column keeps the recorded order")
        << none << 37 << true << QList<int>{1, 5, 52, 53, 60, 61, 70};
}

void TestReplayFilter::filtersAndSort() {
    QFETCH(TQueryFilters, filters);
    QFETCH(int, sortColumn);
    QFETCH(bool, descending);
    QFETCH(QList<int>, expected);
    TRecList shown = ReplayRows(rows(), filters, sortColumn, descending);
    QCOMPARE(spids(shown), expected);
    ClearRecList(shown);
}

QTEST_APPLESS_MAIN(TestReplayFilter)
#include "tst_replayfilter.moc"
