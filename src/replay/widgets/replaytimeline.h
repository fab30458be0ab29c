#pragma once
// The time line of a recording: its whole span left to right, the times without
// snapshots in red, the snapshot on show as a mark. A click or a drag asks for a time.

#include "recorder/recordingfile.h"

#include <QWidget>

class TReplayTimeline : public QWidget {
    Q_OBJECT
public:
    explicit TReplayTimeline(QWidget* parent = nullptr);

    void setSpan(qint64 AFirstMs, qint64 ALastMs, const QList<TRecordingGap>& AGaps);
    void setPosition(qint64 ATimeMs);
    qint64 position() const { return FPosition; }
    // The time under an x position of the widget.
    qint64 timeAt(int AX) const;
    // The x position of a time.
    int xOf(qint64 ATimeMs) const;

    QSize sizeHint() const override;

signals:
    void seekRequested(qint64 ATimeMs);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QRect track() const;

    qint64 FFirst = 0;
    qint64 FLast = 0;
    qint64 FPosition = 0;
    QList<TRecordingGap> FGaps;
};
