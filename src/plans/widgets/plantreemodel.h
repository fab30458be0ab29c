#pragma once
// The operators of a plan as a tree, as DBAs read plans: each with its physical and
// logical operator, object, estimated and actual rows, how far the two are apart (marked
// when by more than ten times), its share of the statement's cost and its warnings; a
// tooltip with all its properties. The statements' roots are the top rows.

#include "plans/showplan.h"

#include <QAbstractItemModel>

class TPlanTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum TColumn {
        colOperator,
        colObject,
        colEstimated,
        colActual,
        colRatio,
        colCost,
        colWarnings,
        colCount
    };
    // The node's index into TShowPlan::Nodes.
    static constexpr int NodeRole = Qt::UserRole;

    explicit TPlanTreeModel(QObject* parent = nullptr);

    // ALive: counters of a running request, which may still grow.
    void setPlan(TShowPlan APlan, bool ALive);
    const TShowPlan& plan() const { return FPlan; }
    QModelIndex indexOfNode(int ANode) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    int nodeOf(const QModelIndex& index) const;
    QString text(int ANode, int AColumn) const;
    QString toolTip(int ANode) const;

    TShowPlan FPlan;
    bool FLive = false;
    QList<int> FRoots; // the statements' root operators
    QList<int> FRow;   // each node's row under its parent
};

// "×400" when more rows came than estimated, "÷500" when fewer; empty without counters.
QString RowsRatioText(const TPlanNode& ANode);
