#include "demo_plans.h"

#include <cctype>
#include <cmath>

namespace testserver {

namespace {

// The name that follows the first of the keywords, as schema and table.
std::optional<PlanTable> tableAfter(const std::string& text, const std::string& database,
                                    std::initializer_list<const char*> keywords) {
    for (const char* keyword : keywords) {
        const std::size_t at = text.find(keyword);
        if (at == std::string::npos)
            continue;
        std::size_t i = at + std::char_traits<char>::length(keyword);
        std::string name;
        for (; i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])) &&
               text[i] != '(' && text[i] != ',';
             ++i)
            if (text[i] != '"' && text[i] != '[' && text[i] != ']')
                name += text[i];
        if (name.empty() || name[0] == '@')
            continue;
        PlanTable t{database, "dbo", name, ""};
        if (name[0] == '#')
            t.database = "tempdb";
        const std::size_t dot = name.rfind('.');
        if (dot != std::string::npos) {
            t.table = name.substr(dot + 1);
            std::string rest = name.substr(0, dot);
            const std::size_t second = rest.rfind('.');
            t.schema = second == std::string::npos ? rest : rest.substr(second + 1);
            if (second != std::string::npos)
                t.database = rest.substr(0, second);
        }
        return t;
    }
    return std::nullopt;
}

// The first column the WHERE clause names, without its table's alias.
std::string filterColumn(const std::string& text) {
    const std::size_t at = text.find("WHERE ");
    if (at == std::string::npos)
        return "Id";
    std::string column;
    for (std::size_t i = at + 6; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            column.clear();
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
            column += c;
        } else {
            break;
        }
    }
    return column.empty() ? "Id" : column;
}

PlanTable withIndex(PlanTable t, const std::string& index) {
    t.index = index;
    return t;
}

PlanOperator op(const std::string& physical, const std::string& logical, double rows, double cpu,
                double io) {
    PlanOperator o;
    o.physicalOp = physical;
    o.logicalOp = logical;
    o.estimateRows = rows;
    o.estimateCpu = cpu;
    o.estimateIo = io;
    return o;
}

// The rows an operator has produced so far of those it will produce; `lead`: how much
// sooner than the statement it is done (a hash join's build side, a scan under a sort).
void count(PlanOperator& o, double finalRows, std::optional<double> done, double lead = 0) {
    if (!done)
        return;
    const double part = std::min(1.0, *done * (1 + lead));
    o.actualRows = static_cast<std::int64_t>(std::floor(finalRows * part));
    o.finished = part >= 1;
}

} // namespace

PlanStatement demoPlan(const DemoStatement& statement, const std::string& database,
                       std::optional<double> done) {
    PlanStatement s;
    s.text = statement.text;
    s.type = statement.command;
    const std::string& text = statement.text;
    const auto table = tableAfter(text, database, {"INTO ", "UPDATE ", "DELETE FROM ", "FROM "});
    if (!table)
        return s;
    const std::string name = table->table;
    switch (statement.load) {
    case DemoLoad::Cpu: {
        PlanOperator seek = op("Index Seek", "Index Seek", 12, 0.0001702, 0.003125);
        seek.object = withIndex(*table, "IX_" + name + "_" + filterColumn(text));
        count(seek, 14, done, 0.5);
        PlanOperator lookup = op("Key Lookup", "Key Lookup", 1, 0.0001581, 0.003125);
        lookup.object = withIndex(*table, "PK_" + name);
        lookup.estimateExecutions = 12;
        count(lookup, 14, done);
        lookup.actualExecutions = lookup.actualRows.value_or(1);
        PlanOperator loops = op("Nested Loops", "Inner Join", 12, 0.0000502, 0);
        loops.children = {seek, lookup};
        count(loops, 14, done);
        s.root = loops;
        break;
    }
    case DemoLoad::Read:
    case DemoLoad::Network: {
        // The optimizer expects a few hundred rows and reads tens of thousands: the
        // estimate off by far more than ten times, and the index that would help.
        PlanOperator scan = op("Clustered Index Scan", "Clustered Index Scan", 900, 0.0551, 4.21);
        scan.object = withIndex(*table, "PK_" + name);
        count(scan, statement.load == DemoLoad::Read ? 48000 : 900, done);
        PlanOperator sort = op("Sort", "Sort", 900, 0.0212, 0.0112);
        sort.children = {scan};
        count(sort, statement.load == DemoLoad::Read ? 48000 : 900, done, -0.2);
        s.root = sort;
        if (statement.load == DemoLoad::Read)
            s.missingIndexes = {{78.31, *table, {filterColumn(text)}, {}, {}}};
        break;
    }
    case DemoLoad::Parallel: {
        PlanOperator big = op("Clustered Index Scan", "Clustered Index Scan", 2400000, 1.32, 118.4);
        big.object = withIndex(*table, "PK_" + name);
        big.threads = 4;
        count(big, 2600000, done);
        const auto second = tableAfter(text, database, {"JOIN "}).value_or(*table);
        PlanOperator small = op("Index Scan", "Index Scan", 5000, 0.0056, 0.31);
        small.object = withIndex(second, "IX_" + second.table + "_Key");
        small.threads = 4;
        count(small, 5000, done, 3);
        PlanOperator join = op("Hash Match", "Inner Join", 2400000, 9.8, 0);
        join.threads = 4;
        join.children = {small, big};
        count(join, 2600000, done);
        PlanOperator aggregate = op("Hash Match", "Aggregate", 1200, 31.6, 0);
        aggregate.threads = 4;
        aggregate.spillLevel = 1;
        aggregate.children = {join};
        count(aggregate, 0, done);
        PlanOperator gather = op("Parallelism", "Gather Streams", 1200, 0.0284, 0);
        gather.children = {aggregate};
        count(gather, 0, done);
        s.root = gather;
        s.degreeOfParallelism = 4;
        break;
    }
    case DemoLoad::Write: {
        const bool insert = text.starts_with("INSERT");
        const bool remove = text.starts_with("DELETE");
        PlanOperator read = op("Index Seek", "Index Seek", 40, 0.0001981, 0.003125);
        read.object = withIndex(*table, "IX_" + name + "_" + filterColumn(text));
        count(read, 40, done, 0.5);
        PlanOperator compute = op("Compute Scalar", "Compute Scalar", 40, 0.000004, 0);
        compute.children = {read};
        count(compute, 40, done, 0.5);
        PlanOperator write = op(insert   ? "Clustered Index Insert"
                                : remove ? "Clustered Index Delete"
                                         : "Clustered Index Update",
                                insert   ? "Insert"
                                : remove ? "Delete"
                                         : "Update",
                                40, 0.00004, 0.0232);
        write.object = withIndex(*table, "PK_" + name);
        write.children = {compute};
        count(write, 40, done);
        s.root = write;
        break;
    }
    default: // BACKUP, DBCC, WAITFOR, BEGIN and COMMIT compile to no plan
        break;
    }
    return s;
}

} // namespace testserver
