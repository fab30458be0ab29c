#pragma once
// "Эпизоды блокировок": the pane below the grid listing the blocking episodes of the
// recording on show, sorted by a click on a column's header, with a line above them while
// they are being found or when finding them failed. A click or Enter on an episode asks
// to go to it.

#include "episodes/blockingepisode.h"

#include <QWidget>
#include <vector>

class QLabel;
class QSortFilterProxyModel;
class QTreeView;
class TEpisodeListModel;

class TEpisodePane : public QWidget {
    Q_OBJECT
public:
    explicit TEpisodePane(QWidget* parent = nullptr);

    void setEpisodes(std::vector<TBlockingEpisode> AEpisodes);
    // A line above the list; empty hides it.
    void setNotice(const QString& AText);

    TEpisodeListModel* model() const { return FModel; }
    QSortFilterProxyModel* sorted() const { return FSorted; }
    QTreeView* view() const { return FView; }
    QLabel* notice() const { return FNotice; }

signals:
    void episodeChosen(const TBlockingEpisode& AEpisode);

private:
    TEpisodeListModel* FModel;
    QSortFilterProxyModel* FSorted;
    QLabel* FNotice;
    QTreeView* FView;
};
