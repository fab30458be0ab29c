// What is hot and who blocks whom, against the test server through the window: CPU/s from
// two samples, no rate behind a reused SPID, a sort by a rate, the blocking tree of a
// three-level chain with a sleeping head, and wait resources named from the catalog.

#include "actions/widgets/modalrun.h"
#include "app/mainform.h"
#include "blocking/widgets/blockingpane.h"
#include "grid/celltext.h"
#include "grid/monitorcolumns.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorview.h"
#include "instance.h"
#include "mainformfixture.h"
#include "scripting.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QTest>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;
using testserver::ScriptedRequest;
using testserver::ScriptedSession;

namespace {

// The window on the test server, paused: every refresh is exactly one sample.
struct TPausedWindow {
    TMainFormFixture f;
    TMainForm& form() { return f.form(); }
    testserver::Instance& instance() { return f.server().instance(); }

    void connect() {
        form().actPause->trigger();
        f.addConnectedServer(); // paused: the connect's hand-over gets one sample
        QTRY_COMPARE(form().SnapshotsShown(), 1u);
    }
    // Hands over (a refresh, or what `act` does) and waits for the one sample it gets.
    void sample(const std::function<void()>& act = {}) {
        // Counted as the grid takes them: a notice may wait for the screen's next frame.
        const quint64 before = form().SnapshotsShown();
        if (act)
            act();
        else
            form().actRefresh->trigger();
        QTRY_COMPARE(form().SnapshotsShown(), before + 1);
    }
    qint64 sampleTime() {
        std::lock_guard lock(form().CS);
        return form().Dervel->BufferTime;
    }
    PMonitorRec row(int spid) {
        for (int r = 0; r < form().MonitorModel->rowCount(); ++r)
            if (form().MonitorModel->record(r)->SPID == spid)
                return form().MonitorModel->record(r);
        return nullptr;
    }
    int gridRow(int spid) {
        for (int r = 0; r < form().MonitorModel->rowCount(); ++r)
            if (form().MonitorModel->record(r)->SPID == spid)
                return r;
        return -1;
    }
};

ScriptedSession session(int spid, const char* login, int cpu = 0) {
    ScriptedSession s;
    s.sessionId = spid;
    s.loginName = login;
    s.cpuTime = cpu;
    return s;
}

QString text(const QAbstractItemModel* m, const QModelIndex& parent, int row, int column) {
    return m->index(row, column, parent).data().toString();
}

} // namespace

class TestBlockingView : public QObject {
    Q_OBJECT
private slots:
    void cpuPerSecondBetweenTwoSamples();
    void sortByARateIsTheWindows();
    void threeLevelChainWithASleepingHead();
    void noChainSaysSo();
};

void TestBlockingView::cpuPerSecondBetweenTwoSamples() {
    TPausedWindow w;
    w.instance().addSession(session(70, "busy", 1000));
    w.connect();
    QVERIFY(w.row(70));
    QCOMPARE(w.row(70)->CpuRate, -1.0); // its first snapshot
    const qint64 first = w.sampleTime();
    w.instance().updateSession(70, {{"cpu_time", std::int64_t{3500}}});
    w.sample();
    const qint64 second = w.sampleTime();
    QVERIFY(second > first);
    // 2500 ms of CPU over the time between the two samples as the sampler took them.
    QCOMPARE(w.row(70)->CpuRate, 2500 / (double(second - first) / 1000));
    QCOMPARE(w.form().MonitorModel->data(
                 w.form().MonitorModel->index(w.gridRow(70), FirstRateColumn), Qt::DisplayRole),
             QVariant(GroupedText(w.row(70)->CpuRate, SystemThousandSeparator())));

    // Another login behind SPID 70 starts afresh, though its counter is higher.
    QVERIFY(w.instance().endSession(70));
    ScriptedSession other = session(70, "other", 9000);
    other.loginTime = 46000.25;
    w.instance().addSession(other);
    w.sample();
    QCOMPARE(w.row(70)->Login, u"other"_s);
    QCOMPARE(w.row(70)->CpuRate, -1.0);
    QCOMPARE(w.form().MonitorModel->index(w.gridRow(70), FirstRateColumn).data().toString(),
             QString());
}

// A click on a rate's header sorts the snapshot in the window, busiest first; the query
// keeps its own order.
void TestBlockingView::sortByARateIsTheWindows() {
    TPausedWindow w;
    for (int spid : {71, 72, 73})
        w.instance().addSession(session(spid, "worker", 1000));
    w.connect();
    w.sample();
    w.instance().updateSession(71, {{"cpu_time", std::int64_t{1100}}});
    w.instance().updateSession(72, {{"cpu_time", std::int64_t{1300}}});
    w.instance().updateSession(73, {{"cpu_time", std::int64_t{1200}}});
    TMonitorView* grid = w.form().MonitorVT;
    const int section = grid->horizontalHeader()->sectionViewportPosition(FirstRateColumn) + 5;
    w.sample([&] {
        QTest::mouseClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {},
                          QPoint(section, 5));
    });
    QCOMPARE(grid->sortColumn(), FirstRateColumn);
    QVERIFY(grid->sortDescending());
    QList<int> top;
    for (int r = 0; r < 3; ++r)
        top << w.form().MonitorModel->record(r)->SPID;
    QCOMPARE(top, (QList<int>{72, 73, 71}));
}

void TestBlockingView::threeLevelChainWithASleepingHead() {
    TPausedWindow w;
    testserver::Instance& instance = w.instance();
    const int sales = *instance.databaseId("Sales");
    const std::int64_t ordersKey = instance.lockTargets(sales).front().hobtIds.front();
    ScriptedSession head = session(60, "head");
    head.openTransactionCount = 1; // sleeping in its transaction: the classic cause
    instance.addSession(head);
    for (int spid : {61, 62, 63})
        instance.addSession(session(spid, "waiter"));
    const auto blocked = [&](int spid, int blocker, int wait) {
        ScriptedRequest r;
        r.sessionId = spid;
        r.status = "suspended";
        r.command = "UPDATE";
        r.waitType = "LCK_M_X";
        r.waitTime = wait;
        r.waitResource =
            "KEY: " + std::to_string(sales) + ":" + std::to_string(ordersKey) + " (8194443284a0)";
        r.blockingSessionId = blocker;
        instance.addRequest(r);
    };
    blocked(61, 60, 30000);
    blocked(62, 60, 12000);
    blocked(63, 61, 45000);
    w.connect();

    TMainForm& form = w.form();
    TBlockingPane* pane = form.BlockingPane;
    QAbstractItemModelTester tester(pane->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(!pane->isVisible());
    form.MonitorVT->setFocus();
    // Shown, the tree has its columns queried (the wait columns are hidden in the grid).
    w.sample([&] { QTest::keyClick(&form, Qt::Key_T, Qt::ControlModifier); });
    QVERIFY(form.actBlockingTree->isChecked());
    QVERIFY(pane->isVisible());
    QVERIFY(pane->tree()->isVisible());

    const QAbstractItemModel* m = pane->model();
    QCOMPARE(m->rowCount(), 1);
    const QModelIndex headIndex = m->index(0, 0);
    using C = TBlockingTreeModel;
    QCOMPARE(text(m, {}, 0, C::colSPID), u"60"_s);
    QCOMPARE(text(m, {}, 0, C::colWaiting), u"3"_s);
    QCOMPARE(text(m, {}, 0, C::colLongestWait), GroupedText(45000, SystemThousandSeparator()));
    QCOMPARE(text(m, {}, 0, C::colStatus), u"sleeping"_s);
    QCOMPARE(text(m, {}, 0, C::colNote), u"спит с открытой транзакцией"_s);
    QCOMPARE(m->rowCount(headIndex), 2);
    QCOMPARE(text(m, headIndex, 0, C::colSPID), u"61"_s);
    const QModelIndex middle = m->index(0, 0, headIndex);
    QCOMPARE(text(m, headIndex, 0, C::colWaitType), u"LCK_M_X"_s);
    // The name is asked off the window's thread; the tree shows it when it comes.
    QTRY_COMPARE(text(m, headIndex, 0, C::colWaitResource), u"Sales.dbo.Orders (PK_Orders)"_s);
    QCOMPARE(text(m, middle, 0, C::colWaitResource), u"Sales.dbo.Orders (PK_Orders)"_s);
    QCOMPARE(text(m, headIndex, 0, C::colWaiting), QString()); // counts are the heads'
    QCOMPARE(text(m, headIndex, 1, C::colSPID), u"62"_s);
    QCOMPARE(text(m, middle, 0, C::colSPID), u"63"_s);
    QVERIFY(pane->tree()->isExpanded(middle));

    // The grid names the resource in its tooltip too.
    const int row61 = w.gridRow(61);
    QCOMPARE(form.MonitorModel->index(row61, 27).data(Qt::ToolTipRole).toString(),
             u"Sales.dbo.Orders (PK_Orders)"_s);

    // Selecting a session in the tree focuses it in the grid.
    const QModelIndex deepest = m->index(0, 0, middle);
    QTest::mouseClick(pane->tree()->viewport(), Qt::LeftButton, {},
                      pane->tree()->visualRect(deepest).center());
    QCOMPARE(form.FocusedRec()->SPID, 63);
    // Del ends it as the grid does: after the same question.
    QTest::keyClick(pane->tree(), Qt::Key_Delete);
    QCOMPARE(w.f.prompts().messages.size(), 1);
    QVERIFY2(w.f.prompts().messages[0].text.startsWith(u"Завершить процесс SPID=63"_s),
             qPrintable(w.f.prompts().messages[0].text));

    // Another snapshot keeps what the user folded.
    pane->tree()->collapse(middle);
    w.sample();
    QCOMPARE(m->rowCount(), 1);
    QVERIFY(!pane->tree()->isExpanded(m->index(0, 0, m->index(0, 0))));
    QVERIFY(pane->tree()->isExpanded(m->index(0, 0)));
}

void TestBlockingView::noChainSaysSo() {
    TPausedWindow w;
    w.connect();
    w.sample([&] { w.form().actBlockingTree->trigger(); });
    QVERIFY(w.form().BlockingPane->noChains()->isVisible());
    QCOMPARE(w.form().BlockingPane->noChains()->text(), u"Цепочек блокировок нет."_s);
    QCOMPARE(w.form().BlockingPane->model()->rowCount(), 0);
}

QTEST_MAIN(TestBlockingView)
#include "tst_blockingview.moc"
