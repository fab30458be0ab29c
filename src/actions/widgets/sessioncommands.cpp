#include "actions/widgets/sessioncommands.h"

#include "actions/killsession.h"
#include "actions/widgets/containerform.h"
#include "actions/widgets/helpform.h"
#include "actions/widgets/viewform.h"
#include "resources/monitoraction.h"
#include "servers/server.h"

#include <QAction>
#include <QWidget>

TSessionCommands::TSessionCommands(THost AHost, QWidget* AWindow)
    : QObject(AWindow),
      actKillProcess(MakeMonitorAction(this, "actKillProcess", tr("Завершить процесс"),
                                       tr("Завершить процесс"), 8)),
      actKillSelected(
          MakeMonitorAction(this, "actKillSelected", tr("Завершить отмеченные"), {}, -1)),
      actView(MakeMonitorAction(this, "actView", tr("Просмотр"), tr("Просмотр"), 10)),
      actViewBlock(MakeMonitorAction(this, "actViewBlock", tr("Просмотр блокирующего процесса"),
                                     tr("Просмотр блокирующего процесса"), 11)),
      actHelp(MakeMonitorAction(this, "actHelp", tr("Помощь"), tr("Помощь"), 13,
                                QKeySequence(Qt::Key_F1))),
      FHost(std::move(AHost)), FWindow(AWindow) {
    // F1 holds anywhere in the window; the others act on the grid and come with its keys.
    AWindow->addAction(actHelp);
    connect(actKillProcess, &QAction::triggered, this, [this] { actKillProcessExecute(); });
    connect(actKillSelected, &QAction::triggered, this, [this] { actKillSelectedExecute(); });
    connect(actView, &QAction::triggered, this, [this] { actViewExecute(); });
    connect(actViewBlock, &QAction::triggered, this, [this] { actViewBlockExecute(); });
    connect(actHelp, &QAction::triggered, this, [this] { actHelpExecute(); });
}

TViewHost TSessionCommands::viewHost() {
    TViewHost host{[this](PMonitorRec rec, TServer* server) { return KillProcess(rec, server); },
                   FHost.Recompose};
    if (FHost.Replaying())
        host.Recorded = FHost.Recorded();
    return host;
}

bool TSessionCommands::KillProcess(PMonitorRec AMonitorRec, TServer* AServer) {
    if (FHost.Replaying() || !AServer)
        return false;
    const TKillOutcome outcome = KillSession(*AMonitorRec, AServer->Connection);
    if (outcome == TKillOutcome::Declined)
        return false;
    FHost.Recompose();
    return outcome == TKillOutcome::Killed;
}

void TSessionCommands::actKillProcessExecute() {
    const PMonitorRec focused = FHost.Focused();
    TServer* server = FHost.Server();
    if (!focused || !server)
        return;
    // Snapshots that arrive while the question is open overwrite the grid's records.
    TMonitorRec copy = *focused;
    KillProcess(&copy, server);
}

void TSessionCommands::actKillSelectedExecute() {
    TServer* server = FHost.Server();
    if (!server)
        return;
    KillMarkedSessions(FHost.Rows(), FHost.Marked(), server->Connection);
    FHost.Recompose();
}

void TSessionCommands::actViewExecute() {
    const bool replaying = FHost.Replaying();
    const PMonitorRec focused = FHost.Focused();
    TServer* server = replaying ? nullptr : FHost.Server();
    if (!focused || (!server && !replaying))
        return;
    OpenSessionView(FWindow, server, focused, viewHost());
}

void TSessionCommands::actViewBlockExecute() {
    const bool replaying = FHost.Replaying();
    const PMonitorRec focused = FHost.Focused();
    TServer* server = replaying ? nullptr : FHost.Server();
    if (!focused || (!server && !replaying))
        return;
    OpenBlockingPair(FWindow, server, focused, FHost.Rows(), viewHost());
}

void TSessionCommands::actHelpExecute() {
    ShowColourLegend(FWindow);
}

void TSessionCommands::Tune(bool AFocusedSelected, PMonitorRec AFocused, bool AAnyMarked) {
    const bool live = !FHost.Replaying();
    actKillProcess->setEnabled(AFocusedSelected && live);
    actView->setEnabled(AFocusedSelected);
    actViewBlock->setEnabled(AFocusedSelected && AFocused && AFocused->Blocking != 0);
    actKillSelected->setEnabled(AAnyMarked && live);
}
