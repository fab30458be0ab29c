#include "servers/widgets/panelswitch.h"

#include "resources/appcursors.h"
#include "resources/monitoraction.h"
#include "servers/widgets/serverpanel.h"
#include "servers/widgets/splitstrip.h"

#include <QAction>

TPanelSwitch::TPanelSwitch(TServerPanel* APanel, QWidget* AWindow)
    : QObject(AWindow),
      actShowPanel(MakeMonitorAction(this, "actShowPanel", tr("Скрыть/показать панель подключений"),
                                     tr("Скрыть/показать панель подключений"), -1,
                                     QKeySequence(Qt::Key_F2))),
      Strip(new TSplitStrip(AWindow)), FPanel(APanel) {
    AWindow->addAction(actShowPanel);
    connect(actShowPanel, &QAction::triggered, this, [this] { actShowPanelExecute(); });
    connect(Strip, &TSplitStrip::clicked, this, [this] { actShowPanelExecute(); });
    showState(true);
}

void TPanelSwitch::actShowPanelExecute() {
    const bool open = FPanel->isVisible();
    FPanel->setVisible(!open);
    FPanel->setEnabled(!open);
    FPanel->actAddConnection->setEnabled(!open);
    showState(!open);
}

void TPanelSwitch::showState(bool AOpen) {
    Strip->setCursor(AOpen ? ArrowLeftCursor() : ArrowRightCursor());
    Strip->setToolTip(AOpen ? tr("Скрыть панель подключений (F2)")
                            : tr("Показать панель подключений (F2)"));
}
