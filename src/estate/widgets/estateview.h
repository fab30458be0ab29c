#pragma once
// The estate in the widened server panel: every entry with its figures, sortable by a
// header click without changing the list's own order, and the same focused entry as the
// list (choosing a row here is choosing it there).

#include <QTreeView>

class QSortFilterProxyModel;
class TEstateModel;
class TServerListView;

class TEstateView : public QTreeView {
    Q_OBJECT
public:
    TEstateView(TEstateModel* AModel, TServerListView* AList, QWidget* parent = nullptr);

    // The entry's row in the list's terms (-1 for none), as shown at this row here.
    int listRow(int AViewRow) const;
    int viewRow(int AListRow) const;

signals:
    void rowDoubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void followList();
    TEstateModel* FModel;
    QSortFilterProxyModel* FSorted;
    TServerListView* FList;
    bool FFollowing = false;
};
