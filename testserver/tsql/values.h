#pragma once
// Values and results that pass between the statement engine (Instance) and the
// wire protocol (TdsServer). Plain C++, no Qt, so the server can be linked into
// any test or fuzzer.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace testserver {

// SQL Server column types the server can put on the wire. The second row holds the
// types that only a few catalog columns have (sys.databases, the connection views, the
// plans' xml).
enum class SqlType {
    Bit,
    SmallInt,
    Int,
    BigInt,
    Float,
    DateTime,
    NVarChar,
    VarBinary,
    TinyInt,
    Real,
    VarChar,
    Binary,
    UniqueIdentifier,
    Xml
};

struct Column {
    std::string name; // UTF-8
    SqlType type = SqlType::Int;
    int length = 0; // NVarChar/VarChar: characters (0 = max); VarBinary/Binary: bytes
                    // (0 = max)
    bool nullable = true;
};

// NULL, integer (any integer type and bit), float, datetime, text (UTF-8), bytes.
// A UniqueIdentifier column holds its text form, 36 characters; an Xml column its text.
// A DateTime column holds a double: days since 1900-01-01 00:00, the time as the fraction
// (SQL Server's own day zero; 0 is 1900-01-01 00:00:00).
using Value =
    std::variant<std::monostate, std::int64_t, double, std::string, std::vector<std::uint8_t>>;
using Row = std::vector<Value>;

struct ResultSet {
    std::vector<Column> columns;
    std::vector<Row> rows;
};

// An ERROR (class > 10) or INFO token.
struct Message {
    int number = 0;
    int state = 1;
    int severity = 16; // "class"
    std::string text;  // UTF-8
    int line = 1;
};

// What one statement of a batch produced, in order: messages, then an optional result.
struct StatementOutcome {
    std::vector<Message> messages;
    std::optional<ResultSet> result;
    std::optional<std::int64_t> rowCount;   // DONE_COUNT when set
    bool failed = false;                    // DONE_ERROR
    std::optional<std::string> newDatabase; // a `use` switched the session's database
};

struct BatchOutcome {
    std::vector<StatementOutcome> statements;
};

} // namespace testserver
