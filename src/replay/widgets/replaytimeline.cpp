#include "replay/widgets/replaytimeline.h"

#include <QMouseEvent>
#include <QPainter>

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
    const int x = xOf(FPosition);
    p.setPen(QPen(QColor(0x00, 0x00, 0x80), 2));
    p.drawLine(x, rect().top() + 2, x, rect().bottom() - 2);
}

void TReplayTimeline::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit seekRequested(timeAt(event->position().toPoint().x()));
}

void TReplayTimeline::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        emit seekRequested(timeAt(event->position().toPoint().x()));
}
