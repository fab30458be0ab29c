#pragma once
// The time line of a recording: its whole span left to right, the times without
// snapshots in red, the alerts raised as orange marks above the track, the snapshot on show
// as a mark, the blocking episodes as violet bands below the track. A click or a drag asks
// for a time; a click on an alert's mark asks for the snapshot the alert was raised in, one
// on an episode's band for that episode.

#include "recorder/recordingfile.h"

#include <QWidget>
#include <optional>

class TReplayTimeline : public QWidget {
    Q_OBJECT
public:
    explicit TReplayTimeline(QWidget* parent = nullptr);

    void setSpan(qint64 AFirstMs, qint64 ALastMs, const QList<TRecordingGap>& AGaps);
    void setPosition(qint64 ATimeMs);
    // The alerts to mark: the raised ones are drawn, at the snapshot they were seen in.
    void setEvents(const QList<TRecordingEvent>& AEvents);
    // The time of the alert's mark under an x position, if there is one within reach.
    std::optional<qint64> markAt(int AX) const;
    // The episodes to mark, each a band from its start to its end.
    struct TBand {
        qint64 Start;
        qint64 End;
    };
    void setEpisodes(const QList<TBand>& ABands);
    // The start of the episode whose band is under a point, if one is within reach; the
    // latest starting one where bands meet.
    std::optional<qint64> bandAt(const QPoint& APos) const;
    // Where the bands are drawn: below the track, to the widget's bottom.
    int bandTop() const;
    qint64 position() const { return FPosition; }
    // The time under an x position of the widget.
    qint64 timeAt(int AX) const;
    // The x position of a time.
    int xOf(qint64 ATimeMs) const;

    QSize sizeHint() const override;

signals:
    void seekRequested(qint64 ATimeMs);
    // A click on an episode's band: the start of that episode.
    void episodeRequested(qint64 AStartMs);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    QRect track() const;

    qint64 FFirst = 0;
    qint64 FLast = 0;
    qint64 FPosition = 0;
    QList<TRecordingGap> FGaps;
    QList<TRecordingEvent> FMarks; // raised alerts only
    QList<TBand> FBands;
};
