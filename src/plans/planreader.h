#pragma once
// Reading a running request's plan from the server: its live plan with the counters so
// far where the server keeps one (sys.dm_exec_query_statistics_xml: SQL Server 2016 SP1
// and later, by default from 2019), otherwise the cached plan of its current statement
// as text (sys.dm_exec_text_query_plan with the request's statement offsets), which also
// brings a plan nested too deeply for the xml type (error 6335 on the live path).

#include <QString>

class TDbConnection;

QString LivePlanStatement(int ASPID, int ARequestID);
QString CachedPlanStatement(int ASPID, int ARequestID);

enum class TPlanSource { Live, Cached };

struct TPlanRead {
    enum TOutcome {
        Plan,      // Xml holds it
        NoRequest, // the request has ended (or the session runs none)
        NoPlan,    // the request is there, its plan is not (not cached, not compiled)
        Failed,    // Error holds the server's words
    };
    TOutcome Outcome = NoPlan;
    TPlanSource Source = TPlanSource::Cached;
    QString Xml;   // as the server sent it
    QString Error; // the server's text for a failed read
    // The live path's failure when the cached plan came instead (6335, an older server).
    QString LiveError;
};

// Sends the statements in turn on the connection (whose command lock keeps each off a
// running sample). A failure of the live path is not the end: the cached path follows,
// and its failure, or with no plan there the live one's, is the outcome.
TPlanRead ReadRequestPlan(TDbConnection& AConnection, int ASPID, int ARequestID);
