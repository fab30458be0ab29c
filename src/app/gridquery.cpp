#include "app/gridquery.h"

#include "blocking/blockingforest.h"
#include "grid/monitorcolumns.h"
#include "rates/ratecolumns.h"

TGridQuery ComposeGridQuery(const QStringList& ATemplate, const QList<bool>& AShown,
                            int ASortColumn, bool ADescending, bool ATreeShown,
                            const TQueryFilters& AFilters) {
    // The sort follows what the user sees: a column queried only for the rates, the tree
    // or the kill's check does not keep an order nobody can read.
    const int sortColumn = ShownSortColumn(AShown, ASortColumn);
    QList<bool> queried = QueriedColumns(AShown);
    if (ATreeShown)
        for (int column : BlockingTreeGridColumns)
            queried[column] = true;
    // A kill checks that the session still has the login it had, shown or not.
    queried[LoginColumn] = true;
    // A sort by a rate is the window's own: the query keeps its default order.
    const bool byRate = IsRateColumn(sortColumn);
    const TComposedQuery q =
        ComposeQuery(ATemplate, queried, byRate ? 0 : sortColumn, !byRate && ADescending, AFilters);
    return {q.Text, byRate ? sortColumn : q.SortColumn};
}
