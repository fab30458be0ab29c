#include "alerts/widgets/alertpane.h"

#include "alerts/widgets/alertlistmodel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

TAlertPane::TAlertPane(TAlertListModel* AModel, QWidget* parent)
    : QWidget(parent), FModel(AModel), FNotice(new QLabel(this)), FView(new QTreeView(this)) {
    setObjectName(QStringLiteral("AlertPane"));
    FNotice->setObjectName(QStringLiteral("AlertNotice"));
    FNotice->setWordWrap(true);
    FNotice->hide();
    FView->setObjectName(QStringLiteral("AlertView"));
    FView->setModel(FModel);
    FView->setRootIsDecorated(false);
    FView->setUniformRowHeights(true);
    FView->setAllColumnsShowFocus(true);
    FView->setSelectionBehavior(QAbstractItemView::SelectRows);
    FView->header()->setStretchLastSection(true);
    // Times, the server and the rule are short and read whole; the subject takes the rest.
    for (int c = TAlertListModel::Start; c < TAlertListModel::Subject; ++c)
        FView->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FNotice);
    layout->addWidget(FView, 1);
    const auto choose = [this](const QModelIndex& index) {
        if (const TAlert* a = FModel->alert(index.row()))
            emit alertChosen(*a);
    };
    connect(FView, &QTreeView::activated, this, choose);
    // The newest alert in sight as it comes, unless the user is looking further up.
    connect(FModel, &QAbstractItemModel::rowsInserted, this, [this] {
        if (!FView->currentIndex().isValid())
            FView->scrollToBottom();
    });
}

void TAlertPane::setNotice(const QString& AText) {
    FNotice->setText(AText);
    FNotice->setVisible(!AText.isEmpty());
}
