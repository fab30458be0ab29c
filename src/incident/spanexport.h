#pragma once
// A span of a recording written as a recording file of its own: what someone sends after
// an incident. It is written by the recording writer, so it opens wherever recordings
// open, begins with a full snapshot, and keeps the span's gaps and events.

#include "recorder/recordingsource.h"

struct TSpanExport {
    qint64 FromMs = 0; // the snapshots at and after this time...
    qint64 ToMs = 0;   // ...up to and including this one; ms since the epoch, UTC
    // The batches' texts left out, and the file says it keeps none: they may hold
    // passwords and customer data the receiver should not see.
    bool WithoutText = false;
};

// The indexes of the span's first and last snapshot in the source; first > last when the
// span holds none.
std::pair<int, int> SpanIndexes(const TRecordingSource& ASource, qint64 AFromMs, qint64 AToMs);

// Writes the span into a new file at AOut and returns the snapshots written. Throws
// ERecordingError when the span holds no snapshot, when AOut is there already (an export
// never adds to or overwrites a file), and for anything the source or the writer throws.
int ExportSpan(TRecordingSource& ASource, const TSpanExport& ASpan, const QString& AOut);
