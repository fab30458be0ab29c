#include "blocking/widgets/blockingtreemodel.h"

#include "grid/celltext.h"
#include "grid/monitorcolumns.h"

#include <QBrush>
#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <algorithm>

// What an item shows, kept as values: an arrival compares them, and only the rows the
// view paints are turned into text.
struct TBlockingTreeModel::TValues {
    QString Login, Host, Program, Status, Command, WaitType, WaitResource;
    qint32 WaitTime = 0;
    qint32 OpenTran = 0;
    int Waiting = -1; // -1: not a head
    qint32 LongestWait = 0;
    enum class TNote : quint8 { None, NotInFilter, InCycle, SleepingInTransaction } Note{};
};

struct TBlockingTreeModel::TItem {
    int SPID = 0;
    int Row = 0; // among its parent's children, kept as they come and go
    TValues Values;
    QString ResourceName; // of Values.WaitResource, asked for when it changes
    TItem* Parent = nullptr;
    std::vector<std::unique_ptr<TItem>> Children;

    void renumber(std::size_t AFrom) {
        for (std::size_t i = AFrom; i < Children.size(); ++i)
            Children[i]->Row = int(i);
    }
};

TBlockingTreeModel::TBlockingTreeModel(QObject* parent)
    : QAbstractItemModel(parent), FRoot(std::make_unique<TItem>()) {
    FHeadFont.setBold(true);
}

TBlockingTreeModel::~TBlockingTreeModel() = default;

QString TBlockingTreeModel::text(const TItem& AItem, int AColumn) {
    const TValues& v = AItem.Values;
    const QString& sep = SystemThousandSeparator();
    const bool shown = v.Note != TValues::TNote::NotInFilter;
    switch (AColumn) {
    case colSPID:
        return QString::number(AItem.SPID);
    case colLogin:
        return v.Login;
    case colHost:
        return v.Host;
    case colProgram:
        return v.Program;
    case colStatus:
        return v.Status;
    case colCommand:
        return v.Command;
    case colWaitType:
        return v.WaitType;
    case colWaitTime:
        return v.WaitType.isEmpty() ? QString() : GroupedText(v.WaitTime, sep);
    case colWaitResource:
        return AItem.ResourceName.isEmpty() ? v.WaitResource : AItem.ResourceName;
    case colOpenTran:
        return shown ? QString::number(v.OpenTran) : QString();
    case colWaiting:
        return v.Waiting >= 0 ? QString::number(v.Waiting) : QString();
    case colLongestWait:
        return v.Waiting >= 0 ? GroupedText(v.LongestWait, sep) : QString();
    case colNote:
        switch (v.Note) {
        case TValues::TNote::NotInFilter:
            return QCoreApplication::translate("TBlockingTreeModel", "не входит в текущий фильтр");
        case TValues::TNote::InCycle:
            return QCoreApplication::translate("TBlockingTreeModel",
                                               "сеансы ждут друг друга по кругу");
        case TValues::TNote::SleepingInTransaction:
            return QCoreApplication::translate("TBlockingTreeModel", "спит с открытой транзакцией");
        case TValues::TNote::None:
            break;
        }
        return QString();
    default:
        return QString();
    }
}

void TBlockingTreeModel::setForest(const TBlockingForest& AForest) {
    merge(*FRoot, QModelIndex(), AForest, AForest.Heads);
}

void TBlockingTreeModel::resourceNamesChanged() {
    rename(*FRoot, QModelIndex());
}

void TBlockingTreeModel::rename(TItem& AItem, const QModelIndex& AIndex) {
    for (const std::unique_ptr<TItem>& child : AItem.Children) {
        const QModelIndex index = this->index(child->Row, colWaitResource, AIndex);
        const QString& resource = child->Values.WaitResource;
        if (FResourceName && !resource.isEmpty()) {
            const QString name = FResourceName(resource);
            if (name != child->ResourceName) {
                child->ResourceName = name;
                emit dataChanged(index, index);
            }
        }
        rename(*child, index.siblingAtColumn(0));
    }
}

TBlockingTreeModel::TSpan TBlockingTreeModel::fill(TItem& AItem, const TBlockingNode& ANode,
                                                   bool AHead) const {
    using TNote = TValues::TNote;
    TValues& v = AItem.Values;
    TSpan changed;
    // Compared field by field against the record: most arrivals change a wait time or two.
    const auto set = [&changed](auto& field, const auto& value, int column) {
        if (field == value)
            return;
        field = value;
        changed.add(column);
    };
    static const QString none;
    const TMonitorRec* r = ANode.Rec;
    const TNote note = !r                            ? TNote::NotInFilter
                       : ANode.InCycle               ? TNote::InCycle
                       : ANode.SleepingInTransaction ? TNote::SleepingInTransaction
                                                     : TNote::None;
    if (note != v.Note) { // the row's colour and its open transactions change with it
        v.Note = note;
        changed.add(0);
        changed.add(colCount - 1);
    }
    set(v.Login, r ? r->Login : none, colLogin);
    set(v.Host, r ? r->Host : none, colHost);
    set(v.Program, r ? r->ProgName : none, colProgram);
    set(v.Status, r ? r->Status : none, colStatus);
    set(v.Command, r ? r->Command : none, colCommand);
    if (v.WaitType != (r ? r->WaitType : none))
        changed.add(colWaitTime); // shown only with a wait type
    set(v.WaitType, r ? r->WaitType : none, colWaitType);
    set(v.WaitTime, r ? r->WaitTime : 0, colWaitTime);
    set(v.OpenTran, r ? r->OpenTran : 0, colOpenTran);
    set(v.Waiting, AHead ? ANode.Waiting : -1, colWaiting);
    set(v.LongestWait, AHead ? ANode.LongestWait : 0, colLongestWait);
    const QString& resource = r ? r->WaitResource : none;
    if (v.WaitResource != resource) {
        v.WaitResource = resource;
        AItem.ResourceName =
            FResourceName && !resource.isEmpty() ? FResourceName(resource) : QString();
        changed.add(colWaitResource);
    }
    return changed;
}

// A new item with its whole subtree, built before the model announces it: a chain that
// forms arrives in the view as one insertion.
std::unique_ptr<TBlockingTreeModel::TItem>
TBlockingTreeModel::build(TItem* AParent, const TBlockingForest& AForest, int ANode) const {
    const TBlockingNode& node = AForest.Nodes[ANode];
    auto item = std::make_unique<TItem>();
    item->SPID = node.SPID;
    item->Parent = AParent;
    fill(*item, node, AParent == FRoot.get());
    for (int child : node.Children)
        item->Children.push_back(build(item.get(), AForest, child));
    item->renumber(0);
    return item;
}

// Both lists are in SPID order: the items that stay are a subsequence of the new nodes, so
// removing the gone ones and inserting the new ones in place lines them up. Neighbouring
// rows go and come in one notification each, so a big change costs the view little.
void TBlockingTreeModel::merge(TItem& AItem, const QModelIndex& AIndex,
                               const TBlockingForest& AForest, const QList<int>& ANodes) {
    auto& items = AItem.Children;
    const auto spidAt = [&](qsizetype n) { return AForest.Nodes[ANodes[n]].SPID; };
    std::vector<bool> kept(items.size());
    for (std::size_t i = 0, n = 0; i < items.size(); ++i) {
        while (n < std::size_t(ANodes.size()) && spidAt(qsizetype(n)) < items[i]->SPID)
            ++n;
        kept[i] = n < std::size_t(ANodes.size()) && spidAt(qsizetype(n)) == items[i]->SPID;
    }
    for (int last = int(items.size()) - 1; last >= 0;) {
        if (kept[std::size_t(last)]) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && !kept[std::size_t(first - 1)])
            --first;
        beginRemoveRows(AIndex, first, last);
        items.erase(items.begin() + first, items.begin() + last + 1);
        AItem.renumber(std::size_t(first));
        endRemoveRows();
        last = first - 1;
    }
    // Changed neighbours are told of together: the view works out one rectangle for them.
    int runFirst = -1, runLast = -1;
    TSpan runSpan;
    const auto flush = [&] {
        if (runFirst >= 0)
            emit dataChanged(index(runFirst, runSpan.First, AIndex),
                             index(runLast, runSpan.Last, AIndex));
        runFirst = runLast = -1;
        runSpan = {};
    };
    for (int row = 0; row < ANodes.size();) {
        if (std::size_t(row) < items.size() && items[std::size_t(row)]->SPID == spidAt(row)) {
            TItem& item = *items[std::size_t(row)];
            const TBlockingNode& node = AForest.Nodes[ANodes[row]];
            const TSpan changed = fill(item, node, &AItem == FRoot.get());
            if (!changed.empty()) {
                if (runLast != row - 1)
                    flush();
                if (runFirst < 0)
                    runFirst = row;
                runLast = row;
                runSpan.add(changed.First);
                runSpan.add(changed.Last);
            }
            merge(item, index(row, 0, AIndex), AForest, node.Children);
            ++row;
            continue;
        }
        flush();
        const int next = std::size_t(row) < items.size() ? items[std::size_t(row)]->SPID : -1;
        int end = row;
        while (end < ANodes.size() && spidAt(end) != next)
            ++end;
        beginInsertRows(AIndex, row, end - 1);
        std::vector<std::unique_ptr<TItem>> fresh;
        for (int n = row; n < end; ++n)
            fresh.push_back(build(&AItem, AForest, ANodes[n]));
        items.insert(items.begin() + row, std::make_move_iterator(fresh.begin()),
                     std::make_move_iterator(fresh.end()));
        AItem.renumber(std::size_t(row));
        endInsertRows();
        row = end;
    }
    flush();
}

TBlockingTreeModel::TItem* TBlockingTreeModel::itemOf(const QModelIndex& AIndex) const {
    return AIndex.isValid() ? static_cast<TItem*>(AIndex.internalPointer()) : FRoot.get();
}

QModelIndex TBlockingTreeModel::indexOfItem(const TItem* AItem, int AColumn) const {
    if (!AItem || AItem == FRoot.get())
        return {};
    return createIndex(AItem->Row, AColumn, const_cast<TItem*>(AItem));
}

QModelIndex TBlockingTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const TItem* p = itemOf(parent);
    if (row < 0 || column < 0 || column >= colCount || std::size_t(row) >= p->Children.size())
        return {};
    return createIndex(row, column, p->Children[std::size_t(row)].get());
}

QModelIndex TBlockingTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    return indexOfItem(itemOf(child)->Parent, 0);
}

int TBlockingTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return int(itemOf(parent)->Children.size());
}

int TBlockingTreeModel::columnCount(const QModelIndex&) const {
    return colCount;
}

QVariant TBlockingTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const TItem* item = itemOf(index);
    switch (role) {
    case Qt::DisplayRole:
        return text(*item, index.column());
    case Qt::TextAlignmentRole: {
        const bool number = index.column() == colSPID || index.column() == colWaitTime ||
                            index.column() == colOpenTran || index.column() == colWaiting ||
                            index.column() == colLongestWait;
        return QVariant::fromValue((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    case Qt::ForegroundRole:
        if (item->Values.Note == TValues::TNote::NotInFilter)
            return QBrush(QColor(0x80, 0x80, 0x80));
        if (item->Values.Note != TValues::TNote::None && index.column() == colNote)
            return QBrush(QColor(0xC0, 0x00, 0x00));
        return {};
    case Qt::FontRole:
        return item->Parent == FRoot.get() ? QVariant(FHeadFont) : QVariant();
    default:
        return {};
    }
}

int TBlockingTreeModel::spidOf(const QModelIndex& AIndex) const {
    return AIndex.isValid() ? itemOf(AIndex)->SPID : 0;
}

bool TBlockingTreeModel::inSnapshot(const QModelIndex& AIndex) const {
    return AIndex.isValid() && itemOf(AIndex)->Values.Note != TValues::TNote::NotInFilter;
}

QModelIndex TBlockingTreeModel::indexOf(int ASPID) const {
    const auto find = [&](auto&& self, const TItem& item) -> const TItem* {
        for (const auto& child : item.Children) {
            if (child->SPID == ASPID)
                return child.get();
            if (const TItem* deeper = self(self, *child))
                return deeper;
        }
        return nullptr;
    };
    return indexOfItem(find(find, *FRoot), 0);
}

QVariant TBlockingTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case colWaiting:
        return QCoreApplication::translate("TBlockingTreeModel", "Waiting");
    case colLongestWait:
        return QCoreApplication::translate("TBlockingTreeModel", "Longest Wait");
    case colNote:
        return QCoreApplication::translate("TBlockingTreeModel", "Note");
    default: {
        // The grid's captions where the tree shows the same thing.
        static constexpr int gridColumn[colCount] = {0, -1, -1, -1, 1, 11, 5, 2, 3, 24, 25, 26, 27};
        return section >= 0 && section < colCount ? ColumnCaption(gridColumn[section]) : QVariant();
    }
    }
}
