#pragma once
// The grid's commands on sessions: ending the focused one or every marked one, the detail
// window, the blocked session beside its blocker, and the colour legend. Each is an action
// the window puts on its tool bar, menu and keys; what the commands need of the window
// comes as callbacks, so they know nothing else of it.

#include "actions/widgets/viewhost.h"
#include "sampling/monitorrec.h"

#include <QList>
#include <QObject>
#include <functional>

class QAction;
class QWidget;
class TServer;

class TSessionCommands : public QObject {
    Q_OBJECT
public:
    struct THost {
        std::function<PMonitorRec()> Focused;      // the grid's focused record, or null
        std::function<QList<PMonitorRec>()> Rows;  // the grid's records, top to bottom
        std::function<const QList<int>&()> Marked; // the marked sessions' SPIDs
        std::function<TServer*()> Server;          // the watched entry, or null
        std::function<bool()> Replaying;           // a recording is on show
        // While replaying: what was recorded of the sessions, for the detail windows.
        std::function<std::optional<TViewHost::TRecorded>()> Recorded;
        std::function<void()> Recompose; // the query again, at once
    };

    // AWindow owns the detail windows and the legend.
    TSessionCommands(THost AHost, QWidget* AWindow);

    QAction* const actKillProcess;
    QAction* const actKillSelected;
    QAction* const actView;
    QAction* const actViewBlock;
    QAction* const actHelp;

    // Ends the session after the user's confirmation and the check that it still belongs
    // to the same login; true when it was ended.
    bool KillProcess(PMonitorRec AMonitorRec, TServer* AServer);
    void actKillProcessExecute();
    void actKillSelectedExecute();
    void actViewExecute();
    void actViewBlockExecute();
    void actHelpExecute();

    // The commands' enabled states for the grid's state.
    void Tune(bool AFocusedSelected, PMonitorRec AFocused, bool AAnyMarked);

private:
    TViewHost viewHost();

    THost FHost;
    QWidget* FWindow;
};
