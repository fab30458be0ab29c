#include "blocking/widgets/blockingcommands.h"

#include "blocking/widgets/blockingpane.h"
#include "resources/monitoraction.h"
#include "waitresources/resourcenames.h"

#include <QAction>
#include <QWidget>

TBlockingCommands::TBlockingCommands(TBlockingPane* APane, TResourceNames& ANames, THost AHost,
                                     QWidget* AWindow)
    : QObject(AWindow),
      actBlockingTree(MakeMonitorAction(this, "actBlockingTree", tr("Дерево блокировок"),
                                        tr("Дерево блокировок: кто кого держит (Ctrl+T)"), 16,
                                        QKeySequence(Qt::CTRL | Qt::Key_T))),
      FPane(APane), FHost(std::move(AHost)) {
    actBlockingTree->setCheckable(true);
    AWindow->addAction(actBlockingTree);
    FPane->setResourceName([&ANames](const QString& resource) { return ANames.Name(resource); });
    connect(&ANames, &TResourceNames::named, FPane, &TBlockingPane::resourceNamesChanged);
    connect(actBlockingTree, &QAction::toggled, this, [this](bool shown) {
        FPane->setVisible(shown);
        if (shown)
            FPane->showSnapshot(FHost.Rows());
        // The tree's columns join the query, or leave it, from the next sample on.
        FHost.Recompose();
    });
    connect(FPane, &TBlockingPane::sessionSelected, this,
            [this](int spid) { FHost.FocusSession(spid); });
    connect(FPane, &TBlockingPane::openRequested, this, [this](int spid) {
        if (FHost.FocusSession(spid))
            FHost.View->trigger();
    });
    connect(FPane, &TBlockingPane::killRequested, this, [this](int spid) {
        if (FHost.FocusSession(spid))
            FHost.Kill->trigger();
    });
}

void TBlockingCommands::ShowSnapshot(const QList<PMonitorRec>& ARows) {
    if (FPane->isVisible())
        FPane->showSnapshot(ARows);
}
