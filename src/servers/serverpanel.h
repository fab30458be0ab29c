#pragma once
// The collapsible left-hand panel: the server tool bar, the server list and its status
// bar, with the commands that add, edit, delete, connect and disconnect entries.

#include "servers/server.h"

#include <QWidget>

class QAction;
class QMenu;
class QToolBar;
class TMainStatusBar;
class TServerListModel;
class TServerListView;
class TServerPanelHost;

class TServerPanel : public QWidget {
    Q_OBJECT
public:
    TServerPanel(TServerPanelHost& host, QWidget* parent = nullptr);

    // Creates an entry, appends its row and, with ASelect, focuses it.
    TServer* NewServer(const QString& AName, const QString& AConnectionString, bool ASelect);
    TServer* SelectedServer() const; // the entry of the focused row, or nullptr
    TServerListModel* model() const { return FModel; }
    TServerListView* view() const { return ServerVT; }

    // Enables the server commands for the focused entry and refreshes the counts.
    void TuneActions();
    void MainStatusBarInfo();
    void RedrawServer(const TServer* server);

    void actAddConnectionExecute();
    void actEditConnectionExecute();
    void actDeleteConnectionExecute();
    void actConnectExecute();
    // userCommand: false for the silent form after a failed sample.
    void actDisconnectExecute(bool userCommand = true);
    // Focuses the first entry of that name and connects it, as picking it and choosing
    // Connect would. False when there is none.
    bool ConnectEntry(const QString& AName);

    QAction* actAddConnection;
    QAction* actConnect;
    QAction* actDisconnect;
    QAction* actEditConnection;
    QAction* actDeleteConnection;

    QToolBar* MainToolBar;
    TServerListView* ServerVT;
    TMainStatusBar* MainStatusBar;
    QMenu* MenuServer;

private:
    void ServerVTChange();

    TServerPanelHost& FHost;
    TServerListModel* FModel;
};
