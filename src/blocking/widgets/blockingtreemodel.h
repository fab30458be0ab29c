#pragma once
// The blocking trees of the latest snapshot as an item model. Every snapshot is merged
// into the items there are (rows removed, inserted and changed, never a reset), so the
// view keeps what is expanded, selected and scrolled to.

#include "blocking/blockingforest.h"

#include <QAbstractItemModel>
#include <QFont>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

class TBlockingTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum TColumn {
        // What a head tells first, so that a narrow pane still shows it.
        colSPID,
        colWaiting,     // heads: sessions behind
        colLongestWait, // heads: the longest of their waits
        colNote,
        colLogin,
        colHost,
        colProgram,
        colStatus,
        colCommand,
        colOpenTran,
        colWaitType,
        colWaitTime,
        colWaitResource,
        colCount
    };
    // The name of a wait resource ("Sales.dbo.Orders (PK_Orders)"), or empty.
    using TResourceName = std::function<QString(const QString&)>;

    explicit TBlockingTreeModel(QObject* parent = nullptr);
    ~TBlockingTreeModel() override;

    void setResourceName(TResourceName AName) { FResourceName = std::move(AName); }
    void setForest(const TBlockingForest& AForest);
    // Names come after they were first asked for: every resource shown is asked again.
    void resourceNamesChanged();
    // The session of an item; 0 for none.
    int spidOf(const QModelIndex& AIndex) const;
    // Whether the session is in the snapshot (a filtered-out blocker is not).
    bool inSnapshot(const QModelIndex& AIndex) const;
    // The item of a session, searched from the heads down; invalid when there is none.
    QModelIndex indexOf(int ASPID) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct TValues;
    struct TItem;
    void merge(TItem& AItem, const QModelIndex& AIndex, const TBlockingForest& AForest,
               const QList<int>& ANodes);
    std::unique_ptr<TItem> build(TItem* AParent, const TBlockingForest& AForest, int ANode) const;
    // Columns from First to Last; empty when Last < First.
    struct TSpan {
        int First = colCount, Last = -1;
        void add(int AColumn) {
            First = std::min(First, AColumn);
            Last = std::max(Last, AColumn);
        }
        bool empty() const { return Last < First; }
    };
    // Sets what an item shows from its node; the columns that changed.
    TSpan fill(TItem& AItem, const TBlockingNode& ANode, bool AHead) const;
    static QString text(const TItem& AItem, int AColumn);
    TItem* itemOf(const QModelIndex& AIndex) const;
    void rename(TItem& AItem, const QModelIndex& AIndex);
    QModelIndex indexOfItem(const TItem* AItem, int AColumn) const;

    std::unique_ptr<TItem> FRoot;
    QFont FHeadFont; // heads are bold
    TResourceName FResourceName;
};
