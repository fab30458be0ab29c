// Showplan XML into plain values: statements, operators with their estimates and live
// counters, the ratios that are off, cost shares, warnings, missing indexes, the path to
// the costliest operator; plans of thousands of operators; texts that are no plan.

#include "plans/planfigures.h"
#include "plans/showplan.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {

QString fixture(const QString& name) {
    QFile file(QStringLiteral(PLAN_FIXTURES "/") + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QList<TPlanWarning::TKind> kinds(const QList<TPlanWarning>& warnings) {
    QList<TPlanWarning::TKind> k;
    for (const TPlanWarning& w : warnings)
        k << w.Kind;
    return k;
}

// A balanced plan of joins over scans with ANodes (2^k - 1) operators, as big plans of
// reporting queries are: every join has two children, the scans do the I/O.
QString bigPlan(int ANodes) {
    QString body;
    int id = 0;
    std::function<void(int)> op = [&](int budget) {
        const bool leaf = budget <= 1;
        body +=
            uR"(<RelOp AvgRowSize="9" EstimateCPU="0.1" EstimateIO="%1" EstimateRebinds="0" )"
            uR"(EstimateRewinds="0" EstimateRows="100" LogicalOp="%2" NodeId="%3" )"
            uR"(Parallel="false" PhysicalOp="%4" EstimatedTotalSubtreeCost="%5"><OutputList />)"_s
                .arg(leaf ? u"0.5"_s : u"0"_s, leaf ? u"Table Scan"_s : u"Inner Join"_s)
                .arg(id++)
                .arg(leaf ? u"Table Scan"_s : u"Hash Match"_s)
                .arg(0.1 * (budget - 1) / 2 + 0.6 * (budget + 1) / 2);
        if (leaf) {
            body += uR"(<TableScan Ordered="false"><Object Table="[T%1]" /></TableScan>)"_s.arg(id);
        } else {
            body += u"<Hash>"_s;
            op((budget - 1) / 2);
            op((budget - 1) / 2);
            body += u"</Hash>"_s;
        }
        body += u"</RelOp>"_s;
    };
    op(ANodes);
    return uR"(<ShowPlanXML xmlns="http://schemas.microsoft.com/sqlserver/2004/07/showplan" )"
           uR"(Version="1.539" Build="15.0.4322.2"><BatchSequence><Batch><Statements>)"
           uR"(<StmtSimple StatementText="SELECT big" StatementType="SELECT"><QueryPlan>)"_s +
           body + u"</QueryPlan></StmtSimple></Statements></Batch></BatchSequence></ShowPlanXML>"_s;
}

} // namespace

class TestShowPlan : public QObject {
    Q_OBJECT
private slots:
    void statements_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("statements");
        QTest::addColumn<int>("main");
        QTest::addColumn<int>("operators");
        QTest::addColumn<QString>("text");
        QTest::newRow("cached") << "cached-lookup.sqlplan" << 1 << 0 << 3
                                << "SELECT o.OrderId, o.Total FROM dbo.Orders o WHERE "
                                   "o.CustomerCode = @code";
        QTest::newRow("live") << "live-parallel.sqlplan" << 1 << 0 << 5
                              << "SELECT c.Region, COUNT(*) AS Orders\r\nFROM dbo.Customers c "
                                 "JOIN dbo.Orders o ON o.CustomerId = c.CustomerId\r\nGROUP BY "
                                 "c.Region";
        QTest::newRow("a statement without a plan first")
            << "warnings.sqlplan" << 2 << 1 << 4
            << "SELECT a.Name, b.Name FROM dbo.Regions a, dbo.Products b ORDER BY b.Price";
    }

    void statements() {
        QFETCH(QString, file);
        QFETCH(int, statements);
        QFETCH(int, main);
        QFETCH(int, operators);
        QFETCH(QString, text);
        const TShowPlan plan = ParseShowPlan(fixture(file));
        QVERIFY2(plan.Error.isEmpty(), qPrintable(plan.Error));
        QCOMPARE(plan.Statements.size(), statements);
        QCOMPARE(plan.Nodes.size(), operators);
        QCOMPARE(MainStatement(plan), main);
        QCOMPARE(plan.Statements[main].Text, text);
        // Every operator hangs under its parent and belongs to the main statement.
        for (int i = 0; i < plan.Nodes.size(); ++i) {
            const TPlanNode& n = plan.Nodes[i];
            QCOMPARE(n.Statement, main);
            if (n.Parent < 0)
                QCOMPARE(plan.Statements[main].Root, i);
            else
                QVERIFY(plan.Nodes[n.Parent].Children.contains(i));
        }
    }

    void operators_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("node");
        QTest::addColumn<QString>("physical");
        QTest::addColumn<QString>("object");
        QTest::addColumn<double>("estimated"); // rows for all executions
        QTest::addColumn<qint64>("actual");    // -1: no counters
        QTest::addColumn<bool>("offLive");
        QTest::addColumn<bool>("offFinal");
        QTest::addColumn<double>("share");
        QTest::addColumn<QList<TPlanWarning::TKind>>("warnings");
        using K = TPlanWarning;
        QTest::newRow("seek") << "cached-lookup.sqlplan" << 1 << "Index Seek"
                              << "Sales.dbo.Orders.IX_Orders_Created" << 12.5 << qint64(-1) << false
                              << false << 0.05 << QList<K::TKind>{};
        QTest::newRow("lookup, once per row of the seek")
            << "cached-lookup.sqlplan" << 2 << "Key Lookup"
            << "Sales.dbo.Orders.PK_Orders" << 12.5 << qint64(-1) << false << false << 0.949
            << QList<K::TKind>{};
        QTest::newRow("four hundred times more rows, still running")
            << "live-parallel.sqlplan" << 2 << "Hash Match"
            << "" << 1200.0 << qint64(480000) << true << true << 0.1349 << QList<K::TKind>{};
        QTest::newRow("far fewer rows, finished")
            << "live-parallel.sqlplan" << 3 << "Clustered Index Scan"
            << "Sales.dbo.Customers.PK_Customers" << 5000.0 << qint64(10) << true << true << 0.0311
            << QList<K::TKind>{};
        QTest::newRow("fewer rows, still reading")
            << "live-parallel.sqlplan" << 4 << "Index Scan"
            << "Sales.dbo.Orders.IX_Orders_Customer" << 90000.0 << qint64(100) << false << true
            << 0.249 << QList<K::TKind>{};
        QTest::newRow("spilled aggregate, no rows yet")
            << "live-parallel.sqlplan" << 1 << "Hash Match"
            << "" << 1000.0 << qint64(0) << false << true << 0.583 << QList<K::TKind>{K::Spill};
        QTest::newRow("a sort that spilled") << "warnings.sqlplan" << 0 << "Sort"
                                             << "" << 2500000.0 << qint64(-1) << false << false
                                             << 0.9435 << QList<K::TKind>{K::Spill};
        QTest::newRow("no join predicate") << "warnings.sqlplan" << 1 << "Nested Loops"
                                           << "" << 2500000.0 << qint64(-1) << false << false
                                           << 0.0545 << QList<K::TKind>{K::NoJoinPredicate};
        QTest::newRow("inner side, fifty times")
            << "warnings.sqlplan" << 3 << "Clustered Index Scan"
            << "Sales.dbo.Products.PK_Products" << 2500000.0 << qint64(-1) << false << false
            << 0.0021 << QList<K::TKind>{};
        QTest::newRow("heap") << "warnings.sqlplan" << 2 << "Table Scan"
                              << "Sales.dbo.Regions" << 50.0 << qint64(-1) << false << false << 0.0
                              << QList<K::TKind>{};
    }

    void operators() {
        QFETCH(QString, file);
        QFETCH(int, node);
        QFETCH(QString, physical);
        QFETCH(QString, object);
        QFETCH(double, estimated);
        QFETCH(qint64, actual);
        QFETCH(bool, offLive);
        QFETCH(bool, offFinal);
        QFETCH(double, share);
        QFETCH(QList<TPlanWarning::TKind>, warnings);
        const TShowPlan plan = ParseShowPlan(fixture(file));
        QVERIFY2(plan.Error.isEmpty(), qPrintable(plan.Error));
        const TPlanNode& n = plan.Nodes.at(node);
        QCOMPARE(n.PhysicalOp, physical);
        QCOMPARE(n.Object, object);
        QCOMPARE(n.EstimatedRowsAllExecutions(), estimated);
        QCOMPARE(n.ActualRows.value_or(-1), actual);
        QCOMPARE(EstimateOff(n, true), offLive);
        QCOMPARE(EstimateOff(n, false), offFinal);
        QVERIFY2(qAbs(CostShare(plan, node) - share) < 0.001,
                 qPrintable(QString::number(CostShare(plan, node))));
        QCOMPARE(kinds(n.Warnings), warnings);
    }

    void countersAreSummedOverThreads() {
        const TShowPlan plan = ParseShowPlan(fixture(u"live-parallel.sqlplan"_s));
        const TPlanNode& scan = plan.Nodes.at(3);
        QCOMPARE(scan.ActualExecutions, qint64(4));
        QVERIFY(Finished(scan));
        QVERIFY(!Finished(plan.Nodes.at(4)));
        const auto property = [&](const QString& name) {
            for (const auto& p : PlanNodeProperties(scan))
                if (p.first == name)
                    return p.second;
            return QString();
        };
        QCOMPARE(property(u"ActualLogicalReads"_s), u"4010"_s);
        QCOMPARE(property(u"EstimateRows"_s), u"5000"_s);
        QCOMPARE(property(u"Object"_s), u"Sales.dbo.Customers.PK_Customers"_s);
    }

    void spillDetailsGoWithTheSpill() {
        const TShowPlan plan = ParseShowPlan(fixture(u"live-parallel.sqlplan"_s));
        const QList<TPlanWarning>& w = plan.Nodes.at(1).Warnings;
        QCOMPARE(w.size(), 1);
        QCOMPARE(w[0].Text, u"SpillToTempDb: SpillLevel=1, SpilledThreadCount=4; HashSpillDetails: "
                            u"GrantedMemoryKb=2048, UsedMemoryKb=2048, WritesToTempDb=6280, "
                            u"ReadsFromTempDb=6280"_s);
    }

    void statementWarningsAndMissingIndexes() {
        const TShowPlan cached = ParseShowPlan(fixture(u"cached-lookup.sqlplan"_s));
        const TPlanStatement& s = cached.Statements.at(0);
        QCOMPARE(
            s.Warnings,
            (QList<TPlanWarning>{
                {TPlanWarning::ImplicitConversion,
                 u"PlanAffectingConvert: ConvertIssue=Seek Plan, "
                 u"Expression=CONVERT_IMPLICIT(nvarchar(20),[o].[CustomerCode],0)=[@code]"_s}}));
        QCOMPARE(s.MissingIndexes, (QList<TMissingIndex>{{81.2437,
                                                          u"Sales.dbo.Orders"_s,
                                                          {u"CustomerCode"_s},
                                                          {},
                                                          {u"Total"_s, u"Status"_s}}}));
        const TShowPlan warnings = ParseShowPlan(fixture(u"warnings.sqlplan"_s));
        QCOMPARE(kinds(warnings.Statements.at(1).Warnings),
                 QList<TPlanWarning::TKind>{TPlanWarning::Other});
        QCOMPARE(warnings.Statements.at(0).Root, -1);
    }

    void costliestPath_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QList<int>>("path");
        QTest::newRow("the lookup") << "cached-lookup.sqlplan" << QList<int>{0, 2};
        QTest::newRow("the spilling aggregate") << "live-parallel.sqlplan" << QList<int>{0, 1};
        QTest::newRow("the sort at the root") << "warnings.sqlplan" << QList<int>{0};
    }

    void costliestPath() {
        QFETCH(QString, file);
        QFETCH(QList<int>, path);
        const TShowPlan plan = ParseShowPlan(fixture(file));
        QCOMPARE(PathTo(plan, CostliestNode(plan, MainStatement(plan))), path);
    }

    void thousandsOfOperators() {
        const TShowPlan plan = ParseShowPlan(bigPlan(4095));
        QVERIFY2(plan.Error.isEmpty(), qPrintable(plan.Error));
        QCOMPARE(plan.Nodes.size(), 4095);
        int leaves = 0;
        for (const TPlanNode& n : plan.Nodes) {
            leaves += n.Children.isEmpty();
            QVERIFY(n.Children.size() == 0 || n.Children.size() == 2);
            QCOMPARE(n.Depth, n.Parent < 0 ? 0 : plan.Nodes[n.Parent].Depth + 1);
        }
        QCOMPARE(leaves, 2048);
        // The scans carry all the I/O: the costliest operator is one of them, under joins.
        const QList<int> path = PathTo(plan, CostliestNode(plan, 0));
        QCOMPARE(plan.Nodes[path.last()].PhysicalOp, u"Table Scan"_s);
        QVERIFY(path.size() > 10);
    }

    void textsThatAreNoPlan_data() {
        QTest::addColumn<QString>("xml");
        QTest::newRow("empty") << QString();
        QTest::newRow("cut short") << fixture(u"cached-lookup.sqlplan"_s).left(3000);
        QTest::newRow("another document") << u"<html><body>Error</body></html>"_s;
        QTest::newRow("not XML") << u"Msg 6335, Level 16"_s;
    }

    void textsThatAreNoPlan() {
        QFETCH(QString, xml);
        const TShowPlan plan = ParseShowPlan(xml);
        QVERIFY(!plan.Error.isEmpty());
        for (const TPlanNode& n : plan.Nodes)
            for (int c : n.Children)
                QVERIFY(c < plan.Nodes.size());
    }

    void fixturesMatchThePublishedSchema_data() {
        QTest::addColumn<QString>("file");
        for (const QString& name :
             {u"cached-lookup.sqlplan"_s, u"live-parallel.sqlplan"_s, u"warnings.sqlplan"_s})
            QTest::newRow(qPrintable(name)) << name;
    }

    void fixturesMatchThePublishedSchema() {
        QFETCH(QString, file);
        QProcess lint;
        lint.start(u"xmllint"_s,
                   {u"--noout"_s, u"--schema"_s, u"" PLAN_FIXTURES "/showplanxml.xsd"_s,
                    u"" PLAN_FIXTURES "/"_s + file});
        QVERIFY2(lint.waitForFinished(60000), "xmllint (package libxml2-utils) did not run");
        QVERIFY2(lint.exitCode() == 0, lint.readAllStandardError().constData());
    }
};

QTEST_GUILESS_MAIN(TestShowPlan)
#include "tst_showplan.moc"
