#include "servers/widgets/splitstrip.h"

#include <QMouseEvent>

TSplitStrip::TSplitStrip(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("SplitPanel"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setFixedWidth(3);
}

void TSplitStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QFrame::mouseReleaseEvent(event);
}
