#include "grid/widgets/gridmarks.h"

#include "grid/statusbartext.h"
#include "grid/widgets/monitorstatusbar.h"
#include "grid/widgets/monitorview.h"
#include "resources/monitoraction.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

TGridMarks::TGridMarks(QList<int>& AMarked, std::function<PMonitorRec()> AFocused,
                       std::function<void()> AChanged, QWidget* AWindow)
    : QObject(AWindow), actSelRec(MakeMonitorAction(this, "actSelRec", tr("Пометить"), {}, -1)),
      actUnselectAll(MakeMonitorAction(this, "actUnselectAll", tr("Снять все пометки"), {}, -1)),
      FMarked(AMarked), FFocused(std::move(AFocused)), FChanged(std::move(AChanged)),
      FWindow(AWindow) {
    connect(actSelRec, &QAction::triggered, this, [this] { actSelRecExecute(); });
    connect(actUnselectAll, &QAction::triggered, this, [this] { actUnselectAllExecute(); });
}

void TGridMarks::attach(TMonitorView* AGrid, TMonitorStatusBar* AStatusBar, QAction* AView,
                        QAction* AViewBlock, QAction* AKill, QAction* AKillMarked, QAction* ATree) {
    FGrid = AGrid;
    FStatusBar = AStatusBar;
    FMenu = new QMenu(FWindow);
    FMenu->setObjectName(QStringLiteral("MenuMonitor"));
    auto addItem = [this](QAction* action, const QString& caption) {
        QAction* item = FMenu->addAction(action->icon(), caption);
        connect(item, &QAction::triggered, action, &QAction::trigger);
        connect(action, &QAction::changed, item,
                [item, action] { item->setEnabled(action->isEnabled()); });
        item->setEnabled(action->isEnabled());
        return item;
    };
    FMenu->setDefaultAction(addItem(AView, tr("Просмотр\tEnter")));
    addItem(AViewBlock, tr("Просмотр с блокирующим\tCtrl+Enter"));
    FSelRecItem = addItem(actSelRec, tr("Пометить\tSpace"));
    addItem(actUnselectAll, tr("Снять все пометки\tShift+Space"));
    addItem(AKill, tr("Завершить процесс\tDel"));
    addItem(AKillMarked, tr("Завершить отмеченные\tCtrl+Del"));
    FMenu->addSeparator();
    FMenu->addAction(ATree);
    AGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(AGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { popup(p); });
    connect(AGrid, &TMonitorView::spacePressed, actSelRec, &QAction::trigger);
    connect(AGrid, &TMonitorView::shiftSpacePressed, actUnselectAll, &QAction::trigger);
}

void TGridMarks::showCount() {
    FStatusBar->setPanelText(3, CountText(FMarked.size()));
}

void TGridMarks::actSelRecExecute() {
    const PMonitorRec rec = FFocused();
    if (!rec)
        return;
    if (FMarked.contains(rec->SPID))
        FMarked.removeAll(rec->SPID);
    else
        FMarked.append(rec->SPID);
    FGrid->viewport()->update();
    showCount();
    FChanged();
}

void TGridMarks::actUnselectAllExecute() {
    FMarked.clear();
    FGrid->viewport()->update();
    FStatusBar->setPanelText(3, QString());
    FChanged();
}

void TGridMarks::Prune(const QList<PMonitorRec>& ARows) {
    if (FMarked.isEmpty())
        return;
    QList<int> present;
    for (const PMonitorRec rec : ARows)
        present << rec->SPID;
    for (qsizetype i = FMarked.size() - 1; i >= 0; --i)
        if (!present.contains(FMarked[i]))
            FMarked.removeAt(i);
    showCount();
}

void TGridMarks::popup(const QPoint& APos) {
    const PMonitorRec rec = FFocused();
    FSelRecItem->setEnabled(rec != nullptr);
    FSelRecItem->setText(rec && FMarked.contains(rec->SPID) ? tr("Снять пометку\tSpace")
                                                            : tr("Пометить\tSpace"));
    FMenu->popup(FGrid->viewport()->mapToGlobal(APos));
}
