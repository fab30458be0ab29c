#include "seed.h"

#include "instance.h"
#include "type_rules.h"

namespace testserver {

namespace {

struct SystemTask {
    int id;
    const char* command; // nullptr: an idle system session without a request
    const char* status;
    const char* waitType;
    int cpu;
};

constexpr SystemTask kTasks[] = {
    {1, "LOG WRITER", "background", "LOGMGR_QUEUE", 312},
    {2, "RECOVERY WRITER", "background", "DIRTY_PAGE_POLL", 85},
    {3, "LAZY WRITER", "background", "LAZYWRITER_SLEEP", 1470},
    {4, "LOCK MONITOR", "background", "REQUEST_FOR_DEADLOCK_SEARCH", 22},
    {5, "SIGNAL HANDLER", "background", "KSOURCE_WAKEUP", 0},
    {6, "XE TIMER", "background", "XE_TIMER_EVENT", 9},
    {7, "XE DISPATCHER", "background", "XE_DISPATCHER_WAIT", 3},
    {8, "BRKR TASK", "background", "BROKER_TO_FLUSH", 1},
    {9, "CHECKPOINT", "background", "CHECKPOINT_QUEUE", 64},
    {10, "TASK MANAGER", "background", "ONDEMAND_TASK_QUEUE", 0},
    {11, "RESOURCE MONITOR", "suspended", "RESOURCE_QUEUE", 560},
    {12, nullptr, nullptr, nullptr, 0},
};

double date(int y, int m, int d, double hours = 0) {
    return static_cast<double>(types::daysFromCivil(y, m, d)) + hours / 24.0;
}

} // namespace

void addSeedTables(Instance& instance, const char* database, int firstObject, int firstHobt,
                   std::initializer_list<SeedTable> tables) {
    constexpr std::int64_t kFirstHobt = 72057594037927936; // 0x0100000000000000
    int object = firstObject;
    std::int64_t hobt = kFirstHobt + std::int64_t{firstHobt} * 65536;
    for (const SeedTable& t : tables) {
        ScriptedTable table;
        table.database = database;
        table.schema = t.schema;
        table.name = t.name;
        table.objectId = object;
        object += 16000057; // object ids grow in steps like SQL Server's
        ScriptedIndex key;
        key.indexId = 1;
        key.name = std::string("PK_") + t.name;
        key.unique = key.primaryKey = true;
        key.hobtId = hobt;
        key.rows = t.rows;
        hobt += 65536;
        table.indexes.push_back(key);
        int id = 2;
        for (const char* index : t.indexes) {
            ScriptedIndex other;
            other.indexId = id++;
            other.name = std::string(index);
            other.hobtId = hobt;
            other.rows = t.rows;
            hobt += 65536;
            table.indexes.push_back(other);
        }
        instance.addTable(table);
    }
}

void seedInstance(Instance& instance, double startTime) {
    struct Db {
        const char* name;
        double created;
        const char* recovery;
        int recoveryCode;
    };
    const Db dbs[] = {{"master", date(2003, 4, 8, 9.2267), "SIMPLE", 3},
                      {"tempdb", startTime, "SIMPLE", 3},
                      {"model", date(2003, 4, 8, 9.2267), "FULL", 1},
                      {"msdb", date(2023, 7, 27, 18.5), "SIMPLE", 3},
                      {"Sales", date(2024, 3, 11, 10.25), "FULL", 1},
                      {"Inventory", date(2024, 5, 2, 14.5), "FULL", 1},
                      {"Archive", date(2025, 1, 20, 8.75), "SIMPLE", 3}};
    for (const auto& db : dbs) {
        ScriptedDatabase database;
        database.name = db.name;
        database.overrides = {{"create_date", db.created},
                              {"recovery_model", std::int64_t{db.recoveryCode}},
                              {"recovery_model_desc", std::string(db.recovery)},
                              {"is_cleanly_shutdown", std::int64_t{0}}};
        instance.addDatabase(database);
    }
    addSeedTables(instance, "Sales", 245575913, 1000,
                  {{"dbo", "Orders", {"IX_Orders_Customer", "IX_Orders_Date"}, 2412008},
                   {"dbo", "OrderLines", {"IX_OrderLines_Product"}, 9811402},
                   {"dbo", "Customers", {"IX_Customers_Name"}, 183224},
                   {"dbo", "Invoices", {}, 1950331},
                   {"dbo", "Payments", {"IX_Payments_Invoice"}, 1704412}});
    addSeedTables(instance, "Inventory", 565577053, 2000,
                  {{"dbo", "Stock", {"IX_Stock_Warehouse"}, 380114},
                   {"dbo", "Movements", {"IX_Movements_Date"}, 12066870},
                   {"dbo", "Products", {}, 48231}});
    addSeedTables(instance, "Archive", 885578193, 3000,
                  {{"dbo", "OrdersHistory", {"IX_OrdersHistory_Date"}, 48223991}});

    std::vector<ScriptedSession> sessions;
    std::vector<ScriptedRequest> requests;
    for (const auto& task : kTasks) {
        ScriptedSession s;
        s.sessionId = task.id;
        s.isUserProcess = false;
        s.hostName.reset();
        s.programName.reset();
        s.clientInterfaceName.reset();
        s.hostProcessId.reset();
        s.loginTime = startTime;
        s.lastRequestStartTime = startTime;
        s.cpuTime = task.cpu;
        s.memoryUsage = 0;
        s.totalScheduledTime = task.cpu;
        sessions.push_back(s);
        if (!task.command)
            continue;
        ScriptedRequest r;
        r.sessionId = task.id;
        r.status = task.status;
        r.command = task.command;
        r.startTime = startTime;
        r.waitType = task.waitType;
        r.lastWaitType = task.waitType;
        r.cpuTime = task.cpu;
        r.overrides = {{"open_resultset_count", std::int64_t{1}},
                       {"user_id", std::int64_t{1}},
                       {"scheduler_id", std::int64_t{task.id % 2}}};
        requests.push_back(r);
    }
    instance.addSessions(sessions);
    instance.addRequests(requests);
}

} // namespace testserver
