// The plan functions as SQL Server documents them: the running request's live plan, the
// cached plan of its statement as text (by its offsets) and of its batch as xml, the
// xml type's depth limit (6335), the permission they need; and the showplan documents the
// server writes, checked against the published schema.

#include "demo_catalog.h"
#include "demo_plans.h"
#include "demo_workload.h"
#include "engine_fixture.h"
#include "showplan.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace testserver;

namespace {

QString message(const StatementOutcome& o) {
    return o.messages.empty() ? QString() : QString::fromStdString(o.messages.front().text);
}

PlanTable table(const std::string& name, const std::string& index) {
    return PlanTable{"Sales", "dbo", name, index};
}

PlanOperator scan(const std::string& name, double rows) {
    PlanOperator op;
    op.physicalOp = op.logicalOp = "Clustered Index Scan";
    op.object = table(name, "PK_" + name);
    op.estimateRows = rows;
    op.estimateIo = 0.5;
    return op;
}

// A join of two scans with a spilling hash, a lookup and a missing index: every part of
// the schema the server writes.
PlanStatement richStatement(bool live) {
    PlanOperator seek;
    seek.physicalOp = seek.logicalOp = "Index Seek";
    seek.object = table("Orders", "IX_Orders_Customer");
    seek.estimateRows = 10;
    PlanOperator lookup;
    lookup.physicalOp = "Key Lookup";
    lookup.logicalOp = "Key Lookup";
    lookup.object = table("Orders", "PK_Orders");
    lookup.estimateExecutions = 10;
    PlanOperator loops;
    loops.physicalOp = "Nested Loops";
    loops.logicalOp = "Inner Join";
    loops.noJoinPredicate = true;
    loops.children = {seek, lookup};
    PlanOperator hash;
    hash.physicalOp = "Hash Match";
    hash.logicalOp = "Inner Join";
    hash.spillLevel = 2;
    hash.threads = 4;
    hash.children = {scan("Customers", 1000), loops};
    if (live) {
        hash.actualRows = 123456;
        hash.children[0].actualRows = 123456;
        hash.children[0].threads = 4;
        hash.children[0].finished = true;
    }
    PlanOperator gather;
    gather.physicalOp = "Parallelism";
    gather.logicalOp = "Gather Streams";
    gather.children = {hash};
    PlanOperator sort;
    sort.physicalOp = sort.logicalOp = "Sort";
    sort.children = {gather};
    PlanOperator filter;
    filter.physicalOp = filter.logicalOp = "Filter";
    filter.children = {sort};
    PlanOperator top;
    top.physicalOp = top.logicalOp = "Top";
    top.children = {filter};
    if (live)
        top.actualRows = 5;
    PlanStatement s;
    s.text = "SELECT TOP (5) *\r\nFROM dbo.Customers c JOIN dbo.Orders o ON o.Code = N'x' & 1";
    s.root = top;
    s.degreeOfParallelism = 4;
    s.missingIndexes = {{87.5, table("Customers", ""), {"Region"}, {"Created"}, {"Name"}}};
    s.seekPlanConverts = {"CONVERT_IMPLICIT(nvarchar(20),[o].[Code],0)=N'x'"};
    return s;
}

PlanStatement insertStatement() {
    PlanOperator insert;
    insert.physicalOp = "Clustered Index Insert";
    insert.logicalOp = "Insert";
    insert.object = table("AuditLog", "PK_AuditLog");
    PlanOperator compute;
    compute.physicalOp = compute.logicalOp = "Compute Scalar";
    PlanOperator agg;
    agg.physicalOp = "Stream Aggregate";
    agg.logicalOp = "Aggregate";
    PlanOperator heap;
    heap.physicalOp = heap.logicalOp = "Table Scan";
    heap.object = table("Staging", "");
    agg.children = {heap};
    compute.children = {agg};
    insert.children = {compute};
    PlanStatement s;
    s.text = "INSERT INTO dbo.AuditLog SELECT COUNT(*) FROM dbo.Staging";
    s.type = "INSERT";
    s.root = insert;
    return s;
}

// Operators nested so deeply that the document exceeds the xml type's 128 levels.
PlanStatement deepStatement() {
    PlanOperator op = scan("Orders", 100);
    for (int i = 0; i < 70; ++i) {
        PlanOperator compute;
        compute.physicalOp = compute.logicalOp = "Compute Scalar";
        compute.children = {op};
        op = compute;
    }
    PlanStatement s;
    s.text = "SELECT deeply FROM nested";
    s.root = op;
    return s;
}

const std::string kVersion = "Microsoft SQL Server 2019 (RTM-CU22) (KB5027702) - 15.0.4322.2 (X64)";

} // namespace

class TstPlans : public QObject {
    Q_OBJECT

    std::unique_ptr<EngineFixture> f;
    const std::string batch = "SET NOCOUNT ON;\r\nSELECT TOP (5) * FROM dbo.Customers";
    const int start = 34; // the second statement, in bytes of UTF-16
    const std::string cached = showplanXml({richStatement(false)}, kVersion);
    const std::string live = showplanXml({richStatement(true)}, kVersion);

    ScriptedRequest request(int spid) {
        ScriptedRequest r;
        r.sessionId = spid;
        r.sqlText = batch;
        r.statementStartOffset = start;
        r.statementEndOffset = -1;
        r.plan = cached;
        r.livePlan = live;
        return r;
    }

private slots:
    void init() {
        f = std::make_unique<EngineFixture>();
        ScriptedSession s;
        s.sessionId = 60;
        f->instance.addSession(s);
        f->instance.addRequest(request(60));
    }

    void documentsMatchThePublishedSchema_data() {
        QTest::addColumn<QString>("xml");
        QTest::newRow("compiled") << QString::fromStdString(cached);
        QTest::newRow("live") << QString::fromStdString(live);
        QTest::newRow("insert, heap, aggregate")
            << QString::fromStdString(showplanXml({insertStatement()}, kVersion));
        QTest::newRow("two statements, one without a plan") << QString::fromStdString(showplanXml(
            {PlanStatement{"SET NOCOUNT ON", "SET ON/OFF", {}, {}, {}, 1}, insertStatement()},
            "Microsoft SQL Server 2022 (RTM-CU16) - 16.0.4165.4 (X64)"));
        QTest::newRow("deep") << QString::fromStdString(showplanXml({deepStatement()}, kVersion));
    }

    void documentsMatchThePublishedSchema() {
        QFETCH(QString, xml);
        QTemporaryDir dir;
        QFile file(dir.filePath("plan.sqlplan"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(xml.toUtf8());
        file.close();
        QProcess lint;
        lint.start("xmllint", {"--noout", "--schema", SHOWPLAN_XSD, file.fileName()});
        QVERIFY2(lint.waitForFinished(60000), "xmllint (package libxml2-utils) did not run");
        QVERIFY2(lint.exitCode() == 0, lint.readAllStandardError().constData());
    }

    // Every statement the demo runs, compiled and halfway through: one xmllint for all.
    void demoPlansMatchThePublishedSchema() {
        QTemporaryDir dir;
        QStringList files;
        int withOperators = 0;
        for (const DemoApplication& app : demoCatalog().applications)
            for (const auto* list : {&app.batches, &app.headBatches, &app.lockingBatches})
                for (const DemoBatch& batch : *list)
                    for (const DemoStatement& st : batch.statements)
                        for (const std::optional<double> done : {std::optional<double>(), {0.5}}) {
                            const PlanStatement p = demoPlan(st, app.databases[0], done);
                            withOperators += p.root.has_value();
                            QFile file(dir.filePath(QString("%1.sqlplan").arg(files.size())));
                            QVERIFY(file.open(QIODevice::WriteOnly));
                            file.write(QByteArray::fromStdString(showplanXml({p}, kVersion)));
                            files << file.fileName();
                        }
        QVERIFY(withOperators > files.size() / 2);
        QProcess lint;
        lint.start("xmllint", QStringList{"--noout", "--schema", SHOWPLAN_XSD} + files);
        QVERIFY2(lint.waitForFinished(120000), "xmllint (package libxml2-utils) did not run");
        QVERIFY2(lint.exitCode() == 0, lint.readAllStandardError().constData());
    }

    // The demo's running requests have their live plans, whose counters grow, and their
    // statements' cached plans.
    void theDemoServesPlans() {
        Instance demo;
        DemoWorkload workload(demo, 7, 60);
        for (int i = 0; i < 20; ++i)
            workload.step(0.5);
        LoginInfo info;
        info.user = "sa";
        info.password = "Dervel-2026";
        const int me = demo.login(info).spid;
        const auto run = [&](const std::string& sql) {
            return demo.execute(me, sql).statements.front();
        };
        const auto live = run("select R.session_id, P.query_plan from sys.dm_exec_requests R "
                              "cross apply sys.dm_exec_query_statistics_xml(R.session_id) P "
                              "where R.session_id > 50");
        QVERIFY2(live.result, qPrintable(message(live)));
        QVERIFY(!live.result->rows.empty());
        const auto spid = std::get<std::int64_t>(live.result->rows[0][0]);
        const std::string before = std::get<std::string>(live.result->rows[0][1]);
        QVERIFY(QString::fromStdString(before).contains("RunTimeCountersPerThread"));
        const auto cached = run("select P.query_plan from sys.dm_exec_requests R cross apply "
                                "sys.dm_exec_text_query_plan(R.plan_handle, "
                                "R.statement_start_offset, R.statement_end_offset) P "
                                "where R.session_id > 50");
        QVERIFY2(cached.result && !cached.result->rows.empty(), qPrintable(message(cached)));
        QVERIFY(!QString::fromStdString(std::get<std::string>(cached.result->rows[0][0]))
                     .contains("RunTimeCountersPerThread"));
        workload.step(1.5);
        const auto after = run("select query_plan from sys.dm_exec_query_statistics_xml(" +
                               std::to_string(spid) + ")");
        QVERIFY(after.result);
        if (!after.result->rows.empty()) // the request may have ended meanwhile
            QVERIFY(std::get<std::string>(after.result->rows[0][0]) != before);
    }

    void subtreeCostsAddUpToTheStatementCost() {
        const PlanStatement s = richStatement(false);
        const QString xml = QString::fromStdString(cached);
        QVERIFY(xml.contains(QString("StatementSubTreeCost=\"%1\"")
                                 .arg(QString::number(subtreeCost(*s.root), 'g', 7))));
        // The lookup runs once per row of the seek: its cost counts ten times.
        PlanOperator lookup =
            s.root->children[0].children[0].children[0].children[0].children[1].children[1];
        QCOMPARE(QString::fromStdString(lookup.physicalOp), QString("Key Lookup"));
        QCOMPARE(subtreeCost(lookup), 10 * lookup.estimateCpu);
    }

    void liveAndCompiledPlansOfTheRunningStatement() {
        const auto liveRow =
            f->first("select request_id, query_plan from sys.dm_exec_query_statistics_xml(60)");
        QVERIFY2(liveRow.result, qPrintable(message(liveRow)));
        QCOMPARE(liveRow.result->columns[1].type, SqlType::Xml);
        QCOMPARE(liveRow.result->rows.size(), std::size_t(1));
        QCOMPARE(liveRow.result->rows[0][1], Value(live));

        // The request's own offsets pick its statement; 0 and -1 the whole batch.
        const auto text =
            f->first("select P.query_plan from sys.dm_exec_requests R cross apply "
                     "sys.dm_exec_text_query_plan(R.plan_handle, R.statement_start_offset, "
                     "R.statement_end_offset) P where R.session_id=60 and R.request_id=0");
        QVERIFY2(text.result, qPrintable(message(text)));
        QCOMPARE(text.result->columns[0].type, SqlType::NVarChar);
        QCOMPARE(text.result->rows.size(), std::size_t(1));
        QCOMPARE(text.result->rows[0][0], Value(cached));
        const auto wrong = f->first("select P.query_plan from sys.dm_exec_requests R cross apply "
                                    "sys.dm_exec_text_query_plan(R.plan_handle, 2, 30) P "
                                    "where R.session_id=60");
        QVERIFY(wrong.result);
        QCOMPARE(wrong.result->rows.size(), std::size_t(0));
        const auto whole = f->first("select P.query_plan from sys.dm_exec_requests R cross apply "
                                    "sys.dm_exec_text_query_plan(R.plan_handle) P "
                                    "where R.session_id=60");
        QVERIFY2(whole.result && whole.result->rows.size() == 1, qPrintable(message(whole)));

        const auto compiled = f->first("select P.query_plan from sys.dm_exec_requests R cross "
                                       "apply sys.dm_exec_query_plan(R.plan_handle) P where "
                                       "R.session_id=60");
        QVERIFY2(compiled.result, qPrintable(message(compiled)));
        QCOMPARE(compiled.result->columns[0].type, SqlType::Xml);
        QCOMPARE(compiled.result->rows[0][0], Value(cached));
    }

    void aPlanTooDeepForXml() {
        const std::string deep = showplanXml({deepStatement()}, kVersion);
        QVERIFY(types::xmlDepth(deep) >= types::kMaxXmlDepth);
        f->instance.removeRequest(60, 0);
        ScriptedRequest r = request(60);
        r.plan = deep;
        r.livePlan = deep;
        f->instance.addRequest(r);

        const auto live = f->first("select query_plan from sys.dm_exec_query_statistics_xml(60)");
        QVERIFY(live.failed);
        QCOMPARE(live.messages[0].number, 6335);
        QCOMPARE(message(live), QString("XML datatype instance has too many levels of nested "
                                        "nodes. Maximum allowed depth is 128 levels."));
        // The documented way round: the text function gives it whole...
        const auto text = f->first("select P.query_plan from sys.dm_exec_requests R cross apply "
                                   "sys.dm_exec_text_query_plan(R.plan_handle, "
                                   "R.statement_start_offset, R.statement_end_offset) P "
                                   "where R.session_id=60");
        QVERIFY2(text.result && text.result->rows.size() == 1, qPrintable(message(text)));
        QCOMPARE(text.result->rows[0][0], Value(deep));
        // ...and the xml function gives NULL since SQL Server 2005 SP2.
        const auto compiled = f->first("select P.query_plan from sys.dm_exec_requests R cross "
                                       "apply sys.dm_exec_query_plan(R.plan_handle) P where "
                                       "R.session_id=60");
        QVERIFY2(compiled.result && compiled.result->rows.size() == 1,
                 qPrintable(message(compiled)));
        QCOMPARE(compiled.result->rows[0][0], Value());
    }

    void xmlDepth_data() {
        QTest::addColumn<QString>("xml");
        QTest::addColumn<int>("depth");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("root") << "<a/>" << 1;
        QTest::newRow("nested") << "<?xml version=\"1.0\"?><a><b><c/></b><b/></a>" << 3;
        QTest::newRow("quoted brackets") << "<a x=\"/>\" y='>'><b/></a>" << 2;
        QTest::newRow("comment and CDATA") << "<a><!-- <b><c> --><![CDATA[<d><e>]]></a>" << 1;
    }

    void xmlDepth() {
        QFETCH(QString, xml);
        QFETCH(int, depth);
        QCOMPARE(types::xmlDepth(xml.toStdString()), depth);
    }

    void theLivePlanGoesWithItsRequest() {
        f->instance.removeRequest(60, 0);
        const auto gone = f->first("select count(*) from sys.dm_exec_query_statistics_xml(60)");
        QCOMPARE(gone.result->rows[0][0], Value(std::int64_t{0}));
        // A new request of the same key does not inherit the old one's counters.
        ScriptedRequest r = request(60);
        r.livePlan.reset();
        f->instance.addRequest(r);
        const auto fresh = f->first("select count(*) from sys.dm_exec_query_statistics_xml(60)");
        QCOMPARE(fresh.result->rows[0][0], Value(std::int64_t{0}));

        ScriptedChanges round;
        round.livePlans.push_back({60, 0, std::string("<ShowPlanXML />")});
        f->instance.apply(round);
        const auto updated =
            f->first("select query_plan from sys.dm_exec_query_statistics_xml(60)");
        QCOMPARE(updated.result->rows[0][0], Value(std::string("<ShowPlanXML />")));
    }

    void cachedPlansServeEveryRequestOfTheirBatch() {
        ScriptedPlan p;
        p.batchText = "SELECT 1;\r\nSELECT 2";
        p.batchPlan = "<batch/>";
        p.statements = {{0, 18, "<first/>"}, {20, -1, "<second/>"}};
        f->instance.cachePlans({p});
        ScriptedRequest r;
        r.sessionId = 60;
        r.requestId = 1;
        r.sqlText = p.batchText;
        r.statementStartOffset = 20;
        f->instance.addRequest(r);
        const auto text = f->first("select P.query_plan from sys.dm_exec_requests R cross apply "
                                   "sys.dm_exec_text_query_plan(R.plan_handle, "
                                   "R.statement_start_offset, R.statement_end_offset) P "
                                   "where R.session_id=60 and R.request_id=1");
        QVERIFY2(text.result && text.result->rows.size() == 1, qPrintable(message(text)));
        QCOMPARE(text.result->rows[0][0], Value(std::string("<second/>")));
    }

    void argumentErrors_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("number");
        QTest::newRow("none") << "select * from sys.dm_exec_text_query_plan()" << 216;
        QTest::newRow("too many") << "select * from sys.dm_exec_query_plan(0x06, 1)" << 8144;
        QTest::newRow("not a function") << "select * from sys.dm_exec_query_plan" << 216;
    }

    void argumentErrors() {
        QFETCH(QString, sql);
        QFETCH(int, number);
        const auto out = f->first(sql.toStdString());
        QVERIFY(out.failed);
        QCOMPARE(out.messages[0].number, number);
    }

    // Without VIEW SERVER STATE the plan functions are refused whole, even for the
    // login's own session, as the server-scoped functions are; 2022 names its finer
    // permission.
    void withoutServerState_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("permission");
        QTest::newRow("2019") << QString::fromStdString(kVersion) << "VIEW SERVER STATE";
        QTest::newRow("2022") << "Microsoft SQL Server 2022 (RTM-CU16) - 16.0.4165.4 (X64)"
                              << "VIEW SERVER PERFORMANCE STATE";
    }

    void withoutServerState() {
        QFETCH(QString, version);
        QFETCH(QString, permission);
        f->instance.setVersion(version.toStdString(), 0x10000000);
        f->instance.addLogin("watcher", "pw", {false, false});
        LoginInfo info;
        info.user = "watcher";
        info.password = "pw";
        const int me = f->instance.login(info).spid;
        for (const std::string& sql :
             {"select query_plan from sys.dm_exec_query_statistics_xml(" + std::to_string(me) + ")",
              std::string("select * from sys.dm_exec_text_query_plan(0x06, 0, -1)"),
              std::string("select * from sys.dm_exec_query_plan(0x06)")}) {
            const auto out = f->instance.execute(me, sql).statements.front();
            QVERIFY(out.failed);
            QCOMPARE(out.messages[0].number, 300);
            QCOMPARE(out.messages[0].severity, 14);
            QCOMPARE(message(out), permission + " permission was denied on object 'server', "
                                                "database 'master'.");
        }
    }
};

QTEST_GUILESS_MAIN(TstPlans)
#include "tst_plans.moc"
