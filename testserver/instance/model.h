#pragma once
// The instance's state as SQLite tables, one per impersonated object (see Catalog),
// plus the input buffers. Not thread-safe: the Instance serialises every call.

#include "catalog.h"
#include "sqlite_db.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testserver {

using ColumnValues = std::vector<std::pair<std::string, Value>>;
using Bytes = std::vector<std::uint8_t>;

struct InputBuffer {
    std::string eventType = "Language Event";
    int parameters = 0;
    std::string eventInfo;
};

class Model {
public:
    explicit Model(const Catalog& catalog);

    SqliteDb& db() { return db_; }
    const Catalog& catalog() const { return catalog_; }

    // Inserts one row; later entries for the same column win. Throws std::invalid_argument
    // for a column the object does not have and std::runtime_error for a rejected row.
    void insert(const CatalogObject& object, const ColumnValues& values);
    // Updates the rows matching `whereSql` (with ?-parameters `whereArgs`).
    void update(const CatalogObject& object, const ColumnValues& values,
                const std::string& whereSql, const std::vector<Value>& whereArgs);

    bool sessionExists(int spid);
    std::optional<bool> isUserProcess(int spid);
    std::optional<int> sessionDatabaseId(int spid);
    std::optional<std::string> sessionLogin(int spid);
    bool requestExists(int spid, int requestId);
    // Removes the session with its requests, connections and input buffer.
    void deleteSession(int spid);
    void deleteRequest(int spid, int requestId);
    std::size_t sessionCount();

    // Stores a batch text for sys.dm_exec_sql_text and returns its handle; the same text
    // always gets the same handle, as SQL Server's cache does.
    Bytes storeSqlText(const std::string& text);
    static Bytes handleFor(const std::string& text);
    // The handle of the plan compiled for a text: its sql_handle as a plan's (0x06...).
    static Bytes planHandleFor(const std::string& text);

    // A batch's plan as the plan cache keeps it, under its plan handle: the plan of the
    // whole batch (sys.dm_exec_query_plan; sys.dm_exec_text_query_plan with offsets 0 and
    // -1) and each statement's own (sys.dm_exec_text_query_plan with its byte offsets).
    struct StatementPlan {
        int startOffset = 0;
        int endOffset = -1;
        std::string xml;
    };
    void storePlan(const Bytes& planHandle, int databaseId, const std::string& batchPlan,
                   const std::vector<StatementPlan>& statements);
    // The running request's plan with its counters so far (sys.dm_exec_query_statistics_xml),
    // or none (nullopt). It goes with the request.
    void setLivePlan(int spid, int requestId, const std::optional<std::string>& xml);

    void setInputBuffer(int spid, const InputBuffer& buffer);
    std::optional<InputBuffer> inputBuffer(int spid);

    std::optional<int> databaseId(const std::string& name);
    std::optional<std::string> databaseName(int id);
    int nextDatabaseId();

    // The first column of the first row, or nothing when there is no row.
    std::optional<Value> scalar(const std::string& sql, const std::vector<Value>& args);

    // Runs `body` in one transaction, so that a sampling query sees all of it or none;
    // an exception rolls it back and goes on.
    template <typename F> void transaction(F body) {
        db_.exec("BEGIN");
        try {
            body();
        } catch (...) {
            db_.exec("ROLLBACK");
            throw;
        }
        db_.exec("COMMIT");
    }

private:
    void createSchema();

    const Catalog& catalog_;
    SqliteDb db_;
};

} // namespace testserver
