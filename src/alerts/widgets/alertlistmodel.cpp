#include "alerts/widgets/alertlistmodel.h"

#include <QBrush>
#include <QColor>
#include <QCoreApplication>
#include <QDateTime>

TAlertListModel::TAlertListModel(QObject* parent) : QAbstractTableModel(parent) {}

int TAlertListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FAlerts.size());
}

int TAlertListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

namespace {

QString timeText(qint64 AMs) {
    return QDateTime::fromMSecsSinceEpoch(AMs).toString(QStringLiteral("dd.MM HH:mm:ss"));
}

QString durationText(qint64 AMs) {
    const qint64 s = AMs / 1000;
    if (s < 60)
        return QCoreApplication::translate("TAlertListModel", "%1 с").arg(s);
    if (s < 3600)
        return QCoreApplication::translate("TAlertListModel", "%1 мин %2 с")
            .arg(s / 60)
            .arg(s % 60);
    return QCoreApplication::translate("TAlertListModel", "%1 ч %2 мин")
        .arg(s / 3600)
        .arg(s % 3600 / 60);
}

} // namespace

QVariant TAlertListModel::data(const QModelIndex& index, int role) const {
    const TAlert* a = index.isValid() ? alert(index.row()) : nullptr;
    if (!a)
        return {};
    if (role == Qt::BackgroundRole)
        return a->open() ? QVariant(QBrush(QColor(0xFF, 0xAA, 0xFF))) : QVariant();
    if (role == Qt::ToolTipRole)
        return AlertBodyText(*a);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Start:
        return timeText(a->StartMs);
    case End:
        return a->open() ? tr("идёт") : timeText(a->EndMs);
    case Duration:
        return a->open() ? QVariant() : durationText(a->EndMs - a->StartMs);
    case Server:
        return AlertPlainText(a->Server);
    case Rule:
        return AlertRuleCaptionOf(*a);
    case Subject:
        return AlertSubjectText(*a);
    default:
        return {};
    }
}

QVariant TAlertListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Start:
        return tr("Начало");
    case End:
        return tr("Конец");
    case Duration:
        return tr("Длительность");
    case Server:
        return tr("Сервер");
    case Rule:
        return tr("Правило");
    case Subject:
        return tr("О чём");
    default:
        return {};
    }
}

void TAlertListModel::raised(const TAlert& AAlert) {
    if (FAlerts.size() >= kMaxRows) {
        // The oldest that has ended makes room; open ones stay while they last.
        for (int row = 0; row < FAlerts.size(); ++row)
            if (!FAlerts[row].open()) {
                beginRemoveRows({}, row, row);
                FAlerts.removeAt(row);
                endRemoveRows();
                break;
            }
    }
    const int row = int(FAlerts.size());
    beginInsertRows({}, row, row);
    FAlerts.append(AAlert);
    endInsertRows();
}

void TAlertListModel::cleared(const TAlert& AAlert) {
    const int row = rowOf(AAlert.Id);
    if (row < 0)
        return;
    FAlerts[row] = AAlert;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

const TAlert* TAlertListModel::alert(int ARow) const {
    return ARow >= 0 && ARow < FAlerts.size() ? &FAlerts[ARow] : nullptr;
}

int TAlertListModel::rowOf(qint64 AId) const {
    for (int row = int(FAlerts.size()) - 1; row >= 0; --row)
        if (FAlerts[row].Id == AId)
            return row;
    return -1;
}
