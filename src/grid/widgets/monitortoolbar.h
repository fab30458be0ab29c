#pragma once
// The session tool bar: period, refresh, pause, follow-focus and record buttons, the
// session commands, and the filters (blocking only, user sessions only, login, database,
// statuses). It only lays the controls out; the main window reacts to them.

#include <QToolBar>

class QComboBox;
class QLineEdit;
class QToolButton;
class TStatusFilterEdit;

// The main window's commands that stand on the bar.
struct TMonitorToolBarActions {
    QAction* actRefresh;
    QAction* actPause;
    QAction* actHelp;
    QAction* actKillProcess;
    QAction* actView;
    QAction* actViewBlock;
    QAction* actClearFilter;
    QAction* actExit;
    QAction* actBlockingTree;  // shows and hides the blocking tree under the grid
    QAction* actOpenRecording; // shows a recording instead of the live server
    QAction* actRecordReplay;  // records the watched server for replay
    QAction* actAlerts;        // shows and hides the alerts' pane
};

class TMonitorToolBar : public QToolBar {
    Q_OBJECT
public:
    static constexpr int kDefaultPeriodIndex = 5; // "10 с"
    // The sampler's Period (10 ms steps) of an entry of the period list; -1 for none.
    static int PeriodOf(int index);

    TMonitorToolBar(const TMonitorToolBarActions& actions, QWidget* parent = nullptr);
    // The database filter's list for another set of names, keeping the chosen database
    // where the new list has it too.
    void setDatabases(const QStringList& names);

    QComboBox* cbPeriod;
    QToolButton* tbPause;
    QToolButton* tbFollowFocus;
    QToolButton* tbRecord;
    QToolButton* tbShowBlocked;
    QToolButton* tbHideSys;
    QLineEdit* edLogin;
    QAction* edLoginClear; // the clear button at the login filter's right end
    QComboBox* cbDBList;
    TStatusFilterEdit* edStFlt;
};
