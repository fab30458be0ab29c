#include "episodes/widgets/episodecommands.h"

#include "blocking/widgets/blockingpane.h"
#include "episodes/episodesearch.h"
#include "episodes/widgets/episodelistmodel.h"
#include "episodes/widgets/episodepane.h"
#include "replay/widgets/replay.h"
#include "replay/widgets/replaybar.h"
#include "replay/widgets/replaytimeline.h"

#include <QAction>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QTreeView>

TEpisodeCommands::TEpisodeCommands(TReplay* AReplay, TBlockingPane* ATree, THost AHost,
                                   QObject* AParent)
    : QObject(AParent), actEpisodesPane(new QAction(tr("Эпизоды блокировок"), AReplay->bar())),
      FReplay(AReplay), FTree(ATree), FHost(std::move(AHost)), FPane(new TEpisodePane),
      FSearch(new TEpisodeSearch(this)) {
    actEpisodesPane->setObjectName(QStringLiteral("actEpisodesPane"));
    actEpisodesPane->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    actEpisodesPane->setShortcutContext(Qt::WindowShortcut);
    actEpisodesPane->setToolTip(
        tr("Эпизоды блокировок записи: когда, кто держал, сколько ждали (Ctrl+Shift+E)"));
    actEpisodesPane->setCheckable(true);
    FReplay->bar()->addTools({actEpisodesPane}, nullptr);
    FPane->hide();
    connect(actEpisodesPane, &QAction::toggled, this,
            [this](bool shown) { FPane->setVisible(shown && FReplay->active()); });
    connect(FReplay, &TReplay::recordingChanged, this, [this] { recordingChanged(); });
    connect(FSearch, &TEpisodeSearch::found, this, [this](const auto& e) { found(e); });
    connect(FSearch, &TEpisodeSearch::failed, this, [this](const QString& message) {
        FPane->setNotice(tr("Эпизоды не найдены: %1").arg(message));
    });
    connect(FPane, &TEpisodePane::episodeChosen, this, &TEpisodeCommands::Go);
    connect(FReplay->bar()->Timeline, &TReplayTimeline::episodeRequested, this,
            [this](qint64 start) {
                for (const TBlockingEpisode& e : FPane->model()->episodes())
                    if (e.Start == start) {
                        Go(e);
                        return;
                    }
            });
}

void TEpisodeCommands::recordingChanged() {
    if (!FReplay->active()) {
        FSearch->Cancel();
        FPane->hide();
        FPane->setEpisodes({});
        FReplay->bar()->Timeline->setEpisodes({});
        return;
    }
    FPane->setVisible(actEpisodesPane->isChecked());
    // Those found before stay on show while a grown recording is searched again.
    if (FPane->model()->rowCount() == 0)
        FPane->setNotice(tr("Поиск эпизодов блокировок…"));
    FSearch->Find(FReplay->reopen());
}

void TEpisodeCommands::found(const std::vector<TBlockingEpisode>& AEpisodes) {
    QList<TReplayTimeline::TBand> bands;
    for (const TBlockingEpisode& e : AEpisodes)
        bands.append({e.Start, e.End});
    FReplay->bar()->Timeline->setEpisodes(bands);
    FPane->setNotice(AEpisodes.empty() ? tr("В записи нет эпизодов блокировок.") : QString());
    FPane->setEpisodes(AEpisodes);
}

void TEpisodeCommands::Go(const TBlockingEpisode& AEpisode) {
    if (!FReplay->active())
        return;
    FReplay->Play(false);
    FHost.BlockingTree->setChecked(true);
    // A tree just shown takes its height from the grid once the layouts have run: let them
    // run now, so that the grid keeps its focused head in sight.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    FReplay->SeekTime(AEpisode.Start);
    // The head as the tree shows it at the start; the grid's focus follows the tree's.
    const QModelIndex head = FTree->model()->indexOf(AEpisode.HeadSPID);
    if (head.isValid()) {
        FTree->tree()->setCurrentIndex(head);
        FTree->tree()->scrollTo(head);
    }
    FHost.FocusSession(AEpisode.HeadSPID);
}
