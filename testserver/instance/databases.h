#pragma once
// The databases of the instance and what each one's own catalog holds: schemas, tables,
// their indexes and partitions, which a lock's wait resource names. Not thread-safe: the
// Instance serialises every call.

#include "model.h"
#include "scripting.h"

#include <functional>
#include <vector>

namespace testserver {

class Databases {
public:
    // `clock` gives the creation times; it is read where they are written, as the
    // instance's clock may be replaced at any time.
    Databases(Model& model, const std::function<double()>& clock);

    // Returns the database's id. Throws std::invalid_argument for a rejected row (a name
    // or an id in use).
    int add(const ScriptedDatabase& database);
    // In one transaction; the schema is made when missing. Throws std::invalid_argument
    // for an unknown database.
    void addTable(const ScriptedTable& table);
    std::vector<LockTarget> lockTargets(int databaseId);

private:
    Model& model_;
    const std::function<double()>& clock_;
};

} // namespace testserver
