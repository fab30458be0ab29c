#pragma once
// The saved form of the session grid's column layout: one 6-byte record per column,
// in column index order, stored as it stands in the settings value "Columns".

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <optional>

struct TSavedCol {
    std::uint16_t ColVisible = 0;  // 1 shown, 0 hidden; only the low byte is read back
    std::uint16_t ColPosition = 0; // display position, 0 = leftmost
    std::uint16_t ColWidth = 0;    // pixels
};
static_assert(sizeof(TSavedCol) == 6);

using TSavedCols = QList<TSavedCol>;

inline constexpr int SavedColSize = 6;

// A record of a column's state; position and width are kept as their low 16 bits.
TSavedCol MakeSavedCol(bool AVisible, int APosition, int AWidth);

// Whether an applied record shows its column: the low byte of ColVisible is not 0.
bool SavedColShown(const TSavedCol& ACol);

// Three little-endian 16-bit fields per record, no padding.
QByteArray SavedColsToBytes(const TSavedCols& ACols);

// The records of a byte image of exactly AColumnCount records; nothing for any
// other size.
std::optional<TSavedCols> SavedColsFromBytes(const QByteArray& ABytes, int AColumnCount);

// Column indices from the leftmost display position to the rightmost. Stored
// positions that are not 0..n-1 each once still give an order: by position, equal
// positions by column index.
QList<int> SavedColsDisplayOrder(const TSavedCols& ACols);

// The grid as designed: every column with its default width and visibility, in the order
// of the indices but for the rates, which follow "Blocking".
TSavedCols BuiltInSavedCols();

// The layout of all the grid's columns as the settings keep it. "Columns" holds the 37
// query columns exactly as a version without the rates wrote them: their positions are
// ranks among those 37 only, so the value reads the same in every version. The rates'
// records ("RateColumns") hold their positions among all the columns.
struct TSplitCols {
    TSavedCols Query; // QueryColumnCount records
    TSavedCols Rates; // RateColumnCount records
};
TSplitCols SplitSavedCols(const TSavedCols& AAll);
// The whole layout again: the query columns in their stored order, each rate put back at
// its stored position; without (usable) rate records the rates take their built-in
// place after "Blocking" wherever that is.
TSavedCols MergeSavedCols(const TSavedCols& AQuery, const std::optional<TSavedCols>& ARates);
