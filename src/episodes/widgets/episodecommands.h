#pragma once
// The blocking episodes of the recording on show: "Эпизоды блокировок" (Ctrl+Shift+E) on
// the replay's bar opens their pane, and the time line marks them as bands. They are found
// off the window's thread when a recording opens and again when it grows. Choosing one, in
// the pane or on the time line, goes to its first snapshot with the blocking tree open and
// its head chosen in the tree and in the grid.

#include "episodes/blockingepisode.h"

#include <QObject>
#include <functional>

class QAction;
class QWidget;
class TBlockingPane;
class TEpisodePane;
class TEpisodeSearch;
class TReplay;

class TEpisodeCommands : public QObject {
    Q_OBJECT
public:
    struct THost {
        QAction* BlockingTree = nullptr; // the window's "Дерево блокировок"
        std::function<bool(int ASPID)> FocusSession; // false when the grid has no such row
    };
    // The pane is made hidden and without a parent: the window puts it into its layout.
    TEpisodeCommands(TReplay* AReplay, TBlockingPane* ATree, THost AHost, QObject* AParent);

    QAction* const actEpisodesPane;
    TEpisodePane* Pane() const { return FPane; }

    // Goes to the episode's start, the tree open on its head.
    void Go(const TBlockingEpisode& AEpisode);

private:
    void recordingChanged();
    void found(const std::vector<TBlockingEpisode>& AEpisodes);

    TReplay* FReplay;
    TBlockingPane* FTree;
    THost FHost;
    TEpisodePane* FPane;
    TEpisodeSearch* FSearch;
};
