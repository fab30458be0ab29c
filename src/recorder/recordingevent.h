#pragma once
// An event of a recording: an alert raised or cleared while the server was recorded. The
// snapshots say what the server did; the events say what the recorder's rules made of it.

#include <QString>
#include <QtGlobal>

struct TRecordingEvent {
    qint64 Time = 0;          // ms since the epoch, UTC, on the recording's clock
    QString Kind;             // "raised" or "cleared"
    QString Rule;             // the rule's key: "blocking", "long-request", ...
    QString Key;              // the episode's: the same in its raised and its cleared event
    QString Subject;          // what it is about, in words
    qint64 SnapshotTime = -1; // the snapshot it was seen in; -1 for none (no answer)
    QString Details;          // the figures, a JSON object
    bool operator==(const TRecordingEvent&) const = default;
};
