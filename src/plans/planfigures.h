#pragma once
// What a DBA reads off a plan first: how far the actual rows are from the estimate, each
// operator's share of the statement's cost, and the path down to the costliest one.

#include "plans/showplan.h"

#include <optional>

// Actual rows over the estimate for all executions, each taken as at least one row (an
// estimate of 0.3 rows against none is no error); none without counters.
std::optional<double> RowsRatio(const TPlanNode& ANode);
// Every execution of the operator has reached its end.
bool Finished(const TPlanNode& ANode);
// The estimate is off by more than ten times. In a live plan an operator still at work
// may yet reach its estimate, so there fewer rows count only once it has finished.
bool EstimateOff(const TPlanNode& ANode, bool ALive);
// The operator's own cost as a share (0 to 1) of its statement's.
double CostShare(const TShowPlan& APlan, int ANode);
// The operator with the greatest own cost in the statement; -1 when it has none.
int CostliestNode(const TShowPlan& APlan, int AStatement);
// The operators from the statement's root down to ANode, both included.
QList<int> PathTo(const TShowPlan& APlan, int ANode);
// The statement the plan is shown for: the last one with counters (in a live plan, the
// one running now) or else the costliest; -1 when no statement has operators.
int MainStatement(const TShowPlan& APlan);
