#pragma once
// The collapsible left-hand panel: the server tool bar, the server list and its status
// bar, with the commands that add, edit, delete, connect and disconnect entries.

#include "servers/server.h"

#include <QWidget>
#include <functional>

class QAction;
class QMenu;
class QToolBar;
class TMainStatusBar;
class TServerListModel;
class TServerListView;
class TServerPanelHost;
class TServerSecrets;

class TServerPanel : public QWidget {
    Q_OBJECT
public:
    TServerPanel(TServerPanelHost& host, QWidget* parent = nullptr);

    // Creates an entry, appends its row and, with ASelect, focuses it.
    TServer* NewServer(const QString& AName, const QString& AConnectionString, bool ASelect);
    TServer* SelectedServer() const; // the entry of the focused row, or nullptr
    // Focuses the entry's row, as a click on it does.
    void SelectServer(const TServer* AServer);
    TServerListModel* model() const { return FModel; }
    TServerListView* view() const { return ServerVT; }

    // Passwords in the keyring from now on: connects ask it, Add and Edit offer it, Delete
    // forgets the entry's secret. Without it the panel keeps passwords in the strings.
    void SetSecrets(TServerSecrets* ASecrets);

    // Enables the server commands for the focused entry and refreshes the counts.
    void TuneActions();
    void MainStatusBarInfo();
    void RedrawServer(const TServer* server);

    // An entry connected by others than the panel's own commands (several at once, off the
    // window's thread): redrawn, and watched when it is the focused one.
    void ServerConnected(TServer* server);
    TServerSecrets* secrets() const { return FSecrets; }

    // The panel's width: the original one shows the list as it always was; wider, the
    // wide view (when one is set) takes the list's place.
    static constexpr int kOriginalWidth = 163;
    void setPanelWidth(int AWidth);
    void setWideView(QWidget* AView);

    // The estate summary's period, as the settings keep it.
    int estatePeriod() const { return FEstatePeriodMs; }
    void setEstatePeriod(int AMilliseconds);

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

signals:
    // Entries or their states may have changed: after every command and focus change.
    void entriesChanged();
    void estatePeriodChanged(int AMilliseconds);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ServerVTChange();
    // Connects the entry (through the keyring where there is one), then redraws it,
    // recomposes and focuses the grid.
    void ConnectServer(TServer* server);
    // Moves a password the user chose to keep in the keyring out of the entry's string;
    // then runs done.
    void KeepPassword(TServer* server, bool toKeyring, std::function<void()> done);

    TServerPanelHost& FHost;
    TServerListModel* FModel;
    TServerSecrets* FSecrets = nullptr;
    QWidget* FWideView = nullptr;
    int FEstatePeriodMs = 5000;
};
