#pragma once
// How the sampler samples: "Обновить" (F5) hands the query over again at once, "Пауза"
// (Ctrl+P) stops sampling and resumes it (a hand-over still gets its one sample, so a
// refresh or a filter change shows a fresh snapshot), and the period's list sets the pause
// between samples.

#include <QObject>
#include <functional>

class QAction;
class QComboBox;
class QWidget;
class TDervel;
class TMonitorStatusBar;

class TSamplingCommands : public QObject {
    Q_OBJECT
public:
    // ASampler gives the sampler, null once the window began to close; ARecompose hands
    // the query over again.
    TSamplingCommands(std::function<TDervel*()> ASampler, std::function<void()> ARecompose,
                      QWidget* AWindow);

    QAction* const actRefresh;
    QAction* const actPause;

    // The period's list, and the status bar that says "Пауза"; once.
    void attach(QComboBox* APeriod, TMonitorStatusBar* AStatusBar);
    void actPauseExecute();
    void cbPeriodChange();

private:
    std::function<TDervel*()> FSampler;
    QComboBox* FPeriod = nullptr;
    TMonitorStatusBar* FStatusBar = nullptr;
};
