#pragma once
// The main window: the server panel on the left, the session grid with its tool bar and
// status bar on the right. It owns the session lists, the lock shared with the sampler
// and the sampler itself, and composes the sampling query. The commands of each part
// (sessions, the blocking tree, recordings) come with that part; the window wires them.

#include "rates/ratetracker.h"
#include "sampling/monitor.h"
#include "sampling/monitorrec.h"
#include "servers/widgets/serverpanelhost.h"
#include "settings/savedcols.h"
#include "waitresources/resourcenames.h"

#include <QElapsedTimer>
#include <QWidget>
#include <memory>
#include <mutex>

class QAction;
class QComboBox;
class QLineEdit;
class QMenu;
class QStackedLayout;
class QTimer;
class QToolButton;
class QVBoxLayout;
class TActivityLog;
class TAlertCommands;
class TArrivalPacer;
class TBlockingCommands;
class TBlockingPane;
class TDbConnection;
class TDervel;
class TEpisodeCommands;
class TErrorPanel;
class TEstateCommands;
class TKeyringActions;
class TMonitorModel;
class TMonitorStatusBar;
class TMonitorToolBar;
class TMonitorView;
class TPanelSwitch;
class TRecorderCommands;
class TReplay;
class TRightsNotice;
class TGridFilters;
class TGridMarks;
class TSamplingCommands;
class TSelColForm;
class TServer;
class TServerPanel;
class TSessionCommands;
class TSplitStrip;
class TStatusFilterEdit;
class TStatusPanel;

class TMainForm : public QWidget, public TServerPanelHost {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr); // FormCreate
    ~TMainForm() override;                         // FormDestroy

    // --- composition and arrival ---------------------------------------------------------
    void Monitoring(bool ReloadDBList) override;
    void OnDataArrive();
    void OnDataError(const QString& message, TDbConnection* connection);
    void TuneActions() override;
    THandOver CurrentHandOver() const { return FHandOver; }
    quint64 SnapshotsShown() const { return FSnapshotsShown; } // arrivals the grid took

    // --- the grid's own commands -----------------------------------------------------------
    void actUnselectAllExecute(); // the marks' (grid/widgets/gridmarks)
    bool Replaying() const;

    // --- TServerPanelHost ----------------------------------------------------------------
    void UnselectAll() override { actUnselectAllExecute(); }
    void FocusSessionGrid() override;
    bool EditConnection(const QString& caption, QString& name, QString& connectionString,
                        bool* toKeyring) override;
    void DeleteServerSettings(const QUuid& serverId) override;
    // Writes a saved entry's connection string at once (its password went to the keyring).
    void SaveServerConnectionString(TServer* server);

    void LoadDefCols();
    void LoadSettings();
    void SaveSettings();

    TServer* SelectedServer() const;
    PMonitorRec FocusedRec() const;
    void UpdateGridActions(); // the grid's enabled states after any change of its state

    // --- state shared with the sampler and the other parts -------------------------------
    TRecList RecList;
    QList<int> SelList;
    std::mutex CS;
    TDervel* Dervel = nullptr;
    QString StatusFilter;
    int StatusPanelHeight = 0;
    TSavedCols FDefCols;

    // --- the parts of the window ---------------------------------------------------------
    TServerPanel* ServerPanel;
    TKeyringActions* Keyring;
    TEstateCommands* Estate;   // every connected server's summary in the widened panel
    TPanelSwitch* PanelSwitch; // F2: the server panel hidden and shown
    TSplitStrip* SplitPanel;
    TMonitorToolBar* MonitorToolBar;
    QComboBox* cbPeriod;
    QToolButton* tbPause;
    QToolButton* tbFollowFocus;
    QToolButton* tbRecord;
    QToolButton* tbShowBlocked;
    QToolButton* tbHideSys;
    QLineEdit* edLogin;
    QComboBox* cbDBList;
    TStatusFilterEdit* edStFlt;
    TStatusPanel* StatusPanel;
    TRightsNotice* RightsNotice;
    TBlockingPane* BlockingPane;
    TMonitorModel* MonitorModel;
    TMonitorView* MonitorVT;
    TErrorPanel* mmError;
    TMonitorStatusBar* MonitorStatusBar;
    QMenu* MenuMonitor;
    TSelColForm* SelColForm;
    std::unique_ptr<TActivityLog> ActivityLog;
    TSamplingCommands* Sampling; // refresh, pause, period
    TGridFilters* Filters;       // the filters above the grid
    TGridMarks* Marks;           // marked sessions, the grid's menu
    TSessionCommands* Sessions;  // ending sessions, the detail windows, the legend
    TBlockingCommands* Blocking; // the blocking tree
    TAlertCommands* Alerts;      // alert rules, notifications and their pane
    TReplay* Replay = nullptr;   // a recording shown in the grid
    TEpisodeCommands* Episodes;  // the recording's blocking episodes: pane and time line
    TRecorderCommands* Recorder; // the window's recording for replay

    // The window's commands; those of the parts are theirs, named here as the window's.
    QAction* actShowPanel;
    QAction* actRefresh;
    QAction* actClearFilter;
    QAction* actPause;
    QAction* actExit;
    QAction* actSelRec;
    QAction* actUnselectAll;
    QAction* mnSelRec;
    QAction* actKillProcess;
    QAction* actKillSelected;
    QAction* actView;
    QAction* actViewBlock;
    QAction* actHelp;
    QAction* actBlockingTree;
    QAction* actOpenRecording;
    QAction* actRecordReplay;

protected:
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override; // FormClose
    void showEvent(QShowEvent* event) override;   // FormShow

private:
    void createParts();
    void createMonitorToolBar();
    void createLayout();
    void connectGrid();
    void showErrorPanel(bool show);
    // The grid goes empty for another server, or the same one connected anew.
    void clearServerView();
    // The server is left: none chosen, not connected, or a recording instead.
    void leaveServer();
    void stopSampler();

    void replayActiveChanged(bool AActive);
    void showRecordedSnapshot(TRecList& ARows, qint64 ATimeMs);

    QStackedLayout* FGridStack = nullptr;
    bool FClosing = false;
    THandOver FHandOver{};   // the last hand-over; notices of older ones are dropped
    TArrivalPacer* FArrival; // at most one snapshot per frame of the screen
    quint64 FSnapshotsShown = 0;
    TRateTracker FRates;
    TResourceNames FResourceNames; // of the watched server
};
