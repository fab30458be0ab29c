#include "estate/widgets/estatemodel.h"

#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"

#include <QBrush>
#include <QColor>
#include <QCoreApplication>
#include <QDateTime>
#include <algorithm>

namespace {

const QString kNone = QStringLiteral("—");

QVariant sortValue(const TServer& s, int column) {
    const TServerSummary& m = s.Summary;
    if (!m.Valid && column != TEstateModel::Name)
        return -1; // nothing known sorts below zero
    switch (column) {
    case TEstateModel::Sessions:
        return m.Sessions;
    case TEstateModel::Running:
        return m.Running;
    case TEstateModel::Blocked:
        return m.Blocked;
    case TEstateModel::LongestWait:
        return m.LongestWaitMs;
    case TEstateModel::CpuPerSec:
        return m.CpuPerSec;
    default:
        return s.Name;
    }
}

} // namespace

QString EstateCellText(const TServer& s, int column) {
    const TServerSummary& m = s.Summary;
    if (column == TEstateModel::Name || !m.Valid || s.State != stConnected)
        return column == TEstateModel::Name ? s.Name : kNone;
    switch (column) {
    case TEstateModel::Sessions:
        return QString::number(m.Sessions);
    case TEstateModel::Running:
        return QString::number(m.Running);
    case TEstateModel::Blocked:
        return QString::number(m.Blocked);
    case TEstateModel::LongestWait:
        return m.Blocked == 0 ? kNone : QString::number(double(m.LongestWaitMs) / 1000.0, 'f', 1);
    case TEstateModel::CpuPerSec:
        return m.CpuPerSec < 0 ? kNone : QString::number(qRound64(m.CpuPerSec));
    default:
        return {};
    }
}

QString EstateTooltip(const TServer& s, qint64 nowMs) {
    QStringList lines;
    if (!s.Version.isEmpty())
        lines << s.Version.section(QLatin1Char('\n'), 0, 0).trimmed();
    const TServerSummary& m = s.Summary;
    if (!m.Error.isEmpty())
        lines << QCoreApplication::translate("TEstateModel", "Сводка не получена: %1").arg(m.Error);
    else if (m.Valid && s.State == stConnected)
        lines << QCoreApplication::translate("TEstateModel", "Сводка получена %1 с назад за %2 мс")
                     .arg(std::max<qint64>(0, (nowMs - m.TakenAtMs) / 1000))
                     .arg(m.SampleMs);
    return lines.join(QLatin1Char('\n'));
}

TEstateModel::TEstateModel(TServerListModel* AList, QObject* parent)
    : QIdentityProxyModel(parent), FList(AList) {
    setSourceModel(AList);
    // The list tells of a changed name or state by its one column: the figures beside it
    // are drawn again with it.
    connect(AList, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                emit dataChanged(index(from.row(), 0), index(to.row(), ColumnCount - 1));
            });
}

int TEstateModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QModelIndex TEstateModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= ColumnCount)
        return {};
    return createIndex(row, column);
}

QModelIndex TEstateModel::parent(const QModelIndex&) const {
    return {};
}

QModelIndex TEstateModel::sibling(int row, int column, const QModelIndex&) const {
    return index(row, column);
}

QModelIndex TEstateModel::mapToSource(const QModelIndex& proxy) const {
    return proxy.isValid() ? FList->index(proxy.row(), 0) : QModelIndex();
}

QModelIndex TEstateModel::mapFromSource(const QModelIndex& source) const {
    return source.isValid() ? index(source.row(), source.column()) : QModelIndex();
}

Qt::ItemFlags TEstateModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

TServer* TEstateModel::server(int row) const {
    return FList->server(row);
}

void TEstateModel::refresh(const TServer* AServer) {
    const int row = FList->rowOf(AServer);
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

TEstateModel::TShown TEstateModel::shownOf(const TServer& AServer) const {
    TShown shown;
    for (int column = Sessions; column < ColumnCount; ++column)
        shown.Texts[std::size_t(column)] = EstateCellText(AServer, column);
    shown.Colour =
        AServer.State == stError ? 1
        : AServer.State == stConnected && EstateLevel(AServer.Summary) == TEstateLevel::Blocking
            ? 2
            : 0;
    return shown;
}

void TEstateModel::refreshAll() {
    QHash<const TServer*, TShown> shown;
    shown.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row) {
        const TServer* s = server(row);
        if (!s)
            continue;
        const TShown now = shownOf(*s);
        const auto before = FShown.constFind(s);
        if (before == FShown.cend() || before->Colour != now.Colour) {
            emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
        } else {
            // One cell at a time: a view redraws just the cell for a change of one, but its
            // whole viewport for a change of a range.
            for (int column = Sessions; column < ColumnCount; ++column)
                if (before->Texts[std::size_t(column)] != now.Texts[std::size_t(column)])
                    emit dataChanged(index(row, column), index(row, column));
        }
        shown.insert(s, now);
    }
    FShown.swap(shown);
}

QVariant TEstateModel::data(const QModelIndex& index, int role) const {
    const TServer* s = index.isValid() ? server(index.row()) : nullptr;
    if (!s)
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return column == Name ? FList->data(mapToSource(index), role) : EstateCellText(*s, column);
    case Qt::DecorationRole:
        return column == Name ? FList->data(mapToSource(index), role) : QVariant();
    case Qt::TextAlignmentRole:
        return column == Name ? QVariant() : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ToolTipRole: {
        const QString tip = EstateTooltip(*s, QDateTime::currentMSecsSinceEpoch());
        return tip.isEmpty() ? QVariant() : tip;
    }
    case Qt::BackgroundRole:
        if (s->State == stError)
            return QBrush(QColor(0xD8, 0xD8, 0xD8));
        if (s->State == stConnected && EstateLevel(s->Summary) == TEstateLevel::Blocking)
            return QBrush(QColor(0xFF, 0xAA, 0xFF)); // the grid's colour of blocked rows
        return {};
    case SortRole:
        return sortValue(*s, column);
    default:
        return column == Name ? FList->data(mapToSource(index), role) : QVariant();
    }
}

QVariant TEstateModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Name:
        return tr("Сервер");
    case Sessions:
        return tr("Сеансы");
    case Running:
        return tr("Запросы");
    case Blocked:
        return tr("Ждут");
    case LongestWait:
        return tr("Ожидание, с");
    case CpuPerSec:
        return tr("ЦП, мс/с");
    default:
        return {};
    }
}
