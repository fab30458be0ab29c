// Takes the README's screenshots of the real windows: the main window on the live demo,
// a session's detail window, a blocked session beside its blocker, and the blocking
// episodes of a recording the window made of the demo meanwhile. Run it through
// scripts/screenshots.sh, which starts it under Xvfb.
//
// Usage: dervel_screenshots <dervel-testserver> <output folder>

#include "actions/widgets/modalrun.h"
#include "app/mainform.h"
#include "episodes/episodefinder.h"
#include "episodes/widgets/episodecommands.h"
#include "episodes/widgets/episodelistmodel.h"
#include "episodes/widgets/episodepane.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorview.h"
#include "language/language.h"
#include "recorder/recordingreader.h"
#include "recorder/widgets/recordercommands.h"
#include "recording/logfile.h"
#include "registry/registry.h"
#include "replay/widgets/replay.h"
#include "resources/fonts.h"
#include "scriptedprompts.h"
#include "servers/server.h"
#include "servers/widgets/serverpanel.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QProcess>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

namespace {

// Lets the event loop run for a while: snapshots arrive, windows paint.
void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The first grid row that satisfies the test, or -1.
template <typename F> int findRow(TMainForm& form, F test) {
    for (int row = 0; row < form.MonitorModel->rowCount(); ++row)
        if (test(*form.MonitorModel->record(row)))
            return row;
    return -1;
}

bool save(QWidget* w, const QString& path) {
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: dervel_screenshots <dervel-testserver> <output folder>\n");
        return 2;
    }
    InstallFontSubstitutes();
    // In the locale's language, as the program shows itself.
    InstallTranslations(
        LanguageFromEnvironment([](const char* name) { return qEnvironmentVariable(name); }));
    const QString out = QString::fromLocal8Bit(argv[2]);
    QProcess server;
    server.start(QString::fromLocal8Bit(argv[1]),
                 {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--demo"),
                  QStringLiteral("--seed"), QStringLiteral("7")});
    if (!server.waitForReadyRead(30000))
        return 2;
    const QString port = QString::fromUtf8(server.readLine()).trimmed().section(u':', -1);

    QTemporaryDir settings;
    TRegistry::SetDefaultLocation(settings.path());
    TScriptedPrompts prompts;
    TMainForm form;
    form.resize(1500, 960);
    form.show();
    prompts.connectionAnswers << TScriptedPrompts::TConnectionAnswer{
        true, QStringLiteral("Demo"),
        QStringLiteral("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;User ID=sa;"
                       "Password=Dervel-2026")
            .arg(port)};
    form.ServerPanel->actAddConnection->trigger();
    form.cbPeriod->setCurrentIndex(2); // "1 с"
    QHeaderView* header = form.MonitorVT->horizontalHeader();
    // Room for the rates after Blocking; the tree below shows what the blocked ones wait for.
    for (int column : {6, 10, 12}) // Login Time, Memory, NT Login
        header->setSectionHidden(column, true);
    form.actBlockingTree->setChecked(true);

    // Wait for a blocking chain to form (the demo makes one every minute or so).
    QElapsedTimer waited;
    waited.start();
    int blocked = -1;
    while (waited.elapsed() < 150000) {
        settle(500);
        blocked = findRow(form, [](const TMonitorRec& r) { return r.Blocking != 0; });
        if (blocked >= 0)
            break;
    }
    const int running = findRow(form, [](const TMonitorRec& r) {
        return r.Status == QLatin1String("running") && !r.SelfID && !r.Command.isEmpty() &&
               r.IsUser;
    });
    const int focus = blocked >= 0 ? blocked : running;
    if (focus >= 0)
        form.MonitorVT->setCurrentIndex(form.MonitorModel->index(focus, 1));
    settle(300);
    bool ok = save(&form, out + QStringLiteral("/main-window.png"));
    // The window records the demo from now on, the chain just seen in it, for the episodes.
    QTemporaryDir logs;
    SetLogFolder(logs.path());
    QElapsedTimer recorded;
    recorded.start();
    form.Recorder->actRecordReplay->trigger();

    // The detail windows: grabbed while they are open, then closed.
    SetModalRunner([&](QDialog* d) {
        d->resize(d->width(), 700);
        d->show();
        settle(800);
        ok = save(d, out + (d->windowTitle() ==
                                    QCoreApplication::translate("TContainerForm", "Просмотр")
                                ? QStringLiteral("/blocking-pair.png")
                                : QStringLiteral("/session-detail.png"))) &&
             ok;
        d->close();
    });
    if (running >= 0) {
        form.MonitorVT->setCurrentIndex(form.MonitorModel->index(running, 1));
        form.actView->trigger();
    }
    if (blocked >= 0) {
        form.MonitorVT->setCurrentIndex(form.MonitorModel->index(
            findRow(form, [](const TMonitorRec& r) { return r.Blocking != 0; }), 1));
        form.actViewBlock->trigger();
    }

    // Recorded until an episode has ended (the demo makes a chain every minute or so), then
    // shown in the replay with the episodes' pane, the first one chosen.
    const auto recording = [&] {
        const QStringList files = QDir(logs.path()).entryList({QStringLiteral("*.dervelrec")});
        return files.isEmpty() ? QString() : logs.filePath(files.first());
    };
    const auto ended = [&] {
        try {
            TRecordingReader reader(recording());
            for (const TBlockingEpisode& e : FindEpisodes(reader))
                if (!e.Open)
                    return true;
        } catch (const ERecordingError&) {
        }
        return false;
    };
    while (recorded.elapsed() < 150000 && !(recorded.elapsed() > 20000 && ended()))
        settle(2000);
    form.Recorder->actRecordReplay->trigger();
    settle(1000);
    bool episodes = !recording().isEmpty() && form.Replay->Open(recording());
    if (episodes) {
        form.Episodes->actEpisodesPane->trigger();
        QElapsedTimer found;
        found.start();
        while (form.Episodes->Pane()->model()->rowCount() == 0 && found.elapsed() < 10000)
            settle(100);
        episodes = form.Episodes->Pane()->model()->rowCount() > 0;
    }
    if (episodes) {
        TEpisodePane* pane = form.Episodes->Pane();
        pane->view()->setCurrentIndex(pane->sorted()->index(0, 0));
        form.Episodes->Go(*pane->model()->episode(
            pane->sorted()->mapToSource(pane->sorted()->index(0, 0)).row()));
        settle(500);
        ok = save(&form, out + QStringLiteral("/replay-episodes.png")) && ok;
    }
    form.close();
    server.terminate();
    server.waitForFinished(5000);
    return ok && running >= 0 && blocked >= 0 && episodes ? 0 : 1;
}
