#pragma once
// Showplan XML as SQL Server 2019 and 2022 write it (namespace
// http://schemas.microsoft.com/sqlserver/2004/07/showplan), from a plain description of
// the operators: what the plan functions give for scripted requests and the demo's.
// Costs are worked out here as the optimizer reports them: an operator's subtree cost is
// its own estimate for all its executions plus its children's.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testserver {

struct PlanTable {
    std::string database;
    std::string schema = "dbo";
    std::string table;
    std::string index; // empty for a heap
};

struct PlanOperator {
    std::string physicalOp; // "Clustered Index Scan", "Hash Match", "Key Lookup", ...
    std::string logicalOp;  // "Clustered Index Scan", "Aggregate", "Inner Join", ...
    std::optional<PlanTable> object;
    double estimateRows = 1;       // per execution
    double estimateExecutions = 1; // rebinds and rewinds plus one
    double estimateCpu = 0.0001581;
    double estimateIo = 0;
    double avgRowSize = 11;
    int threads = 0; // the threads of a parallel zone it runs in; 0 when serial
    // Counters so far: the live form of a running request's plan. None in a compiled plan.
    std::optional<std::int64_t> actualRows;
    std::int64_t actualExecutions = 1;
    bool finished = false; // every execution has reached its end
    int spillLevel = 0;    // a hash or sort that spilled to tempdb at this level
    bool noJoinPredicate = false;
    std::vector<PlanOperator> children;
};

struct PlanMissingIndex {
    double impact = 0; // per cent of the statement's cost it would save
    PlanTable table;
    std::vector<std::string> equality;
    std::vector<std::string> inequality;
    std::vector<std::string> include;
};

struct PlanStatement {
    std::string text;
    std::string type = "SELECT";
    std::optional<PlanOperator> root; // none for a statement that compiles to no plan
    std::vector<PlanMissingIndex> missingIndexes;
    // Expressions whose implicit conversion kept the optimizer from a seek.
    std::vector<std::string> seekPlanConverts;
    int degreeOfParallelism = 1;
};

// The ShowPlanXML document of a batch's statements; `serverVersion` is @@VERSION, whose
// build number the document names.
std::string showplanXml(const std::vector<PlanStatement>& statements,
                        const std::string& serverVersion);

// An operator's subtree cost: its own estimate for all its executions plus its
// children's.
double subtreeCost(const PlanOperator& op);

} // namespace testserver
