#pragma once
// The blocking episodes of a recording as a table, one row each, in the order given. The
// display role holds the texts; SortRole the values to sort by, numbers as numbers and
// times as times, so that a sort proxy over it orders "10" after "9".

#include "episodes/blockingepisode.h"

#include <QAbstractTableModel>
#include <vector>

class TEpisodeListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn {
        Start,
        End,
        Duration,
        HeadSPID,
        Login,
        Host,
        Program,
        MostWaiting,
        AllWaiting,
        LongestWait,
        Resources,
        ColumnCount
    };
    static constexpr int SortRole = Qt::UserRole;

    explicit TEpisodeListModel(QObject* parent = nullptr);

    void setEpisodes(std::vector<TBlockingEpisode> AEpisodes);
    const std::vector<TBlockingEpisode>& episodes() const { return FEpisodes; }
    // The episode of a row of this model; null for a row it does not have.
    const TBlockingEpisode* episode(int ARow) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<TBlockingEpisode> FEpisodes;
};

// A span of milliseconds as the pane shows it: seconds with a tenth, "75,0".
QString EpisodeSecondsText(qint64 AMs);
