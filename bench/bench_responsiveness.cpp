// What a user feels while Dervel watches a busy server at "0 с": how soon a key pressed in
// the grid is handled, how many snapshots a second the grid shows and what each costs the
// app, and how resident memory grows with the sessions of a snapshot. The servers run in
// processes of their own, so neither their CPU nor their memory is counted.
// Targets: key handling p99 at most 50 ms at 10,000 sessions and 16 ms at 1,000; at most
// 2 KB of resident memory per session.

#include "app/mainform.h"
#include "benchserver.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorview.h"
#include "processstats.h"
#include "registry/registry.h"
#include "scriptedprompts.h"
#include "servers/server.h"
#include "servers/widgets/serverpanel.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr int kSeconds = 20;
constexpr int kKeyEveryMs = 25;

// Times every key event posted to the grid from its posting to its delivery, the grid's
// handling of an arrow key being a matter of microseconds after that. The keys come from
// a thread of their own, as input comes from the display whatever the window is doing.
class TKeyProbe : public QObject {
public:
    explicit TKeyProbe(QWidget* grid) : FGrid(grid) { grid->installEventFilter(this); }
    ~TKeyProbe() override { stop(); }
    void start(int everyMs) {
        FThread = std::thread([this, everyMs] {
            while (!FStop) {
                post();
                std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
            }
        });
    }
    void stop() {
        FStop = true;
        if (FThread.joinable())
            FThread.join();
    }
    double p99() const {
        QList<double> d = FDelays;
        std::sort(d.begin(), d.end());
        return d.isEmpty() ? 0 : d[std::min<qsizetype>(d.size() - 1, d.size() * 99 / 100)];
    }
    qsizetype count() const { return FDelays.size(); }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) {
            std::lock_guard lock(FMutex);
            if (!FPosted.empty()) {
                FDelays << (FClock.nsecsElapsed() - FPosted.front()) / 1e6;
                FPosted.pop_front();
            }
        }
        return false;
    }

private:
    void post() {
        {
            std::lock_guard lock(FMutex);
            FPosted.push_back(FClock.nsecsElapsed());
        }
        const Qt::Key key = FDown ? Qt::Key_Down : Qt::Key_Up;
        FDown = !FDown;
        QCoreApplication::postEvent(FGrid, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    }

    std::mutex FMutex;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    QWidget* FGrid;
    QElapsedTimer FClock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    std::deque<qint64> FPosted;
    QList<double> FDelays;
    bool FDown = true;
};

// Runs the event loop until the condition holds or the time is up.
bool waitFor(const std::function<bool()>& condition, int ms) {
    QElapsedTimer t;
    t.start();
    while (!condition() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

void addServer(TMainForm& form, TScriptedPrompts& prompts, const QString& name,
               const QString& oledb) {
    prompts.connectionAnswers << TScriptedPrompts::TConnectionAnswer{true, name, oledb};
    form.ServerPanel->actAddConnection->trigger();
    if (!form.SelectedServer() || form.SelectedServer()->State != stConnected)
        qFatal("could not connect to %s", qPrintable(name));
}

struct TFeel {
    double latencyP99 = 0;
    double snapshotsPerSecond = 0;
    double cpuMsPerSnapshotPer1000 = 0;
};

TFeel watch(int sessions) {
    TServerProcess server(QCoreApplication::applicationDirPath() +
                              QStringLiteral("/../testserver/dervel-testserver"),
                          {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--demo"),
                           QStringLiteral("--sessions"), QString::number(sessions)});
    TScriptedPrompts prompts;
    TMainForm form;
    form.resize(1500, 900);
    form.show();
    addServer(form, prompts, QStringLiteral("Demo"), server.oledb());
    form.cbPeriod->setCurrentIndex(0); // "0 с"
    if (!waitFor([&] { return form.SnapshotsShown() >= 3; }, 60000))
        qFatal("no snapshots from the demo of %d sessions", sessions);
    form.MonitorVT->setFocus();

    TKeyProbe probe(form.MonitorVT);
    const quint64 shownBefore = form.SnapshotsShown();
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    probe.start(kKeyEveryMs);
    waitFor([] { return false; }, kSeconds * 1000);
    probe.stop();
    const double cpuMs = (CpuSeconds() - cpuBefore) * 1000;
    const double seconds = wall.nsecsElapsed() / 1e9;
    const double shown = static_cast<double>(form.SnapshotsShown() - shownBefore);
    waitFor([&probe] { return false; }, 200); // the last keys
    const int rows = form.MonitorModel->rowCount();
    if (probe.count() < kSeconds * 1000 / kKeyEveryMs / 2)
        qFatal("only %d key events were handled", int(probe.count()));
    return {probe.p99(), shown / seconds, shown > 0 ? cpuMs / shown / (rows / 1000.0) : 0};
}

double rssSlope() {
    TServerProcess small(1000), big(50000);
    TScriptedPrompts prompts;
    TMainForm form;
    form.resize(1500, 900);
    form.show();
    form.cbPeriod->setCurrentIndex(0);
    const auto settle = [&form](int rows) {
        const quint64 from = form.SnapshotsShown();
        if (!waitFor(
                [&] {
                    return form.SnapshotsShown() >= from + 5 &&
                           form.MonitorModel->rowCount() >= rows;
                },
                120000))
            qFatal("no snapshots of %d rows", rows);
        return std::pair(ResidentKilobytes(), form.MonitorModel->rowCount());
    };
    addServer(form, prompts, QStringLiteral("Small"), small.oledb());
    form.cbPeriod->setCurrentIndex(0);
    const auto [rssSmall, rowsSmall] = settle(1000);
    addServer(form, prompts, QStringLiteral("Big"), big.oledb());
    form.cbPeriod->setCurrentIndex(0);
    const auto [rssBig, rowsBig] = settle(50000);
    return (rssBig - rssSmall) / (rowsBig - rowsSmall);
}

} // namespace

int main(int argc, char* argv[]) {
    if (ServeIfAsked(argc, argv))
        return 0;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir settings;
    TRegistry::SetDefaultLocation(settings.path());

    const TFeel thousand = watch(1000);
    Report(QStringLiteral("input_latency_p99_at_0s_1000"), thousand.latencyP99,
           QStringLiteral("ms (target <= 16)"));
    Report(QStringLiteral("snapshots_per_second_at_0s_1000"), thousand.snapshotsPerSecond,
           QStringLiteral("per s"));
    const TFeel tenThousand = watch(10000);
    Report(QStringLiteral("input_latency_p99_at_0s_10000"), tenThousand.latencyP99,
           QStringLiteral("ms (target <= 50)"));
    Report(QStringLiteral("snapshots_per_second_at_0s_10000"), tenThousand.snapshotsPerSecond,
           QStringLiteral("per s"));
    Report(QStringLiteral("app_cpu_ms_per_snapshot_per_1000_rows"),
           tenThousand.cpuMsPerSnapshotPer1000, QStringLiteral("ms (at 10,000 rows)"));
    Report(QStringLiteral("rss_slope_per_session"), rssSlope(), QStringLiteral("KB (target <= 2)"));
    return 0;
}
