#include "sampling/widgets/samplingcommands.h"

#include "grid/statusbartext.h"
#include "grid/widgets/monitorstatusbar.h"
#include "grid/widgets/monitortoolbar.h"
#include "resources/monitoraction.h"
#include "sampling/monitor.h"

#include <QAction>
#include <QComboBox>
#include <QWidget>

TSamplingCommands::TSamplingCommands(std::function<TDervel*()> ASampler,
                                     std::function<void()> ARecompose, QWidget* AWindow)
    : QObject(AWindow),
      actRefresh(MakeMonitorAction(this, "actRefresh", tr("Обновить"), tr("Обновить данные"), 0,
                                   QKeySequence(Qt::Key_F5))),
      actPause(MakeMonitorAction(this, "actPause", tr("Пауза"), tr("Пауза"), 6,
                                 QKeySequence(Qt::CTRL | Qt::Key_P))),
      FSampler(std::move(ASampler)) {
    actPause->setCheckable(true);
    AWindow->addActions({actRefresh, actPause});
    connect(actRefresh, &QAction::triggered, this, std::move(ARecompose));
    connect(actPause, &QAction::triggered, this, [this] { actPauseExecute(); });
}

void TSamplingCommands::attach(QComboBox* APeriod, TMonitorStatusBar* AStatusBar) {
    FPeriod = APeriod;
    FStatusBar = AStatusBar;
    connect(APeriod, &QComboBox::currentIndexChanged, this, [this] { cbPeriodChange(); });
}

void TSamplingCommands::actPauseExecute() {
    TDervel* sampler = FSampler();
    if (!sampler)
        return;
    sampler->Pause = !sampler->Pause;
    actPause->setChecked(sampler->Pause);
    FStatusBar->setPanelText(4, PauseText(sampler->Pause));
}

void TSamplingCommands::cbPeriodChange() {
    const int period = TMonitorToolBar::PeriodOf(FPeriod->currentIndex());
    TDervel* sampler = FSampler();
    if (period > 0 && sampler)
        sampler->Period = period;
}
