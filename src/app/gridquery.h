#pragma once
// The sampling query as the window composes it: which columns are asked for (those shown,
// what the rates and the blocking tree need, and always the login, which a kill checks),
// and in which order, from what the grid shows. A plain function of values, tested without
// a window.

#include "sampling/querycomposition.h"

#include <QList>
#include <QString>
#include <QStringList>

struct TGridQuery {
    QString Text;
    // The column the grid is to show sorted: the one asked for, or SPID when that column
    // is neither shown nor can be sorted by the server.
    int SortColumn = 0;
};

TGridQuery ComposeGridQuery(const QStringList& ATemplate, const QList<bool>& AShown,
                            int ASortColumn, bool ADescending, bool ATreeShown,
                            const TQueryFilters& AFilters);
