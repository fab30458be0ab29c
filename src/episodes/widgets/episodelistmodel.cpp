#include "episodes/widgets/episodelistmodel.h"

#include "replay/widgets/replaybar.h"

#include <QLocale>

TEpisodeListModel::TEpisodeListModel(QObject* parent) : QAbstractTableModel(parent) {}

void TEpisodeListModel::setEpisodes(std::vector<TBlockingEpisode> AEpisodes) {
    beginResetModel();
    FEpisodes = std::move(AEpisodes);
    endResetModel();
}

const TBlockingEpisode* TEpisodeListModel::episode(int ARow) const {
    return ARow >= 0 && ARow < int(FEpisodes.size()) ? &FEpisodes[std::size_t(ARow)] : nullptr;
}

int TEpisodeListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FEpisodes.size());
}

int TEpisodeListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString EpisodeSecondsText(qint64 AMs) {
    return QLocale::system().toString(double(AMs) / 1000.0, 'f', 1);
}

QVariant TEpisodeListModel::data(const QModelIndex& index, int role) const {
    const TBlockingEpisode* e = index.isValid() ? episode(index.row()) : nullptr;
    if (!e)
        return {};
    if (role == SortRole) {
        switch (index.column()) {
        case Start:
            return e->Start;
        case End:
            return e->End;
        case Duration:
            return e->Duration();
        case HeadSPID:
            return e->HeadSPID;
        case MostWaiting:
            return e->MostWaiting;
        case AllWaiting:
            return int(e->Waiters.size());
        case LongestWait:
            return e->LongestWait;
        default:
            break; // texts sort as they read
        }
        role = Qt::DisplayRole;
    }
    if (role == Qt::TextAlignmentRole) {
        switch (index.column()) {
        case Duration:
        case HeadSPID:
        case MostWaiting:
        case AllWaiting:
        case LongestWait:
            return int(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole) {
        if (index.column() == End && e->CutByGap)
            return tr("Эпизод прервался перерывом в записи: блокировка могла длиться и дальше");
        if (index.column() == Resources)
            return e->Resources.join(u'\n');
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Start:
        return ReplayTimeText(e->Start);
    case End:
        if (e->Open)
            return tr("идёт");
        return e->CutByGap ? tr("%1 (перерыв)").arg(ReplayTimeText(e->End))
                           : ReplayTimeText(e->End);
    case Duration:
        return EpisodeSecondsText(e->Duration());
    case HeadSPID:
        return e->HeadSPID;
    case Login:
        return e->HeadLogin;
    case Host:
        return e->HeadHost;
    case Program:
        return e->HeadProgram;
    case MostWaiting:
        return e->MostWaiting;
    case AllWaiting:
        return int(e->Waiters.size());
    case LongestWait:
        return EpisodeSecondsText(e->LongestWait);
    case Resources:
        return e->Resources.join(QStringLiteral(", "));
    default:
        return {};
    }
}

QVariant TEpisodeListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Start:
        return tr("Начало");
    case End:
        return tr("Конец");
    case Duration:
        return tr("Длительность, с");
    case HeadSPID:
        return tr("Головной SPID");
    case Login:
        return tr("Логин");
    case Host:
        return tr("Компьютер");
    case Program:
        return tr("Программа");
    case MostWaiting:
        return tr("Ждали сразу");
    case AllWaiting:
        return tr("Ждали всего");
    case LongestWait:
        return tr("Дольше всего, с");
    case Resources:
        return tr("Ресурсы");
    default:
        return {};
    }
}
