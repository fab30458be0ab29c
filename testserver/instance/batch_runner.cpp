#include "batch_runner.h"

#include "parser.h"
#include "sql_error.h"
#include "type_rules.h"
#include "utf.h"

#include <charconv>

namespace testserver {

namespace {

Message info(int number, std::string text, int state = 1) {
    Message m;
    m.number = number;
    m.severity = 0;
    m.state = state;
    m.text = std::move(text);
    return m;
}

[[noreturn]] void statementError(int number, int severity, std::string text, const Token& at) {
    throw SqlError(number, severity, std::move(text), at.line, SqlError::Scope::Statement);
}

std::optional<std::int64_t> parseInt(const std::string& text) {
    std::int64_t v = 0;
    const char* b = text.data();
    const char* e = text.data() + text.size();
    if (text.empty() || std::from_chars(b, e, v).ptr != e)
        return std::nullopt;
    return v;
}

} // namespace

BatchRunner::BatchRunner(Model& model, SessionContext& context, BatchHooks hooks)
    : model_(model), context_(context), hooks_(std::move(hooks)) {}

BatchOutcome BatchRunner::run(const std::string& batch) {
    BatchOutcome out;
    std::vector<Token> tokens;
    std::vector<Statement> statements;
    try {
        tokens = tokenize(batch);
        statements = Parser(tokens).parseBatch();
    } catch (const SqlError& e) {
        StatementOutcome failed;
        failed.messages.push_back(e.message);
        failed.failed = true;
        out.statements.push_back(std::move(failed));
        return out;
    }
    for (const auto& s : statements) {
        if (hooks_.statementStarting)
            hooks_.statementStarting(s);
        StatementOutcome outcome;
        bool stop = false;
        try {
            outcome = runStatement(s);
        } catch (const SqlError& e) {
            outcome.messages.push_back(e.message);
            outcome.failed = true;
            stop = e.scope == SqlError::Scope::Batch;
        } catch (const std::exception& e) {
            Message m;
            m.number = 8624;
            m.text = std::string("Internal Query Processor Error: ") + e.what();
            m.line = s.first.line;
            outcome.messages.push_back(m);
            outcome.failed = true;
            stop = true;
        }
        context_.previousRowCount = outcome.rowCount.value_or(0);
        if (outcome.rowCount && !outcome.failed)
            updateSession({{"row_count", *outcome.rowCount}});
        if (outcome.failed && !outcome.messages.empty())
            updateSession({{"prev_error", std::int64_t{outcome.messages.back().number}}});
        if (context_.nocount)
            outcome.rowCount.reset();
        out.statements.push_back(std::move(outcome));
        if (stop)
            break;
    }
    return out;
}

void BatchRunner::updateSession(const ColumnValues& values) {
    model_.update(model_.catalog().sessions(), values, "session_id = ?",
                  {std::int64_t{context_.spid}});
}

StatementOutcome BatchRunner::runStatement(const Statement& s) {
    switch (s.kind) {
    case StatementKind::Select:
        return runSelect(s);
    case StatementKind::Kill:
        return runKill(s);
    case StatementKind::DbccInputBuffer:
        return runInputBuffer(s);
    case StatementKind::DbccOther:
        throw SqlError(2526, 16,
                       "Incorrect DBCC statement. Check the documentation for the correct DBCC "
                       "syntax and options.",
                       s.first.line);
    case StatementKind::Set:
        return runSet(s);
    case StatementKind::Use:
        return runUse(s);
    case StatementKind::Print:
        return runPrint(s);
    }
    return {};
}

StatementOutcome BatchRunner::runSelect(const Statement& s) {
    Rewriter rewriter(model_.catalog(), context_);
    RewrittenSelect query = rewriter.rewrite(*s.select);
    // Ad hoc texts are prepared fresh: their literals make each one different.
    SqliteStmt st(model_.db().handle(), query.sql);
    ResultSet rs;
    const std::size_t n = query.columns.size();
    for (;;) {
        try {
            if (!st.step())
                break;
        } catch (const std::runtime_error& e) {
            if (std::string(e.what()).find("ts_error:8134") != std::string::npos)
                statementError(8134, 16, "Divide by zero error encountered.", s.first);
            throw;
        }
        Row row;
        row.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            try {
                row.push_back(types::fromSqlite(st.valueAt(static_cast<int>(i)), query.columns[i]));
            } catch (SqlError& e) {
                e.message.line = s.first.line;
                throw;
            }
        }
        rs.rows.push_back(std::move(row));
    }
    rs.columns = std::move(query.columns);
    StatementOutcome out;
    out.rowCount = static_cast<std::int64_t>(rs.rows.size());
    out.result = std::move(rs);
    return out;
}

StatementOutcome BatchRunner::runKill(const Statement& s) {
    const std::string id = std::to_string(s.number);
    if (!context_.alterAnyConnection)
        statementError(6102, 14, "User does not have permission to use the KILL statement.",
                       s.first);
    if (s.number == context_.spid)
        statementError(6104, 16, "Cannot use KILL to kill your own process.", s.first);
    const auto user =
        visibleSession(s.number) ? model_.isUserProcess(static_cast<int>(s.number)) : std::nullopt;
    if (!user)
        statementError(6106, 16, "Process ID " + id + " is not an active process ID.", s.first);
    if (!*user)
        statementError(6107, 14, "Only user processes can be killed.", s.first);
    if (hooks_.endSession)
        hooks_.endSession(static_cast<int>(s.number));
    return {};
}

bool BatchRunner::visibleSession(std::int64_t spid) {
    if (spid <= 0 || spid > 32767)
        return false;
    // An Azure SQL Database knows only the sessions of the database.
    return !context_.azureDatabase ||
           model_.sessionDatabaseId(static_cast<int>(spid)) == context_.databaseId;
}

StatementOutcome BatchRunner::runInputBuffer(const Statement& s) {
    const auto user =
        visibleSession(s.number) ? model_.isUserProcess(static_cast<int>(s.number)) : std::nullopt;
    if (!user)
        statementError(7955, 16, "Invalid SPID " + std::to_string(s.number) + " specified.",
                       s.first);
    if (!*user)
        statementError(7958, 16, "The specified SPID does not process input/output data streams.",
                       s.first);
    const InputBuffer buffer =
        model_.inputBuffer(static_cast<int>(s.number)).value_or(InputBuffer{});
    ResultSet rs;
    rs.columns = {Column{"EventType", SqlType::NVarChar, 30, true},
                  Column{"Parameters", SqlType::SmallInt, 0, true},
                  Column{"EventInfo", SqlType::NVarChar, 4000, true}};
    rs.rows.push_back({utf::truncateUtf16(buffer.eventType, 30), std::int64_t{buffer.parameters},
                       utf::truncateUtf16(buffer.eventInfo, 4000)});
    StatementOutcome out;
    if (!s.noInfoMessages)
        out.messages.push_back(info(2528,
                                    "DBCC execution completed. If DBCC printed error messages, "
                                    "contact your system administrator."));
    out.rowCount = 1;
    out.result = std::move(rs);
    return out;
}

StatementOutcome BatchRunner::runSet(const Statement& s) {
    const std::string& v = s.setValue;
    const auto bad = [&]() -> StatementOutcome {
        throw SqlError(102, 15, "Incorrect syntax near '" + v + "'.", s.first.line);
    };
    const std::string& option = s.setOptions.front();
    if (option == "transaction isolation level") {
        static const std::pair<const char*, int> kLevels[] = {{"read uncommitted", 1},
                                                              {"read committed", 2},
                                                              {"repeatable read", 3},
                                                              {"serializable", 4},
                                                              {"snapshot", 5}};
        for (const auto& [name, level] : kLevels)
            if (v == name) {
                updateSession({{"transaction_isolation_level", std::int64_t{level}}});
                return {};
            }
        return bad();
    }
    const auto number = parseInt(v);
    if (option == "lock_timeout" || option == "textsize" || option == "datefirst" ||
        option == "rowcount") {
        if (!number)
            return bad();
        if (option == "lock_timeout")
            updateSession({{"lock_timeout", *number}});
        else if (option == "textsize")
            updateSession({{"text_size", *number == 0 ? std::int64_t{4096} : *number}});
        else if (option == "datefirst")
            updateSession({{"date_first", *number}});
        return {};
    }
    if (option == "deadlock_priority") {
        const std::int64_t p = v == "low"      ? -5
                               : v == "normal" ? 0
                               : v == "high"   ? 5
                                               : number.value_or(99);
        if (p < -10 || p > 10)
            return bad();
        updateSession({{"deadlock_priority", p}});
        return {};
    }
    if (option == "language" || option == "dateformat") {
        updateSession({{option == "language" ? "language" : "date_format", v}});
        return {};
    }
    if (v != "on" && v != "off")
        return bad();
    static const char* const kSessionFlags[] = {
        "quoted_identifier", "arithabort",   "ansi_null_dflt_on", "ansi_defaults",
        "ansi_warnings",     "ansi_padding", "ansi_nulls",        "concat_null_yields_null"};
    static const char* const kAccepted[] = {"nocount",
                                            "xact_abort",
                                            "implicit_transactions",
                                            "cursor_close_on_commit",
                                            "numeric_roundabort",
                                            "ansi_null_dflt_off",
                                            "fmtonly",
                                            "noexec",
                                            "parseonly",
                                            "showplan_all",
                                            "showplan_text",
                                            "showplan_xml",
                                            "forceplan",
                                            "nocount"};
    for (const auto& o : s.setOptions) {
        bool known = false;
        for (const char* f : kSessionFlags)
            if (o == f) {
                updateSession({{o, std::int64_t{v == "on"}}});
                known = true;
            }
        for (const char* f : kAccepted)
            known = known || o == f;
        if (o == "nocount")
            context_.nocount = v == "on";
        if (!known)
            throw SqlError(195, 15, "'" + o + "' is not a recognized SET option.", s.first.line);
    }
    return {};
}

StatementOutcome BatchRunner::runUse(const Statement& s) {
    const auto id = model_.databaseId(s.name);
    if (!id)
        throw SqlError(911, 16,
                       "Database '" + s.name +
                           "' does not exist. Make sure that the name is entered correctly.",
                       s.first.line);
    const std::string name = model_.databaseName(*id).value_or(s.name);
    updateSession({{"database_id", std::int64_t{*id}}});
    context_.databaseId = *id;
    context_.databaseName = name;
    StatementOutcome out;
    out.newDatabase = name;
    out.messages.push_back(info(5701, "Changed database context to '" + name + "'."));
    return out;
}

StatementOutcome BatchRunner::runPrint(const Statement& s) {
    Rewriter rewriter(model_.catalog(), context_);
    const TypedSql value = rewriter.rewriteExpression(*s.expr);
    SqliteStmt st(model_.db().handle(), "SELECT " + value.sql);
    std::string text;
    if (st.step()) {
        const Value v = types::fromSqlite(st.valueAt(0), Column{"", SqlType::NVarChar, 0, true});
        if (const auto* t = std::get_if<std::string>(&v))
            text = *t;
    }
    StatementOutcome out;
    out.messages.push_back(info(0, text));
    return out;
}

} // namespace testserver
