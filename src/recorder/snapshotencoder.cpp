#include "recorder/snapshotencoder.h"

#include "recorder/recordingfile.h"

TEncodedSnapshot TSnapshotEncoder::encode(const TRecordedRows& ARows, bool AForceFull) {
    FPending = KeyRows(ARows);
    FPendingFull = AForceFull || !FHavePrevious || FSinceFull + 1 >= FullEvery;
    static const TRowState none;
    const QByteArray bytes = EncodeSnapshot(FPendingFull ? none : FPrevious, FPending);
    // What no reader would take is not written: the recording would end in a snapshot
    // that does not read.
    if (bytes.size() > TRecordingLimits().SnapshotBytes)
        throw ERecordingFormat(ERecordingFormat::TWhy::TooLarge);
    return {FPendingFull, qint64(ARows.size()), qCompress(bytes)};
}

void TSnapshotEncoder::commit() {
    FPrevious = std::move(FPending);
    FPending.clear();
    FHavePrevious = true;
    FSinceFull = FPendingFull ? 0 : FSinceFull + 1;
}
