#include "replay/widgets/replaytimeline.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

TReplayTimeline::TReplayTimeline(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ReplayTimeline"));
    setMinimumWidth(120);
    setCursor(Qt::PointingHandCursor);
    setToolTip(tr("Щелчок — перейти к этому времени"));
}

QSize TReplayTimeline::sizeHint() const {
    return {400, 22};
}

void TReplayTimeline::setSpan(qint64 AFirstMs, qint64 ALastMs, const QList<TRecordingGap>& AGaps) {
    FFirst = AFirstMs;
    FLast = std::max(ALastMs, AFirstMs);
    FGaps = AGaps;
    update();
}

void TReplayTimeline::setEvents(const QList<TRecordingEvent>& AEvents) {
    FMarks.clear();
    for (const TRecordingEvent& e : AEvents)
        if (e.Kind == QLatin1String("raised"))
            FMarks.append(e);
    update();
}

namespace {

qint64 markTime(const TRecordingEvent& AEvent) {
    return AEvent.SnapshotTime >= 0 ? AEvent.SnapshotTime : AEvent.Time;
}

constexpr int kMarkReach = 4;              // px either side of a mark that a click takes for it
const QColor kBandColor(0x80, 0x40, 0xC0); // episodes: violet, apart from gaps and alerts

} // namespace

std::optional<qint64> TReplayTimeline::markAt(int AX) const {
    std::optional<qint64> nearest;
    int best = kMarkReach + 1;
    for (const TRecordingEvent& e : FMarks) {
        const int d = std::abs(xOf(markTime(e)) - AX);
        if (d < best) {
            best = d;
            nearest = markTime(e);
        }
    }
    return nearest;
}

void TReplayTimeline::setEpisodes(const QList<TBand>& ABands) {
    FBands = ABands;
    update();
}

int TReplayTimeline::bandTop() const {
    return track().bottom() - 3;
}

std::optional<qint64> TReplayTimeline::bandAt(const QPoint& APos) const {
    if (APos.y() < bandTop())
        return std::nullopt;
    std::optional<qint64> start;
    // An episode of one snapshot is a band of no width: it is reached as a mark is.
    for (const TBand& b : FBands)
        if (APos.x() >= xOf(b.Start) - kMarkReach / 2 && APos.x() <= xOf(b.End) + kMarkReach / 2)
            if (!start || b.Start > *start)
                start = b.Start;
    return start;
}

void TReplayTimeline::setPosition(qint64 ATimeMs) {
    FPosition = ATimeMs;
    update();
}

QRect TReplayTimeline::track() const {
    return rect().adjusted(6, 6, -6, -6);
}

int TReplayTimeline::xOf(qint64 ATimeMs) const {
    const QRect t = track();
    if (FLast <= FFirst)
        return t.left();
    const double share =
        double(std::clamp(ATimeMs, FFirst, FLast) - FFirst) / double(FLast - FFirst);
    return t.left() + int(share * t.width() + 0.5);
}

qint64 TReplayTimeline::timeAt(int AX) const {
    const QRect t = track();
    if (t.width() <= 0 || FLast <= FFirst)
        return FFirst;
    const double share = std::clamp(double(AX - t.left()) / t.width(), 0.0, 1.0);
    return FFirst + qint64(share * double(FLast - FFirst) + 0.5);
}

void TReplayTimeline::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect t = track();
    p.fillRect(t, palette().color(QPalette::Base));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(t.adjusted(0, 0, -1, -1));
    for (const TRecordingGap& g : FGaps) {
        const int from = xOf(g.Start), to = xOf(g.End);
        p.fillRect(QRect(QPoint(from, t.top() + 1), QPoint(std::max(from + 1, to), t.bottom() - 1)),
                   QColor(0xE0, 0x40, 0x40));
    }
    for (const TBand& b : FBands) {
        const int from = xOf(b.Start), to = xOf(b.End);
        p.fillRect(QRect(QPoint(from, bandTop()), QPoint(std::max(from + 2, to), rect().bottom())),
                   kBandColor);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xF0, 0x80, 0x00));
    for (const TRecordingEvent& e : FMarks) {
        const int mx = xOf(markTime(e));
        const QPoint tip(mx, t.top() + 4);
        p.drawPolygon(QPolygon({tip, QPoint(mx - 4, rect().top()), QPoint(mx + 4, rect().top())}));
    }
    const int x = xOf(FPosition);
    p.setPen(QPen(QColor(0x00, 0x00, 0x80), 2));
    p.drawLine(x, rect().top() + 2, x, rect().bottom() - 2);
}

void TReplayTimeline::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    if (const std::optional<qint64> mark = markAt(at.x()))
        emit seekRequested(*mark);
    else if (const std::optional<qint64> start = bandAt(at))
        emit episodeRequested(*start);
    else
        emit seekRequested(timeAt(at.x()));
}

bool TReplayTimeline::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // Over an alert's mark, what it was; elsewhere the line's own hint.
        const int x = static_cast<QHelpEvent*>(event)->pos().x();
        QStringList subjects;
        for (const TRecordingEvent& e : FMarks)
            if (std::abs(xOf(markTime(e)) - x) <= kMarkReach)
                subjects << e.Subject;
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                           subjects.isEmpty() ? toolTip() : subjects.join(u'\n'), this);
        return true;
    }
    return QWidget::event(event);
}

void TReplayTimeline::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        emit seekRequested(timeAt(event->position().toPoint().x()));
}
