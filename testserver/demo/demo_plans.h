#pragma once
// The plans of the demo's statements, shaped by what each one does: a lookup seeks and
// looks up, a scan reads a whole index the optimizer thinks small (and names the index it
// misses), a report runs parallel and spills its aggregate, a modification writes through
// the clustered index. The live form counts the rows so far as the statement goes on.

#include "demo_catalog.h"
#include "showplan.h"

#include <optional>
#include <string>

namespace testserver {

// `database`: where the statement's tables live; `done` (0 to 1): how far the statement
// has got, for the live form with counters, none for the compiled one. A statement that
// compiles to no plan (BEGIN TRANSACTION, BACKUP, WAITFOR) gives one without operators.
PlanStatement demoPlan(const DemoStatement& statement, const std::string& database,
                       std::optional<double> done);

} // namespace testserver
