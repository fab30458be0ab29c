#include "databases.h"

#include "scripted_rows.h"

#include <algorithm>
#include <stdexcept>

namespace testserver {

namespace {

Value num(std::int64_t v) {
    return Value(v);
}

} // namespace

Databases::Databases(Model& model, const std::function<double()>& clock)
    : model_(model), clock_(clock) {}

int Databases::add(const ScriptedDatabase& s) {
    const int id = s.databaseId ? s.databaseId : model_.nextDatabaseId();
    try {
        model_.insert(model_.catalog().databases(), databaseRow(s, id, clock_()));
    } catch (const std::runtime_error& e) {
        throw std::invalid_argument(std::string("database rejected: ") + e.what());
    }
    return id;
}

void Databases::addTable(const ScriptedTable& t) {
    const auto db = model_.databaseId(t.database);
    if (!db)
        throw std::invalid_argument("no database " + t.database);
    const Catalog& catalog = model_.catalog();
    model_.transaction([&] {
        auto schemaId = model_.scalar("SELECT schema_id FROM schemas WHERE db = ? AND name = ?",
                                      {num(*db), Value(t.schema)});
        if (!schemaId || std::holds_alternative<std::monostate>(*schemaId)) {
            // dbo is schema 1, as in every database; others follow.
            const auto last =
                model_.scalar("SELECT max(schema_id) FROM schemas WHERE db = ?", {num(*db)});
            const std::int64_t next =
                t.schema == "dbo"
                    ? 1
                    : std::max<std::int64_t>(5, last && std::holds_alternative<std::int64_t>(*last)
                                                    ? std::get<std::int64_t>(*last) + 1
                                                    : 5);
            model_.insert(catalog.schemas(),
                          {{"db", num(*db)}, {"name", Value(t.schema)}, {"schema_id", num(next)}});
            schemaId = num(next);
        }
        model_.insert(catalog.sysObjects(), {{"db", num(*db)},
                                             {"name", Value(t.name)},
                                             {"object_id", num(t.objectId)},
                                             {"schema_id", *schemaId},
                                             {"create_date", Value(clock_() - 200)},
                                             {"modify_date", Value(clock_() - 20)}});
        for (const ScriptedIndex& i : t.indexes) {
            const bool heap = i.indexId == 0;
            model_.insert(catalog.indexes(),
                          {{"db", num(*db)},
                           {"object_id", num(t.objectId)},
                           {"name", i.name ? Value(*i.name) : Value()},
                           {"index_id", num(i.indexId)},
                           {"type", num(heap             ? 0
                                        : i.indexId == 1 ? 1
                                                         : 2)},
                           {"type_desc", Value(std::string(heap             ? "HEAP"
                                                           : i.indexId == 1 ? "CLUSTERED"
                                                                            : "NONCLUSTERED"))},
                           {"is_unique", num(i.unique)},
                           {"is_primary_key", num(i.primaryKey)}});
            model_.insert(catalog.partitions(), {{"db", num(*db)},
                                                 {"partition_id", num(i.hobtId)},
                                                 {"object_id", num(t.objectId)},
                                                 {"index_id", num(i.indexId)},
                                                 {"hobt_id", num(i.hobtId)},
                                                 {"rows", num(i.rows)}});
        }
    });
}

std::vector<LockTarget> Databases::lockTargets(int databaseId) {
    std::vector<LockTarget> out;
    auto& st = model_.db().statement(
        "SELECT object_id, hobt_id FROM partitions WHERE db = ? ORDER BY object_id, index_id");
    st.bindInt(1, databaseId);
    while (st.step()) {
        const int object = static_cast<int>(st.intAt(0));
        if (out.empty() || out.back().objectId != object)
            out.push_back({object, {}});
        out.back().hobtIds.push_back(st.intAt(1));
    }
    st.reset();
    return out;
}

} // namespace testserver
