#include "settings/savedcols.h"

#include "grid/monitorcolumns.h"

#include <QtEndian>
#include <algorithm>
#include <numeric>

TSavedCol MakeSavedCol(bool AVisible, int APosition, int AWidth) {
    return {std::uint16_t(AVisible ? 1 : 0), std::uint16_t(APosition & 0xFFFF),
            std::uint16_t(AWidth & 0xFFFF)};
}

bool SavedColShown(const TSavedCol& ACol) {
    return (ACol.ColVisible & 0xFF) != 0;
}

QByteArray SavedColsToBytes(const TSavedCols& ACols) {
    QByteArray bytes(ACols.size() * SavedColSize, Qt::Uninitialized);
    char* p = bytes.data();
    for (const TSavedCol& col : ACols) {
        qToLittleEndian(col.ColVisible, p);
        qToLittleEndian(col.ColPosition, p + 2);
        qToLittleEndian(col.ColWidth, p + 4);
        p += SavedColSize;
    }
    return bytes;
}

std::optional<TSavedCols> SavedColsFromBytes(const QByteArray& ABytes, int AColumnCount) {
    if (AColumnCount < 0 || ABytes.size() != qsizetype(AColumnCount) * SavedColSize)
        return std::nullopt;
    TSavedCols cols;
    cols.reserve(AColumnCount);
    const char* p = ABytes.constData();
    for (int i = 0; i < AColumnCount; ++i, p += SavedColSize)
        cols << TSavedCol{qFromLittleEndian<std::uint16_t>(p),
                          qFromLittleEndian<std::uint16_t>(p + 2),
                          qFromLittleEndian<std::uint16_t>(p + 4)};
    return cols;
}

QList<int> SavedColsDisplayOrder(const TSavedCols& ACols) {
    QList<int> order(ACols.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&ACols](int a, int b) {
        return ACols[a].ColPosition < ACols[b].ColPosition;
    });
    return order;
}

TSavedCols BuiltInSavedCols() {
    TSavedCols query;
    for (int i = 0; i < QueryColumnCount; ++i) {
        const TMonitorColumn& c = MonitorColumns()[i];
        query << MakeSavedCol(c.DefaultVisible, c.Index, c.DefaultWidth);
    }
    return MergeSavedCols(query, std::nullopt);
}

TSplitCols SplitSavedCols(const TSavedCols& AAll) {
    TSplitCols split;
    split.Query = AAll.mid(0, QueryColumnCount);
    split.Rates = AAll.mid(QueryColumnCount);
    // Ranks among the query columns, as if the rates were not there.
    const QList<int> order = SavedColsDisplayOrder(split.Query);
    for (int rank = 0; rank < order.size(); ++rank)
        split.Query[order[rank]].ColPosition = std::uint16_t(rank);
    return split;
}

TSavedCols MergeSavedCols(const TSavedCols& AQuery, const std::optional<TSavedCols>& ARates) {
    TSavedCols all = AQuery;
    QList<int> order = SavedColsDisplayOrder(AQuery);
    if (ARates && ARates->size() == RateColumnCount) {
        all << *ARates;
        QList<int> rates(RateColumnCount);
        std::iota(rates.begin(), rates.end(), QueryColumnCount);
        std::stable_sort(rates.begin(), rates.end(),
                         [&all](int a, int b) { return all[a].ColPosition < all[b].ColPosition; });
        for (int column : rates)
            order.insert(std::min<qsizetype>(all[column].ColPosition, order.size()), column);
    } else {
        const qsizetype after = order.indexOf(BlockingColumn) + 1;
        for (int i = 0; i < RateColumnCount; ++i) {
            const TMonitorColumn& c = MonitorColumns()[FirstRateColumn + i];
            all << MakeSavedCol(c.DefaultVisible, 0, c.DefaultWidth);
            order.insert(after + i, FirstRateColumn + i);
        }
    }
    for (int position = 0; position < order.size(); ++position)
        all[order[position]].ColPosition = std::uint16_t(position);
    return all;
}
