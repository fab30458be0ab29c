#include "plans/planreader.h"

#include "database/dbconnection.h"
#include "database/dberror.h"

#include <optional>

namespace {

// The first row's first column: none without a row, an empty text for NULL.
std::optional<QString> firstValue(const TDbRecordset& ARows) {
    if (ARows.eof())
        return std::nullopt;
    const TDbField field = ARows.field(0);
    return field.isNull() ? QString() : field.asString();
}

} // namespace

QString LivePlanStatement(int ASPID, int ARequestID) {
    return QStringLiteral("select query_plan from sys.dm_exec_query_statistics_xml(%1) "
                          "where request_id=%2")
        .arg(QString::number(ASPID), QString::number(ARequestID));
}

QString CachedPlanStatement(int ASPID, int ARequestID) {
    // An outer apply keeps the request's row when it has no plan, which tells an ended
    // request (no row) from one without a plan (NULL).
    return QStringLiteral("select P.query_plan from sys.dm_exec_requests R outer apply "
                          "sys.dm_exec_text_query_plan(R.plan_handle, "
                          "R.statement_start_offset, R.statement_end_offset) P "
                          "where R.session_id=%1 and R.request_id=%2")
        .arg(QString::number(ASPID), QString::number(ARequestID));
}

TPlanRead ReadRequestPlan(TDbConnection& AConnection, int ASPID, int ARequestID) {
    TPlanRead read;
    try {
        const std::optional<QString> live =
            firstValue(AConnection.execute(LivePlanStatement(ASPID, ARequestID)));
        if (live && !live->isEmpty()) {
            read.Outcome = TPlanRead::Plan;
            read.Source = TPlanSource::Live;
            read.Xml = *live;
            return read;
        }
    } catch (const EDbError& e) {
        read.LiveError = e.message();
    }
    try {
        const std::optional<QString> cached =
            firstValue(AConnection.execute(CachedPlanStatement(ASPID, ARequestID)));
        if (!cached) {
            read.Outcome = TPlanRead::NoRequest;
        } else if (!cached->isEmpty()) {
            read.Outcome = TPlanRead::Plan;
            read.Xml = *cached;
        } else if (!read.LiveError.isEmpty()) {
            read.Outcome = TPlanRead::Failed;
            read.Error = read.LiveError;
        }
    } catch (const EDbError& e) {
        read.Outcome = TPlanRead::Failed;
        read.Error = e.message();
    }
    return read;
}
