// The soak: the main window samples a busy demo server as fast as it goes while a
// script works the grid (filters, marks, sorting, recording, detail windows, kills) for a
// set time. Run it in a sanitizer build: any report aborts it. At the end it checks that
// every snapshot the sampler posted was taken over and that memory did not keep growing.

#include "actions/widgets/modalrun.h"
#include "app/mainform.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorview.h"
#include "grid/widgets/statuspanel.h"
#include "processstats.h"
#include "recording/logfile.h"
#include "registry/registry.h"
#include "sampling/monitor.h"
#include "scriptedprompts.h"
#include "servers/server.h"
#include "servers/widgets/serverpanel.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

namespace {

double rssMegabytes() {
    return ResidentKilobytes() / 1024.0;
}

// Counts the arrivals the window takes over.
class TArrivalCounter : public QObject {
public:
    long arrivals = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == WM_DATAARRIVE)
            ++arrivals;
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int seconds = args.size() > 1 ? args[1].toInt() : 600;
    const QString serverProgram = args.size() > 2 ? args[2] : QStringLiteral("dervel-testserver");

    QProcess server;
    server.start(serverProgram,
                 {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--demo"),
                  QStringLiteral("--sessions"), QStringLiteral("1000")});
    if (!server.waitForReadyRead(30000)) {
        std::fprintf(stderr, "soak: the demo server did not start\n");
        return 2;
    }
    const QString announce = QString::fromUtf8(server.readLine()).trimmed();
    const QString port = announce.section(QLatin1Char(':'), -1);

    QTemporaryDir settings, logs;
    TRegistry::SetDefaultLocation(settings.path());
    SetLogFolder(logs.path());
    TScriptedPrompts prompts;
    // Detail windows open as they do for a user and close a moment later.
    SetModalRunner([](QDialog* d) {
        d->show();
        QTimer::singleShot(300, d, &QDialog::close);
    });

    auto form = std::make_unique<TMainForm>();
    form->resize(1400, 900);
    form->show();
    TArrivalCounter counter;
    form->installEventFilter(&counter);
    prompts.connectionAnswers << TScriptedPrompts::TConnectionAnswer{
        true, QStringLiteral("Demo"),
        QStringLiteral("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;User ID=sa;"
                       "Password=Dervel-2026")
            .arg(port)};
    form->ServerPanel->actAddConnection->trigger();
    TServer* demo = form->SelectedServer();
    if (!demo || demo->State != stConnected) {
        std::fprintf(stderr, "soak: could not connect to the demo server\n");
        return 2;
    }
    form->cbPeriod->setCurrentIndex(0); // "0 с"

    QRandomGenerator random(2026);
    long actions = 0;
    double rssWarm = 0, rssPeak = 0;
    QElapsedTimer clock;
    clock.start();
    QTimer script;
    QObject::connect(&script, &QTimer::timeout, [&] {
        TMainForm& f = *form;
        const int rows = f.MonitorModel->rowCount();
        if (rows > 0)
            f.MonitorVT->setCurrentIndex(
                f.MonitorModel->index(int(random.bounded(rows)), int(random.bounded(14))));
        switch (random.bounded(12)) {
        case 0:
            f.edLogin->setText(random.bounded(2) ? QStringLiteral("O'Brien") : QString());
            f.Monitoring(false);
            break;
        case 1:
            if (f.cbDBList->count() > 0)
                f.cbDBList->setCurrentIndex(int(random.bounded(f.cbDBList->count())));
            f.Monitoring(false);
            break;
        case 2: {
            QListWidgetItem* item = f.StatusPanel->cbStatus->item(
                int(random.bounded(f.StatusPanel->cbStatus->count())));
            item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            break;
        }
        case 3:
            f.tbHideSys->click();
            break;
        case 4:
            f.tbShowBlocked->click();
            break;
        case 5: {
            QHeaderView* h = f.MonitorVT->horizontalHeader();
            emit h->sectionClicked(int(random.bounded(14)));
            break;
        }
        case 6:
            f.actSelRec->trigger();
            break;
        case 7:
            f.tbRecord->click();
            break;
        case 8:
            f.actView->trigger();
            break;
        case 9:
            f.actViewBlock->trigger();
            break;
        case 10:
            prompts.messageAnswers << TMsgResult::Yes;
            f.actKillProcess->trigger();
            break;
        case 11:
            f.actClearFilter->trigger();
            break;
        }
        // Messages that tell of a failed kill or a gone session are expected; keep the list short.
        prompts.messages.clear();
        ++actions;
        const double rss = rssMegabytes();
        rssPeak = std::max(rssPeak, rss);
        if (rssWarm == 0 && clock.elapsed() > std::min(60000, seconds * 250))
            rssWarm = rss;
        if (clock.elapsed() > seconds * 1000LL)
            app.quit();
        if (demo->State != stConnected) {
            std::fprintf(stderr, "soak: sampling failed: %s\n",
                         qPrintable(prompts.messages.isEmpty() ? QStringLiteral("(no message)")
                                                               : prompts.messages.last().text));
            app.exit(1);
        }
    });
    script.start(150);
    const int result = app.exec();

    form->removeEventFilter(&counter);
    const double rssEnd = rssMegabytes();
    const long rowsShown = form->MonitorModel->rowCount();
    form->close();
    form.reset();
    server.terminate();
    server.waitForFinished(5000);

    std::printf("soak_seconds: %d s\n", seconds);
    std::printf("soak_actions: %ld count\n", actions);
    std::printf("soak_snapshots_taken_over: %ld count\n", counter.arrivals);
    std::printf("soak_rows_at_end: %ld count\n", rowsShown);
    std::printf("soak_rss_after_warm_up: %.1f MB\n", rssWarm);
    std::printf("soak_rss_at_end: %.1f MB\n", rssEnd);
    std::printf("soak_rss_peak: %.1f MB\n", rssPeak);
    // A snapshot of 1,000 sessions is well under 4 MB in records; allow growth of a few.
    const bool grew = rssWarm > 0 && rssEnd - rssWarm > 64;
    if (grew)
        std::fprintf(stderr, "soak: memory grew by %.1f MB after warm-up\n", rssEnd - rssWarm);
    if (counter.arrivals == 0)
        std::fprintf(stderr, "soak: no snapshot arrived\n");
    return result != 0 || grew || counter.arrivals == 0 ? 1 : 0;
}
