#include "estate/widgets/estateview.h"

#include "estate/widgets/estatemodel.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverlistview.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QSortFilterProxyModel>

TEstateView::TEstateView(TEstateModel* AModel, TServerListView* AList, QWidget* parent)
    : QTreeView(parent), FModel(AModel), FSorted(new QSortFilterProxyModel(this)), FList(AList) {
    setObjectName(QStringLiteral("EstateVT"));
    FSorted->setSourceModel(AModel);
    FSorted->setSortRole(TEstateModel::SortRole);
    FSorted->setDynamicSortFilter(true);
    setModel(FSorted);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setFont(AList->font());
    setIconSize(AList->iconSize());
    setStyleSheet(QStringLiteral("QTreeView { background: white; color: black; }"
                                 "QTreeView::item { height: 22px; }"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    // Unsorted until the user clicks a header: the list's own order.
    setSortingEnabled(true);
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    header()->setStretchLastSection(false);
    header()->setMinimumSectionSize(24); // the figures are short; the style's minimum is not
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->setSectionResizeMode(TEstateModel::Name, QHeaderView::Stretch);
    for (int c = TEstateModel::Sessions; c < TEstateModel::ColumnCount; ++c)
        header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);

    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (FFollowing)
                    return;
                const int row = current.isValid() ? listRow(current.row()) : -1;
                if (row >= 0 && FList->currentIndex().row() != row)
                    FList->setCurrentIndex(FList->model()->index(row, 0));
            });
    connect(FList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { followList(); });
    connect(FSorted, &QAbstractItemModel::layoutChanged, this, [this] { followList(); });
}

int TEstateView::listRow(int AViewRow) const {
    const QModelIndex at = FSorted->index(AViewRow, 0);
    return at.isValid() ? FSorted->mapToSource(at).row() : -1;
}

int TEstateView::viewRow(int AListRow) const {
    const QModelIndex at = FSorted->mapFromSource(FModel->index(AListRow, 0));
    return at.isValid() ? at.row() : -1;
}

void TEstateView::followList() {
    FFollowing = true;
    const QModelIndex listCurrent = FList->currentIndex();
    const int row = listCurrent.isValid() ? viewRow(listCurrent.row()) : -1;
    if (row < 0) {
        setCurrentIndex(QModelIndex());
        clearSelection();
    } else if (currentIndex().row() != row) {
        setCurrentIndex(FSorted->index(row, 0));
    }
    FFollowing = false;
}

void TEstateView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        emit rowDoubleClicked();
}
