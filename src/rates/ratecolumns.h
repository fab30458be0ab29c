#pragma once
// What the rate columns need of the rest of the grid: the counters they are computed from
// must be in the sampling query even when their own columns are hidden, and a sort by a
// rate is the window's, on the snapshot it has.

#include "sampling/monitorrec.h"

#include <QList>

// The query's columns for the grid's shown ones (AShown: one flag per grid column): the
// shown query columns, and for each shown rate its counter and the login time that tells
// one session from the next behind the same SPID.
QList<bool> QueriedColumns(const QList<bool>& AShown);

// A rate of the record by its grid column, negative when there is none.
double RateOf(const TMonitorRec& ARec, int AColumn);

// Orders the rows by a rate column, keeping the server's order among equal rates; rows
// without a rate go last whichever the direction.
void SortByRate(TRecList& ARows, int AColumn, bool ADescending);
