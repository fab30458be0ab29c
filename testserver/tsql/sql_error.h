#pragma once
// A T-SQL error raised while a statement is parsed, rewritten or run, carrying the
// message SQL Server would send for it.

#include "values.h"

#include <stdexcept>
#include <string>

namespace testserver {

struct SqlError : std::runtime_error {
    // Errors that end the whole batch (compile errors) rather than only their statement.
    enum class Scope { Statement, Batch };

    SqlError(int number, int severity, std::string text, int line = 1, Scope scope = Scope::Batch,
             int state = 1)
        : std::runtime_error(text), scope(scope) {
        message.number = number;
        message.severity = severity;
        message.text = std::move(text);
        message.line = line;
        message.state = state;
    }

    Message message;
    Scope scope;
};

} // namespace testserver
