#pragma once
// Turns the scripting structs into the model's rows: the typed fields first, then the
// overrides, which win.

#include "model.h"
#include "scripting.h"

#include <string>

namespace testserver {

ColumnValues databaseRow(const ScriptedDatabase& database, int id, double createDate);
ColumnValues sessionRow(const ScriptedSession& session, int id, double loginTime);
ColumnValues connectionRow(const ScriptedConnection& connection, int id, double loginTime,
                           const std::string& connectionId);

// What a request row takes from elsewhere: its text's handles, its session's
// connection, the database and the time.
struct RequestLinks {
    Value sqlHandle;
    Value planHandle;
    Value connectionId;
    int databaseId = 1;
    double startTime = 0;
};

ColumnValues requestRow(const ScriptedRequest& request, const RequestLinks& links);

} // namespace testserver
