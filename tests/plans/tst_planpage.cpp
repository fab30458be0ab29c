// The plan page: against the test server on its own (a live plan with its marks and
// tooltip, a cached one with its missing index, saving and copying the XML, the server's
// words for a failed read, an ended request), and in the real window on the demo, driven
// by keys and clicks.

#include "../actions/sessionfixture.h"
#include "actions/widgets/viewform.h"
#include "demo_workload.h"
#include "plans/planfigures.h"
#include "plans/widgets/planpage.h"
#include "plans/widgets/plantreemodel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {

QString fixture(const QString& name) {
    QFile file(QStringLiteral(PLAN_FIXTURES "/") + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The tooltip a hover over the operator's row shows.
QString hoverToolTip(QTreeView* tree, const QModelIndex& index) {
    tree->scrollTo(index);
    const QPoint at = tree->visualRect(index).center();
    QHelpEvent event(QEvent::ToolTip, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

int nodeOf(const QModelIndex& index) {
    return index.data(TPlanTreeModel::NodeRole).toInt();
}

} // namespace

class TestPlanPage : public QObject {
    Q_OBJECT

    std::unique_ptr<TTestServer> FServer;
    std::shared_ptr<TDbConnection> FConnection;
    std::unique_ptr<TPlanPage> FPage;
    std::unique_ptr<TScriptedPrompts> FPrompts;

    void addRequest(const QString& cached, const QString& live) {
        testserver::ScriptedSession s;
        s.sessionId = 60;
        s.status = "running";
        FServer->instance().addSession(s);
        testserver::ScriptedRequest r;
        r.sessionId = 60;
        r.sqlText = "SELECT 1";
        if (!cached.isNull())
            r.plan = cached.toStdString();
        if (!live.isNull())
            r.livePlan = live.toStdString();
        FServer->instance().addRequest(r);
    }

    std::shared_ptr<TDbConnection> connect(const QString& user, const QString& password) {
        auto c = std::make_shared<TDbConnection>();
        c->setConnectionString(FServer->oledb(user, password));
        c->open();
        return c;
    }

    // Loads the page and waits for the answer.
    void load(std::shared_ptr<TDbConnection> connection = {}) {
        FPage->Load(connection ? connection : FConnection, 60, 0);
        QTRY_VERIFY(!FPage->Reading());
    }

private slots:
    void init() {
        FPrompts = std::make_unique<TScriptedPrompts>();
        FServer = std::make_unique<TTestServer>();
        FConnection = connect(u"sa"_s, u"Dervel-2026"_s);
        FPage = std::make_unique<TPlanPage>();
        FPage->resize(900, 600);
        FPage->show();
        QVERIFY(QTest::qWaitForWindowExposed(FPage.get()));
    }

    void cleanup() {
        FPage.reset();
        FConnection.reset();
        FServer.reset();
        FPrompts.reset();
    }

    void aLivePlan() {
        const QString live = fixture(u"live-parallel.sqlplan"_s);
        addRequest(fixture(u"cached-lookup.sqlplan"_s), live);
        QAbstractItemModelTester tester(FPage->PlanModel,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        load();
        QVERIFY(FPage->lbPlanSource->isVisible());
        QVERIFY(FPage->lbPlanSource->text().contains(u"sys.dm_exec_query_statistics_xml"_s));
        QVERIFY(FPage->StatementText->toPlainText().startsWith(u"SELECT c.Region, COUNT(*)"_s));
        QVERIFY(!FPage->lbPlanMessage->isVisible());
        QCOMPARE(FPage->Xml(), live);

        // The spilling aggregate is the costliest: open to it, and current.
        QTreeView* tree = FPage->PlanTree;
        const QModelIndex current = tree->currentIndex();
        QCOMPARE(nodeOf(current), 1);
        QVERIFY(tree->isExpanded(current.parent()));
        QCOMPARE(current.siblingAtColumn(TPlanTreeModel::colWarnings).data().toString(),
                 u"сброс в tempdb"_s);
        const QString tip = hoverToolTip(tree, current);
        QVERIFY2(tip.contains(u"EstimatedTotalSubtreeCost"_s) &&
                     tip.contains(u"SpillToTempDb: SpillLevel=1"_s),
                 qPrintable(tip));

        // Far more rows than estimated is marked; fewer rows of a scan still at work not.
        tree->expand(current);
        const QModelIndex join = FPage->PlanModel->index(0, TPlanTreeModel::colRatio, current);
        QCOMPARE(join.data().toString(), u"×400"_s);
        QVERIFY(join.data(Qt::BackgroundRole).isValid());
        const QModelIndex stillReading =
            FPage->PlanModel->index(1, TPlanTreeModel::colRatio, join.siblingAtColumn(0));
        QCOMPARE(nodeOf(stillReading), 4);
        QVERIFY(stillReading.data().toString().startsWith(u"÷"_s));
        QVERIFY(!stillReading.data(Qt::BackgroundRole).isValid());
    }

    void aCachedPlanWithItsMissingIndex() {
        addRequest(fixture(u"cached-lookup.sqlplan"_s), QString());
        load();
        QVERIFY(FPage->lbPlanSource->text().contains(u"sys.dm_exec_text_query_plan"_s));
        const QString impact = QLocale().toString(81.2437, 'f', 1);
        QVERIFY2(FPage->lbPlanNotes->text().contains(
                     u"Недостающий индекс (выигрыш %1 %): Sales.dbo.Orders — равенство: "
                     u"CustomerCode; включить: Total, Status"_s.arg(impact)),
                 qPrintable(FPage->lbPlanNotes->text()));
        QVERIFY(FPage->lbPlanNotes->text().contains(u"Предупреждение: PlanAffectingConvert"_s));
        QCOMPARE(FPage->PlanTree->currentIndex().data().toString(),
                 u"Key Lookup (Clustered Index Seek)"_s);
    }

    void saveAndCopyTheXmlAsTheServerSentIt() {
        const QString live = fixture(u"live-parallel.sqlplan"_s);
        addRequest(QString(), live);
        load();
        QTemporaryDir dir;
        const QString path = dir.filePath(u"plan.sqlplan"_s);
        FPrompts->saveFileAnswers << path;
        QTest::mouseClick(FPage->tbSavePlan, Qt::LeftButton);
        QCOMPARE(FPrompts->saveFileCalls, QStringList{QDir::home().filePath(u"SPID60.sqlplan"_s)});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.left(2), QByteArray("\xFF\xFE", 2));
        QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                    (bytes.size() - 2) / 2),
                 live);

        QTest::mouseClick(FPage->tbCopyXml, Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), live);
    }

    void aPlanTooDeepForXmlComesFromTheCache() {
        QString deep = fixture(u"cached-lookup.sqlplan"_s);
        // Wrap the statement's root in enough levels to pass the xml type's 128.
        const int at = deep.indexOf(u"<RelOp "_s);
        const int end = deep.lastIndexOf(u"</RelOp>"_s) + 8;
        QString inner = deep.mid(at, end - at);
        for (int i = 0; i < 70; ++i)
            inner = uR"(<RelOp AvgRowSize="9" EstimateCPU="0" EstimateIO="0" EstimateRebinds="0" )"
                    uR"(EstimateRewinds="0" EstimateRows="1" LogicalOp="Compute Scalar" )"
                    uR"(Parallel="false" PhysicalOp="Compute Scalar" )"
                    uR"(EstimatedTotalSubtreeCost="0.0656"><OutputList /><ComputeScalar>)"_s +
                    inner + u"</ComputeScalar></RelOp>"_s;
        deep = deep.left(at) + inner + deep.mid(end);
        addRequest(deep, deep);
        load();
        QVERIFY(FPage->lbPlanSource->text().contains(u"sys.dm_exec_text_query_plan"_s));
        QVERIFY(FPage->lbPlanNotes->text().contains(u"Maximum allowed depth is 128 levels"_s));
        QCOMPARE(FPage->PlanModel->plan().Nodes.size(), 73);
        QCOMPARE(FPage->PlanTree->currentIndex().data().toString(),
                 u"Key Lookup (Clustered Index Seek)"_s);
    }

    void aFailedReadShowsTheServersWordsAlone() {
        addRequest(fixture(u"cached-lookup.sqlplan"_s), QString());
        FServer->instance().addLogin("watcher", "pw", {false, false});
        load(connect(u"watcher"_s, u"pw"_s));
        QVERIFY(FPage->lbPlanMessage->isVisible());
        QVERIFY2(FPage->lbPlanMessage->text().endsWith(
                     u"VIEW SERVER STATE permission was denied on object 'server', database "
                     u"'master'."_s),
                 qPrintable(FPage->lbPlanMessage->text()));
        for (QWidget* w : std::initializer_list<QWidget*>{FPage->PlanTree, FPage->StatementText,
                                                          FPage->lbPlanSource, FPage->tbSavePlan})
            QVERIFY(!w->isVisible());
        QCOMPARE(FPage->PlanModel->rowCount(), 0);
    }

    void anEndedRequestSaysSo() {
        load();
        QCOMPARE(FPage->lbPlanMessage->text(), u"Запрос уже завершился: плана нет."_s);
        QVERIFY(!FPage->PlanTree->isVisible());
    }

    void aRecordedSessionHasNoPlan() {
        QPointer<QDialog> opened;
        SetModalRunner([&](QDialog* d) {
            opened = d;
            d->show();
        });
        TMonitorRec rec;
        rec.SPID = 60;
        rec.Login = u"sa"_s;
        TViewHost host;
        host.Recorded = TViewHost::TRecorded{u"Prod"_s, u"03:00:00"_s,
                                             [](const TMonitorRec&) { return TSessionDetail{}; }};
        OpenSessionView(nullptr, nullptr, &rec, host);
        SetModalRunner({});
        auto* view = qobject_cast<TViewForm*>(opened.data());
        QVERIFY(view);
        QVERIFY(QTest::qWaitForWindowExposed(view));
        QTabBar* tabs = view->PageControl->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
        QCOMPARE(view->PlanPage->lbPlanMessage->text(),
                 u"Записи не хранят планов: для записанного сеанса плана нет."_s);
        QVERIFY(!view->PlanPage->Reading());
        delete view;
    }

    // The real window on the demo: Enter on a running session, a click on the plan's
    // tab; then a session whose request ends before its plan is asked for.
    void theWindowOnTheDemo() {
        FPage.reset();
        TSessionFixture f;
        testserver::DemoWorkload demo(f.instance(), 11, 40);
        for (int i = 0; i < 10; ++i)
            demo.step(0.5);
        testserver::ScriptedSession observer;
        observer.withConnection = false;
        const int me = f.instance().addSession(observer);
        const auto running = f.instance()
                                 .execute(me, "select R.session_id from sys.dm_exec_requests R "
                                              "cross apply sys.dm_exec_query_statistics_xml("
                                              "R.session_id) P where R.session_id > 50")
                                 .statements.front();
        QVERIFY(running.result && running.result->rows.size() >= 2);
        const int withPlan = int(std::get<std::int64_t>(running.result->rows[0][0]));
        const int ending = int(std::get<std::int64_t>(running.result->rows[1][0]));
        QVERIFY(f.start());

        const auto openPlan = [&](int spid) -> TViewForm* {
            f.focus(spid);
            QTest::keyClick(f.Form->MonitorVT, Qt::Key_Return);
            if (f.Opened.isEmpty())
                return nullptr;
            auto* view = qobject_cast<TViewForm*>(f.Opened.last().data());
            if (!view || !QTest::qWaitForWindowExposed(view))
                return nullptr;
            QTabBar* tabs = view->PageControl->tabBar();
            QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
            return view;
        };

        TViewForm* view = openPlan(withPlan);
        QVERIFY(view);
        QCOMPARE(view->PageControl->currentWidget(), view->PlanPage);
        TPlanPage* page = view->PlanPage;
        QTRY_VERIFY(page->PlanModel->rowCount() > 0);
        const TShowPlan& plan = page->PlanModel->plan();
        const int costliest = CostliestNode(plan, MainStatement(plan));
        const QModelIndex current = page->PlanTree->currentIndex();
        QCOMPARE(nodeOf(current), costliest);
        for (QModelIndex up = current.parent(); up.isValid(); up = up.parent())
            QVERIFY(page->PlanTree->isExpanded(up));
        const QString tip = hoverToolTip(page->PlanTree, current);
        QVERIFY2(tip.contains(plan.Nodes[costliest].PhysicalOp) && tip.contains(u"EstimateRows"_s),
                 qPrintable(tip));
        QTest::keyClick(page->PlanTree, Qt::Key_Escape);
        QTRY_VERIFY(f.Opened.last().isNull());

        f.instance().removeRequest(ending, 0);
        view = openPlan(ending);
        QVERIFY(view);
        QTRY_COMPARE(view->PlanPage->lbPlanMessage->text(), u"Запрос уже завершился: плана нет."_s);
        QVERIFY(!view->PlanPage->PlanTree->isVisible());
        view->close();
    }
};

QTEST_MAIN(TestPlanPage)
#include "tst_planpage.moc"
