#pragma once
// Turns the rows of successive snapshots into what a recording keeps of each: every
// FullEvery-th snapshot, and the first one, whole; the others as the changes since the
// snapshot before (rowcodec.h), compressed. Shared by every store, so a recording reads
// the same whichever database holds it.

#include "recorder/rowcodec.h"

#include <QByteArray>

struct TEncodedSnapshot {
    bool Full = false;
    qint64 RowCount = 0;
    QByteArray Data; // zlib-compressed as qCompress writes it
};

class TSnapshotEncoder {
public:
    static constexpr int DefaultFullEvery = 60;
    int FullEvery = DefaultFullEvery;

    // The snapshot's bytes; AForceFull writes it whole whatever its turn. Throws
    // ERecordingFormat (TooLarge) for a snapshot larger than a reader would take. Nothing
    // changes until commit(): a snapshot that could not be stored is encoded again.
    TEncodedSnapshot encode(const TRecordedRows& ARows, bool AForceFull = false);
    // The snapshot last encoded was stored: the next one is a change from it.
    void commit();
    // The next snapshot is whole (the store lost what the changes would build on).
    void restart() { FHavePrevious = false; }

private:
    TRowState FPrevious;
    TRowState FPending;
    bool FPendingFull = false;
    bool FHavePrevious = false;
    int FSinceFull = 0;
};
