#include "servers/widgets/serverlistview.h"

#include "servers/server.h"
#include "servers/serverdrop.h"
#include "servers/widgets/serverlistmodel.h"

#include <QDragMoveEvent>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QToolTip>

namespace {
constexpr int kLongTooltipMs = 30000;
}

TServerListView::TServerListView(TServerListModel* model, QWidget* parent)
    : QListView(parent), FModel(model) {
    setObjectName(QStringLiteral("ServerVT"));
    setModel(model);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setIconSize(QSize(kImageWidth, kImageWidth));
    setUniformItemSizes(true);
    setMouseTracking(true);
    setStyleSheet(QStringLiteral("QListView { background: white; color: black; }"
                                 "QListView::item { height: %1px; padding-left: %2px; }")
                      .arg(kRowHeight)
                      .arg(kLeftMargin - 2));
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(11);
    f.setBold(true);
    setFont(f);
}

int TServerListView::focusedRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

int TServerListView::contentRight(int row) const {
    const QRect r = visualRect(FModel->index(row));
    const QString text = FModel->data(FModel->index(row), Qt::DisplayRole).toString();
    return r.left() + kLeftMargin + kImageWidth + 4 + fontMetrics().horizontalAdvance(text);
}

bool TServerListView::acceptsDrop(const QDropEvent* event, int* target, int* position) const {
    if (event->source() != this)
        return false;
    const QPoint p = event->position().toPoint();
    const QModelIndex over = indexAt(p);
    const int dragged = focusedRow();
    if (!over.isValid() || over.row() == dragged)
        return false;
    *target = over.row();
    *position = static_cast<int>(ServerDropPosition(visualRect(over), contentRight(over.row()), p));
    return true;
}

void TServerListView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->source() == this)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TServerListView::dragMoveEvent(QDragMoveEvent* event) {
    int target = -1, position = 0;
    if (acceptsDrop(event, &target, &position))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TServerListView::dropEvent(QDropEvent* event) {
    int target = -1, position = 0;
    if (!acceptsDrop(event, &target, &position)) {
        event->ignore();
        return;
    }
    const int dragged = focusedRow();
    const int to = ServerDropTargetRow(dragged, target, static_cast<TDropPosition>(position));
    if (to >= 0) {
        FModel->move(dragged, to);
        setCurrentIndex(FModel->index(to));
    }
    // The move is ours; the view must not remove the source row itself.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TServerListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    const QModelIndex at = indexAt(event->position().toPoint());
    if (at.isValid())
        emit rowDoubleClicked(at.row());
}

void TServerListView::focusInEvent(QFocusEvent* event) {
    // Qt's views make the first row current when they take the focus without one; here
    // the current row is the watched server, which only the user picks.
    const bool hadCurrent = currentIndex().isValid();
    {
        const QSignalBlocker block(selectionModel());
        QListView::focusInEvent(event);
        if (!hadCurrent && currentIndex().isValid())
            selectionModel()->clearCurrentIndex();
    }
    viewport()->update();
}

void TServerListView::enterEvent(QEnterEvent* event) {
    QListView::enterEvent(event);
}

void TServerListView::leaveEvent(QEvent* event) {
    QToolTip::hideText();
    QListView::leaveEvent(event);
}

bool TServerListView::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QListView::viewportEvent(event);
    // The version shows over a row's state image only; over the text, nothing.
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex at = indexAt(help->pos());
    const TServer* server = at.isValid() ? FModel->server(at.row()) : nullptr;
    if (server && help->pos().x() <= kImageWidth + kLeftMargin && !server->Version.isEmpty())
        QToolTip::showText(help->globalPos(), server->Version, viewport(), visualRect(at),
                           kLongTooltipMs);
    else
        QToolTip::hideText();
    return true;
}
