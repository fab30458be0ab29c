#pragma once
// A query plan as SQL Server gives it (showplan XML, namespace
// http://schemas.microsoft.com/sqlserver/2004/07/showplan), read into plain values: its
// statements, each with its tree of operators, their estimates, the counters of a live
// plan, warnings and the missing indexes the optimizer names.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QXmlStreamAttributes>
#include <optional>

struct TPlanWarning {
    enum TKind {
        Spill,              // a sort, hash or exchange that went to tempdb
        NoJoinPredicate,    // a join of every row with every row
        ImplicitConversion, // a conversion that costs a seek or the estimate
        Other,              // memory grant, statistics missing, waits and the like
    };
    TKind Kind = Other;
    QString Text; // as the plan says it: element and attributes, in SQL Server's words
    bool operator==(const TPlanWarning&) const = default;
};

using TPlanProperties = QList<QPair<QString, QString>>;

struct TPlanNode {
    int Statement = -1; // index into TShowPlan::Statements
    int Parent = -1;    // index into TShowPlan::Nodes; -1 for a statement's root
    QList<int> Children;
    int Depth = 0; // 0 for a statement's root

    QString PhysicalOp; // "Key Lookup" for a seek of the clustered index by a lookup
    QString LogicalOp;
    QString Object;                // "Sales.dbo.Orders.IX_Orders_Customer", brackets dropped
    double EstimateRows = 0;       // per execution
    double EstimateExecutions = 1; // one plus the rebinds and rewinds
    double SubtreeCost = 0;        // EstimatedTotalSubtreeCost
    double OwnCost = 0;            // the subtree's cost less its children's

    // The counters of a plan with runtime information, summed over the threads.
    std::optional<qint64> ActualRows;
    qint64 ActualExecutions = 0;
    qint64 ActualEndOfScans = 0;

    QList<TPlanWarning> Warnings;
    // For its tooltip: the operator's attributes as the server wrote them (kept as read:
    // a plan of thousands of operators is not worth turning into strings up front), and
    // its counters summed over the threads.
    QXmlStreamAttributes Attributes;
    QList<QPair<QString, qint64>> Counters;

    double EstimatedRowsAllExecutions() const { return EstimateRows * EstimateExecutions; }
};

struct TMissingIndex {
    double Impact = 0; // per cent of the statement's cost
    QString Table;     // "Sales.dbo.Orders"
    QStringList Equality;
    QStringList Inequality;
    QStringList Include;
    bool operator==(const TMissingIndex&) const = default;
};

struct TPlanStatement {
    QString Text;
    QString Type;
    double Cost = 0; // StatementSubTreeCost, or its root's subtree cost
    int Root = -1;   // -1 for a statement without a plan (SET, a declaration)
    QList<TPlanWarning> Warnings;
    QList<TMissingIndex> MissingIndexes;
};

struct TShowPlan {
    QList<TPlanStatement> Statements;
    QList<TPlanNode> Nodes; // each node after its parent
    QString Error;          // why the text could not be read; empty when it could
};

// The operator's attributes, its object and its counters, in that order.
TPlanProperties PlanNodeProperties(const TPlanNode& ANode);

// Reads showplan XML. A text that is no well-formed XML, or no plan, gives Error and
// whatever was read before the fault.
TShowPlan ParseShowPlan(const QString& AXml);
