#include "rates/ratecolumns.h"

#include "grid/monitorcolumns.h"

#include <algorithm>

namespace {

// The query column each rate grows from.
constexpr int kCounterOf[RateColumnCount] = {8, 17, 18, 19}; // CPU, Reads, Writes, Logical
constexpr int kLoginTime = 6;

} // namespace

QList<bool> QueriedColumns(const QList<bool>& AShown) {
    QList<bool> queried = AShown.mid(0, QueryColumnCount);
    queried.resize(QueryColumnCount, false);
    for (int i = 0; i < RateColumnCount; ++i)
        if (AShown.value(FirstRateColumn + i)) {
            queried[kCounterOf[i]] = true;
            queried[kLoginTime] = true;
        }
    return queried;
}

double RateOf(const TMonitorRec& ARec, int AColumn) {
    switch (AColumn - FirstRateColumn) {
    case 0:
        return ARec.CpuRate;
    case 1:
        return ARec.ReadsRate;
    case 2:
        return ARec.WritesRate;
    case 3:
        return ARec.LogicalReadsRate;
    default:
        return -1;
    }
}

void SortByRate(TRecList& ARows, int AColumn, bool ADescending) {
    std::stable_sort(ARows.begin(), ARows.end(), [=](PMonitorRec a, PMonitorRec b) {
        const double x = RateOf(*a, AColumn);
        const double y = RateOf(*b, AColumn);
        if ((x < 0) != (y < 0))
            return y < 0; // rows with a rate first
        return ADescending ? x > y : x < y;
    });
}
