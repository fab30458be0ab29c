#pragma once
// SQL Server's data type rules as far as the engine needs them: precedence, the
// families of types, date arithmetic, and turning SQLite values into typed Values.

#include "values.h"

#include <optional>
#include <string_view>

namespace testserver::types {

// Position in SQL Server's data type precedence; the higher one wins.
int precedence(SqlType type);
SqlType higher(SqlType a, SqlType b);
bool isString(SqlType type);
bool isBinary(SqlType type);
bool isInteger(SqlType type); // bit included
bool isNumeric(SqlType type); // integers, real and float
// The longest text or byte string of the type before it becomes max (0).
int maxLength(SqlType type);
const char* name(SqlType type); // "int", "nvarchar", ... as in SQL Server's messages

// Days since 1900-01-01 of a civil date, and back.
std::int64_t daysFromCivil(int year, int month, int day);
void civilFromDays(std::int64_t days, int& year, int& month, int& day);
// Parses the literal forms SQL Server accepts most commonly: 'YYYY-MM-DD', 'YYYYMMDD',
// either followed by ' hh:mm[:ss[.fff]]' or 'Thh:mm:ss[.fff]'.
std::optional<double> parseDateTime(std::string_view text);
// The text of a datetime value the way SQL Server converts it with style 121.
std::string formatDateTime(double days);

// Converts what SQLite produced into the Value of a column of that SQL type. Throws
// SqlError 8115 when an integer does not fit the type, 6335 when a document is nested too
// deeply for the xml type.
Value fromSqlite(const Value& raw, const Column& column);

// How many levels of elements the deepest element of a document sits in (the root is 1),
// and how many the xml type refuses.
int xmlDepth(std::string_view xml);
constexpr int kMaxXmlDepth = 128;

} // namespace testserver::types
