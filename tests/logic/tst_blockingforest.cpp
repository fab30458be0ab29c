// Who blocks whom, as trees: heads, counts, the longest wait, a sleeping head with an open
// transaction, a blocker the filters hide, and sessions that wait for each other.

#include "blocking/blockingforest.h"

#include <QTest>
#include <memory>

namespace {

struct TRows {
    std::vector<std::unique_ptr<TMonitorRec>> owned;
    QList<PMonitorRec> rows;
    TMonitorRec& add(int spid, int blocking = 0, qint32 wait = 0,
                     const QString& status = QStringLiteral("suspended"), int openTran = 0) {
        owned.push_back(std::make_unique<TMonitorRec>());
        TMonitorRec& r = *owned.back();
        r.SPID = spid;
        r.Blocking = blocking;
        r.WaitTime = wait;
        r.Status = status;
        r.OpenTran = openTran;
        rows << &r;
        return r;
    }
};

// "spid(child child ...)" for a node, the heads side by side, to compare whole forests.
QString shape(const TBlockingForest& f, int n) {
    const TBlockingNode& node = f.Nodes[n];
    QString s = QString::number(node.SPID);
    if (!node.Children.isEmpty()) {
        QStringList children;
        for (int c : node.Children)
            children << shape(f, c);
        s += QLatin1Char('(') + children.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return s;
}

QString shape(const TBlockingForest& f) {
    QStringList heads;
    for (int h : f.Heads)
        heads << shape(f, h);
    return heads.join(QLatin1String(", "));
}

} // namespace

class TestBlockingForest : public QObject {
    Q_OBJECT
private slots:
    void noChainNoTree();
    void threeLevelsUnderASleepingHead();
    void aBlockerTheFiltersHide();
    void aCircleIsShownOnce();
    void aSessionWithTwoRowsCountsOnce();
    void manyChainsAtOnce();
    void idsBeyondSmallint();
};

void TestBlockingForest::noChainNoTree() {
    TRows r;
    r.add(51);
    r.add(52, 0, 0, QStringLiteral("running"));
    const TBlockingForest f = BuildBlockingForest(r.rows);
    QVERIFY(f.Heads.isEmpty());
    QVERIFY(f.Nodes.isEmpty());
}

void TestBlockingForest::threeLevelsUnderASleepingHead() {
    TRows r;
    r.add(60, 0, 0, QStringLiteral("sleeping"), 1); // the head, idle in its transaction
    r.add(61, 60, 30000);
    r.add(62, 60, 12000);
    r.add(63, 61, 45000);
    r.add(64, 63, 2000);
    r.add(70);                                  // not involved
    r.add(80, 0, 0, QStringLiteral("running")); // a second, running head
    r.add(81, 80, 500);
    const TBlockingForest f = BuildBlockingForest(r.rows);
    QCOMPARE(shape(f), QStringLiteral("60(61(63(64)) 62), 80(81)"));
    const TBlockingNode& head = f.Nodes[f.Heads[0]];
    QCOMPARE(head.Waiting, 4);
    QCOMPARE(head.LongestWait, 45000);
    QVERIFY(head.SleepingInTransaction);
    QVERIFY(head.Rec);
    const TBlockingNode& other = f.Nodes[f.Heads[1]];
    QCOMPARE(other.Waiting, 1);
    QCOMPARE(other.LongestWait, 500);
    QVERIFY(!other.SleepingInTransaction);
}

void TestBlockingForest::aBlockerTheFiltersHide() {
    TRows r;
    r.add(71, 55, 1000); // 55 is not in the snapshot
    r.add(72, 71, 500);
    const TBlockingForest f = BuildBlockingForest(r.rows);
    QCOMPARE(shape(f), QStringLiteral("55(71(72))"));
    QCOMPARE(f.Nodes[f.Heads[0]].Rec, nullptr);
    QCOMPARE(f.Nodes[f.Heads[0]].Waiting, 2);
}

void TestBlockingForest::aCircleIsShownOnce() {
    TRows r;
    r.add(90, 92, 100); // 90 -> 92 -> 91 -> 90, and 93 waits for the circle
    r.add(91, 90, 200);
    r.add(92, 91, 300);
    r.add(93, 92, 400);
    const TBlockingForest f = BuildBlockingForest(r.rows);
    QCOMPARE(f.Heads.size(), 1);
    const TBlockingNode& head = f.Nodes[f.Heads[0]];
    QCOMPARE(head.SPID, 90);
    QVERIFY(head.InCycle);
    QCOMPARE(shape(f), QStringLiteral("90(91(92(93)))"));
    QCOMPARE(head.Waiting, 3);
}

void TestBlockingForest::aSessionWithTwoRowsCountsOnce() {
    TRows r;
    r.add(60, 0, 0, QStringLiteral("running"));
    r.add(61, 60, 100);
    r.add(61, 60, 700).RequestID = 1; // a second request of the same session
    const TBlockingForest f = BuildBlockingForest(r.rows);
    QCOMPARE(shape(f), QStringLiteral("60(61)"));
    QCOMPARE(f.Nodes[f.Heads[0]].Waiting, 1);
}

// Enough sessions that the builder's tables grow while it fills them: every blocker must
// still be the one its waiter names.
void TestBlockingForest::manyChainsAtOnce() {
    TRows r;
    QStringList expected;
    for (int head = 1000; head < 3000; head += 2) {
        r.add(head + 1, head, head); // the waiter comes first in the snapshot
        r.add(head, 0, 0, QStringLiteral("sleeping"), 1);
        expected << QStringLiteral("%1(%2)").arg(head).arg(head + 1);
    }
    const TBlockingForest f = BuildBlockingForest(r.rows);
    QCOMPARE(f.Nodes.size(), 2000);
    QCOMPARE(shape(f), expected.join(QLatin1String(", ")));
    for (int head : f.Heads) {
        QVERIFY(f.Nodes[head].Rec);
        QVERIFY(f.Nodes[head].SleepingInTransaction);
        QCOMPARE(f.Nodes[head].LongestWait, f.Nodes[head].SPID);
    }
}

// Session ids are smallints on the server; anything larger is still placed right.
void TestBlockingForest::idsBeyondSmallint() {
    TRows r;
    r.add(5000001, 5000000, 700);
    r.add(5000000, 0, 0, QStringLiteral("running"));
    r.add(52, 5000001, 100);
    const TBlockingForest f = BuildBlockingForest(r.rows);
    QCOMPARE(shape(f), QStringLiteral("5000000(5000001(52))"));
    QCOMPARE(f.Nodes[f.Heads[0]].Waiting, 2);
    QVERIFY(f.Nodes[f.Heads[0]].Rec);
}

QTEST_APPLESS_MAIN(TestBlockingForest)
#include "tst_blockingforest.moc"
