#include "blocking/widgets/blockingpane.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QStackedLayout>
#include <QTreeView>

TBlockingPane::TBlockingPane(QWidget* parent)
    : QWidget(parent), FModel(new TBlockingTreeModel(this)), FTree(new QTreeView(this)),
      FNoChains(new QLabel(this)), FStack(new QStackedLayout(this)) {
    setObjectName(QStringLiteral("BlockingPane"));
    FTree->setObjectName(QStringLiteral("BlockingTree"));
    FTree->setModel(FModel);
    FTree->setUniformRowHeights(true);
    FTree->setAllColumnsShowFocus(true);
    FTree->setSelectionBehavior(QAbstractItemView::SelectRows);
    FTree->setSelectionMode(QAbstractItemView::SingleSelection);
    FTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FTree->header()->setStretchLastSection(true);
    FTree->installEventFilter(this);
    FNoChains->setObjectName(QStringLiteral("NoChains"));
    FNoChains->setText(tr("Цепочек блокировок нет."));
    FNoChains->setContentsMargins(8, 4, 8, 4);
    FNoChains->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FStack->addWidget(FTree);
    FStack->addWidget(FNoChains);
    FStack->setCurrentWidget(FNoChains);

    // A chain that forms is shown whole; what the user folds stays folded.
    connect(FModel, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parentIndex, int first, int last) {
                for (int row = first; row <= last; ++row)
                    FTree->expandRecursively(FModel->index(row, 0, parentIndex));
                if (parentIndex.isValid())
                    FTree->expand(parentIndex);
                FFitPending = true;
            });
    // Columns widen for what new chains bring, except those the user has sized; the rows
    // measured for it are few, so a snapshot full of chains costs little.
    FTree->header()->setResizeContentsPrecision(200);
    FTree->header()->setDefaultSectionSize(fontMetrics().averageCharWidth() * 6);
    connect(FTree->header(), &QHeaderView::sectionResized, this, [this](int column) {
        if (!FFitting)
            FUserSized.insert(column);
    });
    connect(FTree->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (FModel->inSnapshot(current))
                    emit sessionSelected(FModel->spidOf(current));
            });
}

void TBlockingPane::setResourceName(TBlockingTreeModel::TResourceName AName) {
    FModel->setResourceName(std::move(AName));
}

void TBlockingPane::showSnapshot(const QList<PMonitorRec>& ARows) {
    const TBlockingForest forest = BuildBlockingForest(ARows);
    FModel->setForest(forest);
    FStack->setCurrentWidget(forest.Heads.isEmpty() ? static_cast<QWidget*>(FNoChains) : FTree);
    if (FFitPending)
        fitColumns();
}

void TBlockingPane::fitColumns() {
    FFitPending = false;
    FFitting = true;
    QHeaderView* header = FTree->header();
    // A long program name or resource may not push the rest out of sight.
    const int widest = fontMetrics().averageCharWidth() * 40;
    for (int c = 0; c < TBlockingTreeModel::colCount; ++c) {
        if (FUserSized.contains(c))
            continue;
        const int before = header->sectionSize(c);
        FTree->resizeColumnToContents(c);
        const int wanted = std::min(header->sectionSize(c), std::max(widest, before));
        header->resizeSection(c, std::max(before, wanted));
    }
    FFitting = false;
}

bool TBlockingPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FTree && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QModelIndex current = FTree->currentIndex();
        const bool plain =
            (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) ==
            Qt::NoModifier;
        if (plain && FModel->inSnapshot(current)) {
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                emit openRequested(FModel->spidOf(current));
                return true;
            }
            if (key->key() == Qt::Key_Delete) {
                emit killRequested(FModel->spidOf(current));
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}
