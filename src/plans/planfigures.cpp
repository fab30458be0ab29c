#include "plans/planfigures.h"

#include <algorithm>

std::optional<double> RowsRatio(const TPlanNode& ANode) {
    if (!ANode.ActualRows)
        return std::nullopt;
    const double actual = std::max<double>(1, static_cast<double>(*ANode.ActualRows));
    const double estimated = std::max(1.0, ANode.EstimatedRowsAllExecutions());
    return actual / estimated;
}

bool Finished(const TPlanNode& ANode) {
    return ANode.ActualExecutions > 0 && ANode.ActualEndOfScans >= ANode.ActualExecutions;
}

bool EstimateOff(const TPlanNode& ANode, bool ALive) {
    const std::optional<double> ratio = RowsRatio(ANode);
    if (!ratio)
        return false;
    if (*ratio > 10)
        return true;
    return *ratio < 0.1 && (!ALive || Finished(ANode));
}

double CostShare(const TShowPlan& APlan, int ANode) {
    const TPlanNode& n = APlan.Nodes[ANode];
    const double total = n.Statement >= 0 ? APlan.Statements[n.Statement].Cost : 0;
    return total > 0 ? std::min(1.0, n.OwnCost / total) : 0;
}

int CostliestNode(const TShowPlan& APlan, int AStatement) {
    int best = -1;
    for (int i = 0; i < APlan.Nodes.size(); ++i)
        if (APlan.Nodes[i].Statement == AStatement &&
            (best < 0 || APlan.Nodes[i].OwnCost > APlan.Nodes[best].OwnCost))
            best = i;
    return best;
}

QList<int> PathTo(const TShowPlan& APlan, int ANode) {
    QList<int> path;
    for (int n = ANode; n >= 0; n = APlan.Nodes[n].Parent)
        path.prepend(n);
    return path;
}

int MainStatement(const TShowPlan& APlan) {
    int running = -1;
    int costliest = -1;
    for (int s = 0; s < APlan.Statements.size(); ++s) {
        const int root = APlan.Statements[s].Root;
        if (root < 0)
            continue;
        if (APlan.Nodes[root].ActualRows)
            running = s;
        if (costliest < 0 || APlan.Statements[s].Cost > APlan.Statements[costliest].Cost)
            costliest = s;
    }
    return running >= 0 ? running : costliest;
}
