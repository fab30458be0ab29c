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
    TSavedCols cols;
    for (const TMonitorColumn& c : MonitorColumns())
        cols << MakeSavedCol(c.DefaultVisible, c.Index, c.DefaultWidth);
    return cols;
}
