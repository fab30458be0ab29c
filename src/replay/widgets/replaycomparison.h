#pragma once
// Two moments of a recording compared in the grid: "Отметить момент" keeps the snapshot on
// show; "Сравнить" then shows every later (or earlier) snapshot against it, the sessions
// that appeared, ended or changed marked and the counters' growth in the rate columns.
// The comparison stays while the user steps and plays on, each snapshot against the same
// mark, until "Сравнить" is pressed again, a moment is marked anew or the recording closes.

#include "recorder/recordingfile.h"
#include "recorder/rowcodec.h"

#include <QObject>

class QAction;
class QLabel;
class TReplayBar;

class TReplayComparison : public QObject {
    Q_OBJECT
public:
    // Puts its buttons and its label on the bar.
    TReplayComparison(TReplayBar* ABar, QObject* AParent);

    // "Отметить момент" (Ctrl+M).
    QAction* const actMark;
    // "Сравнить" (Ctrl+Shift+M), checked while the comparison is on.
    QAction* const actCompare;
    QLabel* const lbMark;

    // Keeps the rows of the snapshot on show as the first moment.
    void Mark(const TRowState& ARows, qint64 ATimeMs);
    // Forgets the mark: another recording, or none.
    void Clear();
    bool comparing() const;
    qint64 markTime() const { return FMarkTime; }

    // The rows to show for a snapshot while comparing: see ComparedState. Keeps what the
    // status bar says of it.
    TRowState Compare(const TRowState& ARows, qint64 ATimeMs, const QList<TRecordingGap>& AGaps);
    // What the status bar says of the comparison on show; empty when there is none.
    const QString& text() const { return FText; }

private:
    TRowState FMarked;
    qint64 FMarkTime = -1;
    QString FText;
};
