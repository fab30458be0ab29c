#include "showplan.h"

#include <cstdio>
#include <cstdlib>

namespace testserver {

namespace {

std::string escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        // Line breaks in attribute values are written as references, or a reader would
        // turn them into blanks.
        case '\r':
            out += "&#xD;";
            break;
        case '\n':
            out += "&#xA;";
            break;
        case '\t':
            out += "&#x9;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7g", v);
    return buf;
}

std::string bracketed(const std::string& name) {
    return "[" + name + "]";
}

class Writer {
public:
    explicit Writer(std::string& out) : out_(out) {}

    void statement(const PlanStatement& s, int id) {
        nodeId_ = 0;
        const double cost = s.root ? subtreeCost(*s.root) : 0;
        const double rows = s.root ? s.root->estimateRows : 0;
        out_ += "<StmtSimple StatementCompId=\"" + std::to_string(id) + "\" StatementEstRows=\"" +
                number(rows) + "\" StatementId=\"" + std::to_string(id) +
                "\" StatementOptmLevel=\"FULL\" CardinalityEstimationModelVersion=\"150\" "
                "StatementSubTreeCost=\"" +
                number(cost) + "\" StatementText=\"" + escaped(s.text) + "\" StatementType=\"" +
                escaped(s.type) + "\" RetrievedFromCache=\"true\">";
        if (s.root) {
            out_ += "<QueryPlan DegreeOfParallelism=\"" + std::to_string(s.degreeOfParallelism) +
                    "\" CachedPlanSize=\"40\" CompileTime=\"2\" CompileCPU=\"2\" "
                    "CompileMemory=\"312\">";
            missingIndexes(s.missingIndexes);
            if (!s.seekPlanConverts.empty()) {
                out_ += "<Warnings>";
                for (const auto& e : s.seekPlanConverts)
                    out_ += "<PlanAffectingConvert ConvertIssue=\"Seek Plan\" Expression=\"" +
                            escaped(e) + "\" />";
                out_ += "</Warnings>";
            }
            relOp(*s.root);
            out_ += "</QueryPlan>";
        }
        out_ += "</StmtSimple>";
    }

private:
    void missingIndexes(const std::vector<PlanMissingIndex>& groups) {
        if (groups.empty())
            return;
        out_ += "<MissingIndexes>";
        for (const auto& g : groups) {
            out_ += "<MissingIndexGroup Impact=\"" + number(g.impact) + "\"><MissingIndex " +
                    "Database=\"" + escaped(bracketed(g.table.database)) + "\" Schema=\"" +
                    escaped(bracketed(g.table.schema)) + "\" Table=\"" +
                    escaped(bracketed(g.table.table)) + "\">";
            int columnId = 1;
            const auto group = [&](const char* usage, const std::vector<std::string>& columns) {
                if (columns.empty())
                    return;
                out_ += std::string("<ColumnGroup Usage=\"") + usage + "\">";
                for (const auto& c : columns)
                    out_ += "<Column Name=\"" + escaped(bracketed(c)) + "\" ColumnId=\"" +
                            std::to_string(columnId++) + "\" />";
                out_ += "</ColumnGroup>";
            };
            group("EQUALITY", g.equality);
            group("INEQUALITY", g.inequality);
            group("INCLUDE", g.include);
            out_ += "</MissingIndex></MissingIndexGroup>";
        }
        out_ += "</MissingIndexes>";
    }

    void object(const PlanTable& t) {
        out_ += "<Object Database=\"" + escaped(bracketed(t.database)) + "\" Schema=\"" +
                escaped(bracketed(t.schema)) + "\" Table=\"" + escaped(bracketed(t.table)) + "\"";
        if (!t.index.empty())
            out_ += " Index=\"" + escaped(bracketed(t.index)) + "\"";
        out_ += " IndexKind=\"" +
                std::string(t.index.empty() ? "Heap"
                            : t.index.starts_with("PK_") || t.index.starts_with("CIX_")
                                ? "Clustered"
                                : "NonClustered") +
                "\" Storage=\"RowStore\" />";
    }

    void runTime(const PlanOperator& op) {
        if (!op.actualRows)
            return;
        out_ += "<RunTimeInformation>";
        // A parallel zone's rows are shared out among its threads; a serial operator runs
        // on thread 0.
        const int threads = op.threads > 0 ? op.threads : 1;
        for (int t = 0; t < threads; ++t) {
            const std::int64_t rows = *op.actualRows / threads + (t < *op.actualRows % threads);
            const std::int64_t executions = op.threads > 0 ? 1 : op.actualExecutions;
            out_ += "<RunTimeCountersPerThread Thread=\"" +
                    std::to_string(op.threads > 0 ? t + 1 : 0) + "\" ActualRows=\"" +
                    std::to_string(rows) + "\" ActualEndOfScans=\"" +
                    std::to_string(op.finished ? executions : 0) + "\" ActualExecutions=\"" +
                    std::to_string(executions) + "\" ActualExecutionMode=\"Row\" />";
        }
        out_ += "</RunTimeInformation>";
    }

    void warnings(const PlanOperator& op) {
        if (!op.spillLevel && !op.noJoinPredicate)
            return;
        out_ += "<Warnings";
        if (op.noJoinPredicate)
            out_ += " NoJoinPredicate=\"true\"";
        out_ += ">";
        if (op.spillLevel) {
            const int threads = op.threads > 0 ? op.threads : 1;
            out_ += "<SpillToTempDb SpillLevel=\"" + std::to_string(op.spillLevel) +
                    "\" SpilledThreadCount=\"" + std::to_string(threads) + "\" />";
            out_ +=
                std::string(op.physicalOp == "Sort" ? "<SortSpillDetails" : "<HashSpillDetails") +
                " GrantedMemoryKb=\"1024\" UsedMemoryKb=\"1024\" WritesToTempDb=\"" +
                std::to_string(400 * op.spillLevel) + "\" ReadsFromTempDb=\"" +
                std::to_string(400 * op.spillLevel) + "\" />";
        }
        out_ += "</Warnings>";
    }

    void children(const PlanOperator& op) {
        for (const auto& child : op.children)
            relOp(child);
    }

    // The element that says what the operator is, with what its kind requires.
    void body(const PlanOperator& op) {
        const std::string& p = op.physicalOp;
        if (p.find("Index Scan") != std::string::npos ||
            p.find("Index Seek") != std::string::npos || p == "Key Lookup") {
            out_ += std::string("<IndexScan") + (p == "Key Lookup" ? " Lookup=\"true\"" : "") +
                    " Ordered=\"" + (p.find("Scan") != std::string::npos ? "false" : "true") +
                    "\">";
            if (op.object)
                object(*op.object);
            out_ += "</IndexScan>";
        } else if (p == "Table Scan") {
            out_ += "<TableScan Ordered=\"false\">";
            if (op.object)
                object(*op.object);
            out_ += "</TableScan>";
        } else if (p.starts_with("Clustered Index ") || p.starts_with("Table ")) {
            out_ += "<Update>";
            if (op.object)
                object(*op.object);
            children(op);
            out_ += "</Update>";
        } else if (p == "Nested Loops") {
            out_ += "<NestedLoops Optimized=\"false\">";
            children(op);
            out_ += "</NestedLoops>";
        } else if (p == "Hash Match") {
            out_ += "<Hash>";
            children(op);
            out_ += "</Hash>";
        } else if (p == "Sort") {
            out_ += "<Sort Distinct=\"false\"><OrderBy><OrderByColumn Ascending=\"true\">"
                    "<ColumnReference Column=\"Expr1001\" /></OrderByColumn></OrderBy>";
            children(op);
            out_ += "</Sort>";
        } else if (p == "Filter") {
            out_ += "<Filter StartupExpression=\"false\">";
            children(op);
            out_ += "<Predicate><ScalarOperator ScalarString=\"[Expr1002]\"><Identifier>"
                    "<ColumnReference Column=\"Expr1002\" /></Identifier></ScalarOperator>"
                    "</Predicate></Filter>";
        } else {
            // Stream Aggregate, Compute Scalar, Parallelism, Top: one child and nothing
            // that must be said.
            const std::string element = p == "Stream Aggregate" ? "StreamAggregate"
                                        : p == "Compute Scalar" ? "ComputeScalar"
                                        : p == "Parallelism"    ? "Parallelism"
                                                                : "Top";
            out_ += "<" + element + ">";
            children(op);
            out_ += "</" + element + ">";
        }
    }

    void relOp(const PlanOperator& op) {
        const bool lookup = op.physicalOp == "Key Lookup";
        // A key lookup is a seek of the clustered index as the plan writes it.
        const std::string physical = lookup ? "Clustered Index Seek" : op.physicalOp;
        const std::string logical = lookup ? "Clustered Index Seek" : op.logicalOp;
        out_ += "<RelOp AvgRowSize=\"" + number(op.avgRowSize) + "\" EstimateCPU=\"" +
                number(op.estimateCpu) + "\" EstimateIO=\"" + number(op.estimateIo) +
                "\" EstimateRebinds=\"" + number(op.estimateExecutions - 1) +
                "\" EstimateRewinds=\"0\" EstimatedExecutionMode=\"Row\" EstimateRows=\"" +
                number(op.estimateRows) + "\" LogicalOp=\"" + escaped(logical) + "\" NodeId=\"" +
                std::to_string(nodeId_++) + "\" Parallel=\"" + (op.threads > 0 ? "true" : "false") +
                "\" PhysicalOp=\"" + escaped(physical) + "\" EstimatedTotalSubtreeCost=\"" +
                number(subtreeCost(op)) + "\"";
        if (op.object)
            out_ += " TableCardinality=\"" + number(op.estimateRows * 40) + "\"";
        out_ += "><OutputList />";
        warnings(op);
        runTime(op);
        body(op);
        out_ += "</RelOp>";
    }

    std::string& out_;
    int nodeId_ = 0;
};

// "15.0.4322.2" out of @@VERSION; the showplan schema's version follows the major one.
std::string buildOf(const std::string& version) {
    const std::size_t dash = version.find(" - ");
    if (dash == std::string::npos)
        return "15.0.4322.2";
    const std::size_t begin = dash + 3;
    const std::size_t end = version.find(' ', begin);
    return version.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

} // namespace

double subtreeCost(const PlanOperator& op) {
    double cost = (op.estimateCpu + op.estimateIo) * op.estimateExecutions;
    for (const auto& child : op.children)
        cost += subtreeCost(child);
    return cost;
}

std::string showplanXml(const std::vector<PlanStatement>& statements,
                        const std::string& serverVersion) {
    const std::string build = buildOf(serverVersion);
    const bool v2022 = std::atoi(build.c_str()) >= 16;
    std::string out = "<ShowPlanXML xmlns=\"http://schemas.microsoft.com/sqlserver/2004/07/"
                      "showplan\" Version=\"" +
                      std::string(v2022 ? "1.564" : "1.539") + "\" Build=\"" + build +
                      "\"><BatchSequence><Batch><Statements>";
    Writer writer(out);
    int id = 1;
    for (const auto& s : statements)
        writer.statement(s, id++);
    out += "</Statements></Batch></BatchSequence></ShowPlanXML>";
    return out;
}

} // namespace testserver
