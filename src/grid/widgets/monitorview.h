#pragma once
// The session grid: a table over TMonitorModel with the grid's own keys, header
// behaviour (server-side sorting, the column chooser on a right click, no dragging
// while recording) and the painting of its delegate.

#include "settings/savedcols.h"

#include <QTableView>

class TMonitorModel;

class TMonitorView : public QTableView {
    Q_OBJECT
public:
    TMonitorView(TMonitorModel* model, const QList<int>& selList, QWidget* parent = nullptr);

    TMonitorModel* monitorModel() const { return FModel; }
    // Columns by fixed index; sorting is the server's, the header only shows it.
    int sortColumn() const;
    bool sortDescending() const;
    void setSort(int column, bool descending);
    // The sort a click on a column's header asks for.
    void sortByHeader(int column);
    // While recording the log's column order must not change.
    void setColumnDragAllowed(bool allowed);
    int focusedRow() const; // -1 when no row is focused
    // Focuses the first row of the session, in the focused column; false when it has none.
    bool focusSession(int ASPID);
    // Focuses and selects the cell of a new snapshot's row that shows the focused
    // session. Qt would scroll to it; the grid scrolls only when asked to, and then only
    // vertically, so the columns the user scrolled to stay in view.
    void restoreFocus(const QModelIndex& index, bool scroll);
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

    // The column layout by column index: shown, display position, width.
    TSavedCols SaveCols() const;
    // Applies a layout with one record per column, in one repaint.
    void LoadCols(const TSavedCols& cols);

signals:
    // Keys of the grid, matched with their exact modifier set.
    void deletePressed();
    void enterPressed();
    void spacePressed();
    void shiftSpacePressed();
    void ctrlEnterPressed();
    void ctrlDeletePressed();
    void ctrlBPressed();
    void headerClicked(int column);
    void headerRightClicked(int column); // -1 over no column
    void stateChanged();                 // focus, selection or contents changed

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void moveFocusToColumnEdge(bool first);
    int sectionWidth(int column) const; // also of a hidden column
    void copyFocusedCell();

    TMonitorModel* FModel;
    bool FRestoringFocus = false;
    // The header flips its own indicator on a click; the grid keeps the order itself.
    int FSortColumn = 0;
    bool FSortDescending = false;
};
