#pragma once
// The bar above the grid while a recording is shown: step back, play or pause, step on,
// the pace, the time line, the snapshot's time, a time to go to, and closing.

#include "recorder/recordingfile.h"

#include <QWidget>

class QAction;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QToolButton;
class TReplayTimeline;

class TReplayBar : public QWidget {
    Q_OBJECT
public:
    explicit TReplayBar(QWidget* parent = nullptr);

    void setSpan(qint64 AFirstMs, qint64 ALastMs, const QList<TRecordingGap>& AGaps);
    void setEvents(const QList<TRecordingEvent>& AEvents);
    // The snapshot on show: its time, its place among all, and the gap just before it.
    void showPosition(qint64 ATimeMs, int AIndex, int ACount,
                      const std::optional<TRecordingGap>& AGapBefore);
    void setPlaying(bool APlaying);
    // The pace chosen: 1 is the recorded pace.
    double speed() const;
    // Buttons for more of the replay's commands, and a label of theirs, after the time line.
    void addTools(const QList<QAction*>& AActions, QLabel* ALabel);

    QAction* actPrevious;
    QAction* actPlay;
    QAction* actNext;
    QAction* actGoTo;
    QAction* actClose;
    QComboBox* cbSpeed;
    TReplayTimeline* Timeline;
    QLabel* lbTime;
    QLabel* lbGap;
    QDateTimeEdit* edGoTo;

signals:
    void seekRequested(qint64 ATimeMs);

private:
    int FToolsAt = 0; // where addTools puts the next button in the layout
};

// A time as the grid shows times: local, "dd.MM.yyyy HH:mm:ss".
QString ReplayTimeText(qint64 ATimeMs);
