#include "grid/widgets/monitorview.h"

#include "grid/monitorcolumns.h"
#include "grid/widgets/monitordelegate.h"
#include "grid/widgets/monitormodel.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

TMonitorView::TMonitorView(TMonitorModel* model, const QList<int>& selList, QWidget* parent)
    : QTableView(parent), FModel(model) {
    setModel(model);
    setItemDelegate(new TMonitorDelegate(this, selList));
    setObjectName(QStringLiteral("MonitorVT"));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setGridStyle(Qt::SolidLine);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setStyleSheet(QStringLiteral("QTableView { background: #FFFFF5; gridline-color: #C0C0C0; }"));
    QFont cellFont(QStringLiteral("MS Sans Serif"));
    cellFont.setPixelSize(11);
    cellFont.setBold(true);
    setFont(cellFont);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(cellFont).height() + 6);

    QHeaderView* header = horizontalHeader();
    QFont headerFont(QStringLiteral("Tahoma"));
    headerFont.setPointSize(8);
    headerFont.setBold(true);
    header->setFont(headerFont);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(0, Qt::AscendingOrder);
    header->setStretchLastSection(false);
    header->setContextMenuPolicy(Qt::PreventContextMenu);
    header->viewport()->installEventFilter(this);
    // The rate columns are computed here, not queried; they sit right after Blocking.
    LoadCols(BuiltInSavedCols());
    connect(header, &QHeaderView::sectionClicked, this, &TMonitorView::headerClicked);
    connect(model, &QAbstractItemModel::dataChanged, this, &TMonitorView::stateChanged);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &TMonitorView::stateChanged);
}

int TMonitorView::sortColumn() const {
    return FSortColumn;
}

bool TMonitorView::sortDescending() const {
    return FSortDescending;
}

void TMonitorView::setSort(int column, bool descending) {
    FSortColumn = column;
    FSortDescending = descending;
    horizontalHeader()->setSortIndicator(column,
                                         descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TMonitorView::sortByHeader(int column) {
    // A second click turns the order round; the rates are read from the top, busiest
    // first, every other column from its smallest value.
    setSort(column, column == FSortColumn ? !FSortDescending : IsRateColumn(column));
}

void TMonitorView::setColumnDragAllowed(bool allowed) {
    horizontalHeader()->setSectionsMovable(allowed);
}

int TMonitorView::focusedRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

bool TMonitorView::focusSession(int ASPID) {
    for (int row = 0; row < FModel->rowCount(); ++row)
        if (FModel->record(row)->SPID == ASPID) {
            const QModelIndex current = currentIndex();
            const QModelIndex target = FModel->index(row, current.isValid() ? current.column() : 0);
            setCurrentIndex(target);
            scrollTo(target);
            return true;
        }
    return false;
}

void TMonitorView::restoreFocus(const QModelIndex& index, bool scroll) {
    FRestoringFocus = true;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    FRestoringFocus = false;
    if (!scroll)
        return;
    const int across = horizontalScrollBar()->value();
    QTableView::scrollTo(index, EnsureVisible);
    horizontalScrollBar()->setValue(across);
}

void TMonitorView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!FRestoringFocus)
        QTableView::scrollTo(index, hint);
}

bool TMonitorView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == horizontalHeader()->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            // The header's own handling (sorting, dragging) is cancelled.
            const int column = horizontalHeader()->logicalIndexAt(mouse->position().toPoint());
            emit headerRightClicked(column);
            return true;
        }
    }
    return QTableView::eventFilter(watched, event);
}

void TMonitorView::keyPressEvent(QKeyEvent* event) {
    // A key of the grid acts only with its exact modifier set; with any other set it
    // keeps the meaning the view (or the window) gives it.
    const Qt::KeyboardModifiers mods =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool none = mods == Qt::NoModifier;
    const bool ctrl = mods == Qt::ControlModifier;
    const bool shift = mods == Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Delete:
        if (none)
            emit deletePressed();
        else if (ctrl)
            emit ctrlDeletePressed();
        else
            break;
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (none)
            emit enterPressed();
        else if (ctrl)
            emit ctrlEnterPressed();
        else
            break;
        return;
    case Qt::Key_Space:
        if (none) {
            emit spacePressed();
            QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
            QTableView::keyPressEvent(&down);
        } else if (shift) {
            emit shiftSpacePressed();
        } else {
            break;
        }
        return;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (none) {
            moveFocusToColumnEdge(event->key() == Qt::Key_Home);
            return;
        }
        break;
    case Qt::Key_C:
        if (ctrl) {
            copyFocusedCell();
            return;
        }
        break;
    case Qt::Key_B:
        if (ctrl) {
            emit ctrlBPressed();
            return;
        }
        break;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

void TMonitorView::moveFocusToColumnEdge(bool first) {
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    QHeaderView* header = horizontalHeader();
    const int count = header->count();
    for (int i = 0; i < count; ++i) {
        const int logical = header->logicalIndex(first ? i : count - 1 - i);
        if (!header->isSectionHidden(logical)) {
            setCurrentIndex(model()->index(current.row(), logical));
            return;
        }
    }
}

void TMonitorView::copyFocusedCell() {
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    QApplication::clipboard()->setText(current.data(Qt::DisplayRole).toString());
}

void TMonitorView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    // The focused cell's frame and the focused row's text colour move with the focus.
    if (previous.isValid() && previous.row() != current.row())
        viewport()->update();
    emit stateChanged();
}

void TMonitorView::selectionChanged(const QItemSelection& selected,
                                    const QItemSelection& deselected) {
    QTableView::selectionChanged(selected, deselected);
    emit stateChanged();
}

TSavedCols TMonitorView::SaveCols() const {
    const QHeaderView* header = horizontalHeader();
    TSavedCols cols;
    for (int i = 0; i < header->count(); ++i)
        cols << MakeSavedCol(!header->isSectionHidden(i), header->visualIndex(i), sectionWidth(i));
    return cols;
}

void TMonitorView::LoadCols(const TSavedCols& cols) {
    QHeaderView* header = horizontalHeader();
    if (cols.size() != header->count())
        return;
    setUpdatesEnabled(false);
    for (int i = 0; i < cols.size(); ++i) {
        // Sized while shown: a hidden section keeps that width for when it is shown again.
        header->setSectionHidden(i, false);
        header->resizeSection(i, cols[i].ColWidth);
        header->setSectionHidden(i, !SavedColShown(cols[i]));
    }
    const QList<int> order = SavedColsDisplayOrder(cols);
    for (int position = 0; position < order.size(); ++position)
        header->moveSection(header->visualIndex(order[position]), position);
    setUpdatesEnabled(true);
}

int TMonitorView::sectionWidth(int column) const {
    QHeaderView* header = horizontalHeader();
    if (!header->isSectionHidden(column))
        return header->sectionSize(column);
    // The header reports 0 for a hidden section but remembers its width.
    const QSignalBlocker block(header);
    header->setSectionHidden(column, false);
    const int width = header->sectionSize(column);
    header->setSectionHidden(column, true);
    return width;
}
