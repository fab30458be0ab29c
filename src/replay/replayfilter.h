#pragma once
// What the sampling query's conditions and "order by" do on the server, done on the rows
// of a recording: a replay shows them through the same filters and sort as a live grid.

#include "recorder/rowcodec.h"
#include "sampling/querycomposition.h"

// The rows that pass the filters, in the order of the sort column (0 to 36: the query's
// columns; a rate column leaves the recorded order, the window sorts by rates itself).
// Ties keep the recorded order, by SPID. Text compares without regard to letter case, as
// the server's default collation does. New records; the caller owns them.
TRecList ReplayRows(const TRowState& ARows, const TQueryFilters& AFilters, int ASortColumn,
                    bool ADescending);

// Whether a record passes the filters.
bool PassesFilters(const TMonitorRec& ARec, const TQueryFilters& AFilters);
