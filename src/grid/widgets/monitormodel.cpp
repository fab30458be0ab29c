#include "grid/widgets/monitormodel.h"

#include "grid/celltext.h"
#include "grid/monitorcolumns.h"

namespace {
constexpr int kWaitResourceColumn = 27;
}

TMonitorModel::TMonitorModel(const TRecList& recList, QObject* parent)
    : QAbstractTableModel(parent), FRecList(recList) {}

int TMonitorModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FRowCount;
}

int TMonitorModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : MonitorColumnCount;
}

PMonitorRec TMonitorModel::record(int row) const {
    return row >= 0 && row < FRowCount && row < FRecList.size() ? FRecList[row] : nullptr;
}

QList<PMonitorRec> TMonitorModel::records() const {
    QList<PMonitorRec> rows;
    for (int row = 0; row < rowCount(); ++row)
        rows.append(record(row));
    return rows;
}

QVariant TMonitorModel::data(const QModelIndex& index, int role) const {
    const PMonitorRec rec = index.isValid() ? record(index.row()) : nullptr;
    if (!rec)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return CellText(*rec, index.column(), SystemThousandSeparator());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(MonitorColumns()[index.column()].Alignment | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (index.column() == kWaitResourceColumn && FResourceName &&
            !rec->WaitResource.isEmpty()) {
            const QString name = FResourceName(rec->WaitResource);
            if (!name.isEmpty())
                return name;
        }
        return {};
    default:
        return {};
    }
}

QVariant TMonitorModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= MonitorColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
    case Qt::DisplayRole:
        return FGrowth && IsRateColumn(section) ? GrowthCaption(section) : ColumnCaption(section);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

void TMonitorModel::setGrowthCaptions(bool AGrowth) {
    if (FGrowth == AGrowth)
        return;
    FGrowth = AGrowth;
    emit headerDataChanged(Qt::Horizontal, FirstRateColumn, MonitorColumnCount - 1);
}

void TMonitorModel::setRowCount(int n) {
    const int old = FRowCount;
    if (n < old) {
        beginRemoveRows({}, n, old - 1);
        FRowCount = n;
        endRemoveRows();
    } else if (n > old) {
        beginInsertRows({}, old, n - 1);
        FRowCount = n;
        endInsertRows();
    }
    const int kept = std::min(old, n);
    if (kept > 0)
        emit dataChanged(index(0, 0), index(kept - 1, MonitorColumnCount - 1));
}
