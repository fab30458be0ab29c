#include "grid/widgets/statusfilteredit.h"

#include "resources/imagelists.h"

#include <QAction>
#include <QKeyEvent>

TStatusFilterEdit::TStatusFilterEdit(QWidget* parent) : QLineEdit(parent) {
    setObjectName(QStringLiteral("edStFlt"));
    setReadOnly(true);
    setFixedWidth(114);
    setCursor(Qt::ArrowCursor);
    setContextMenuPolicy(Qt::NoContextMenu);
    setStyleSheet(QStringLiteral("QLineEdit { color: #008080; font-weight: bold; }"));
    QAction* button = addAction(MonitorImageList(14), QLineEdit::TrailingPosition);
    connect(button, &QAction::triggered, this, &TStatusFilterEdit::openRequested);
}

void TStatusFilterEdit::keyPressEvent(QKeyEvent* event) {
    // Tab and Shift+Tab never reach here: focus changes are the window's.
    const auto mods =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (mods == Qt::NoModifier && event->key() != Qt::Key_Escape)
        emit openRequested();
    event->accept();
}

void TStatusFilterEdit::focusInEvent(QFocusEvent* event) {
    // A line edit selects its text when Tab brings the focus; this field is a summary,
    // not an edit.
    QLineEdit::focusInEvent(event);
    setCursorPosition(0);
    deselect();
}

void TStatusFilterEdit::mousePressEvent(QMouseEvent* event) {
    event->accept();
    emit openRequested();
}

void TStatusFilterEdit::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    setCursorPosition(0);
    deselect();
}

void TStatusFilterEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

void TStatusFilterEdit::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
}
