#pragma once
// The bytes of a recorded snapshot. A full snapshot holds every row; a delta holds what
// changed since the snapshot before it: the rows that went, and for every new or changed
// row its key and the fields that differ (from the row before, or from an empty row).
// A row is known by its key: SPID, request, login time and which of equal keys it is, so
// that a new login behind a reused SPID is a new row.
//
// Layout (little-endian, "varint" is LEB128, "zigzag" maps signed to unsigned):
//   snapshot := varint removed, key * removed, varint written, (key, varint mask, field *)
//   key      := zigzag SPID, zigzag request, float64 login time, varint occurrence
//   field    := by type: zigzag integer | float64 | varint length, UTF-8 bytes | byte 0/1
// A full snapshot is a delta from nothing. Mask bit n stands for field n of
// RecordedFieldNames(); the key's fields never appear in it.

#include "recorder/recordedrow.h"

#include <QByteArray>
#include <QStringList>
#include <QVariant>
#include <limits>
#include <map>
#include <stdexcept>

struct TRowKey {
    std::int32_t SPID = 0;
    std::int32_t RequestID = 0;
    double LoginTime = 0;
    std::uint32_t Occurrence = 0; // the n-th row of the snapshot with this key (MARS)
    auto operator<=>(const TRowKey&) const = default;
};

// The rows of a snapshot by key: what a delta applies to. Ordered as the sampling query
// orders them (by SPID), then by request and login.
using TRowState = std::map<TRowKey, TRecordedRow>;

class ERecordingFormat : public std::runtime_error {
public:
    // Damaged: the bytes do not parse. TooLarge: they would take more memory than allowed.
    enum class TWhy { Damaged, TooLarge };
    explicit ERecordingFormat(TWhy AWhy = TWhy::Damaged)
        : std::runtime_error(AWhy == TWhy::Damaged ? "damaged snapshot data"
                                                   : "snapshot data too large"),
          Why(AWhy) {}
    const TWhy Why;
};

// What the rows of a state may take in memory, counted as deltas are applied: a row's
// record and its place in the map, and the characters of its texts. A row costs ~50
// times the dozen bytes it takes to write, so a hostile snapshot of empty rows would
// otherwise grow a small file into gigabytes.
struct TRowBudget {
    static constexpr qint64 kRowCost = qint64(sizeof(TRowState::value_type)) + 48;
    qint64 Limit = std::numeric_limits<qint64>::max();
    qint64 Used = 0; // by the state it is applied with
};

// Field names in mask order: the record's own names (SPID, Login, ...), then Text, Idx1, Idx2.
const QStringList& RecordedFieldNames();
// A field's value by its place in that list: an integer, a float, a bool or a text.
QVariant RecordedFieldValue(const TRecordedRow& ARow, int AField);

// Whether two states hold the same rows under the same keys with the same values.
bool SameRowStates(const TRowState& a, const TRowState& b);

// The keyed rows of a snapshot, in its order.
TRowState KeyRows(const TRecordedRows& ARows);

// The delta from APrevious (empty for a full snapshot) to ACurrent.
QByteArray EncodeSnapshot(const TRowState& APrevious, const TRowState& ACurrent);
// Applies a delta to the rows of the snapshot before it (empty for a full snapshot).
// Throws ERecordingFormat on bytes that do not parse (Damaged), or that would take the
// state past its budget (TooLarge; the state is then half applied and to be dropped).
void ApplySnapshot(TRowState& AState, const QByteArray& ABytes, TRowBudget& ABudget);
// The same without a limit.
void ApplySnapshot(TRowState& AState, const QByteArray& ABytes);
