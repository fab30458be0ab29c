#pragma once
// Paints the session grid's cells from stored values only: the row colour computed at
// arrival, the own/system session flags, the selection and the focused cell.

#include <QStyledItemDelegate>

class QTableView;

class TMonitorDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // selList: the marked session ids, whose rows carry the tick in the leftmost column.
    TMonitorDelegate(QTableView* view, const QList<int>& selList);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    QTableView* FView;
    const QList<int>& FSelList;
};
