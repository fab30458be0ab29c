#include "servers/widgets/serverlistmodel.h"

#include "resources/imagelists.h"
#include "servers/server.h"

#include <algorithm>

TServerListModel::TServerListModel(QObject* parent) : QAbstractListModel(parent) {}

TServerListModel::~TServerListModel() = default;

int TServerListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FServers.size());
}

QVariant TServerListModel::data(const QModelIndex& index, int role) const {
    const TServer* s = index.isValid() ? server(index.row()) : nullptr;
    if (!s)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return s->Name.isEmpty() ? tr("<не указано>") : s->Name;
    case Qt::DecorationRole:
        return s->OpenAlerts > 0 ? AlertMarked(MainImageList(static_cast<int>(s->State)))
                                 : MainImageList(static_cast<int>(s->State));
    case Qt::UserRole:
        return static_cast<int>(s->State);
    default:
        return {};
    }
}

Qt::ItemFlags TServerListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

TServer* TServerListModel::server(int row) const {
    return row >= 0 && row < rowCount() ? FServers[row].get() : nullptr;
}

int TServerListModel::rowOf(const TServer* s) const {
    for (size_t i = 0; i < FServers.size(); ++i)
        if (FServers[i].get() == s)
            return static_cast<int>(i);
    return -1;
}

TServer* TServerListModel::append(std::unique_ptr<TServer> s) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    FServers.push_back(std::move(s));
    endInsertRows();
    return FServers.back().get();
}

void TServerListModel::remove(int row) {
    if (!server(row))
        return;
    beginRemoveRows({}, row, row);
    std::unique_ptr<TServer> gone = std::move(FServers[row]);
    FServers.erase(FServers.begin() + row);
    endRemoveRows();
}

void TServerListModel::move(int from, int to) {
    if (!server(from) || !server(to) || from == to)
        return;
    // beginMoveRows names the row the moved one goes before, in the old numbering.
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    std::unique_ptr<TServer> moving = std::move(FServers[from]);
    FServers.erase(FServers.begin() + from);
    FServers.insert(FServers.begin() + to, std::move(moving));
    endMoveRows();
}

void TServerListModel::sortByOrder() {
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<TServer*> old;
    for (const auto& s : FServers)
        old.push_back(s.get());
    std::stable_sort(FServers.begin(), FServers.end(),
                     [](const auto& a, const auto& b) { return a->Order < b->Order; });
    for (const QModelIndex& i : before)
        changePersistentIndex(i, index(rowOf(old[i.row()])));
    emit layoutChanged();
}

void TServerListModel::refresh(int row) {
    if (server(row))
        emit dataChanged(index(row), index(row));
}
