#pragma once
// Runs one T-SQL batch for one session against the model: parses it, then runs its
// statements in order, turning SQL Server's errors into messages with its batch and
// statement abort rules (a compile error ends the batch, a KILL error only its statement).

#include "ast.h"
#include "model.h"
#include "rewriter.h"

#include <functional>
#include <string>

namespace testserver {

struct BatchHooks {
    // A statement is about to run (the session's request shows it as current).
    std::function<void(const Statement&)> statementStarting;
    // `kill` ends a session: its rows go and its connection is closed.
    std::function<void(int spid)> endSession;
};

class BatchRunner {
public:
    BatchRunner(Model& model, SessionContext& context, BatchHooks hooks);
    BatchOutcome run(const std::string& batch);

private:
    StatementOutcome runStatement(const Statement& s);
    StatementOutcome runSelect(const Statement& s);
    StatementOutcome runKill(const Statement& s);
    bool visibleSession(std::int64_t spid);
    StatementOutcome runInputBuffer(const Statement& s);
    StatementOutcome runSet(const Statement& s);
    StatementOutcome runUse(const Statement& s);
    StatementOutcome runPrint(const Statement& s);
    void updateSession(const ColumnValues& values);

    Model& model_;
    SessionContext& context_;
    BatchHooks hooks_;
};

} // namespace testserver
