#pragma once
// A blocking episode as a store keeps it (see episodes/): its span and head for the
// table's own columns, everything else as a JSON object the episodes code reads and
// writes. The store only keeps it; finding episodes is not its business.

#include <QString>
#include <QtGlobal>

struct TRecordedEpisode {
    qint64 Start = 0; // ms since the epoch, UTC: its first and last snapshot
    qint64 End = 0;
    int HeadSPID = 0;
    QString Details; // a JSON object
    bool operator==(const TRecordedEpisode&) const = default;
};
