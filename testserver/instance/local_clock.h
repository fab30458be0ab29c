#pragma once
// The server's wall clock in SQL Server's datetime terms.

namespace testserver {

// Local time as days since 1900-01-01 00:00, the time of day as the fraction.
double localNow();

} // namespace testserver
