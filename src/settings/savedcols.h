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

// The grid as designed: every column at the position of its index, with its default
// width and visibility.
TSavedCols BuiltInSavedCols();
