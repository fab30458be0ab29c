#include "servers/widgets/splitstrip.h"

#include <QApplication>
#include <QMouseEvent>
#include <cstdlib>

TSplitStrip::TSplitStrip(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("SplitPanel"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setFixedWidth(3);
}

void TSplitStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        FPressedAt = int(event->globalPosition().x());
        FDragging = false;
    }
    QFrame::mousePressEvent(event);
}

void TSplitStrip::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) {
        const int distance = int(event->globalPosition().x()) - FPressedAt;
        // A click that wobbles a pixel stays a click.
        if (FDragging || std::abs(distance) >= QApplication::startDragDistance()) {
            FDragging = true;
            emit dragged(distance);
        }
    }
    QFrame::mouseMoveEvent(event);
}

void TSplitStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !FDragging &&
        rect().contains(event->position().toPoint()))
        emit clicked();
    if (event->button() == Qt::LeftButton && FDragging) {
        FDragging = false;
        emit dragFinished();
    }
    QFrame::mouseReleaseEvent(event);
}
