#pragma once
// The main window: the server panel on the left, the session grid with its tool bar and
// status bar on the right. It owns the session lists, the lock shared with the sampler
// and the sampler itself, and composes the sampling query.

#include "rates/ratetracker.h"
#include "sampling/monitor.h"
#include "sampling/monitorrec.h"
#include "servers/serverpanelhost.h"
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
class QPlainTextEdit;
class QStackedLayout;
class QToolBar;
class QToolButton;
class QVBoxLayout;
class TDbConnection;
class TDervel;
class TMonitorModel;
class TMonitorStatusBar;
class TMonitorToolBar;
class TMonitorView;
class TServer;
class TServerPanel;
class TSplitStrip;
class TKeyringActions;
class TStatusFilterEdit;
class TActivityLog;
class TSelColForm;
class TStatusPanel;
class TRightsNotice;
class TBlockingPane;
class QTimer;
class TReplay;
class TBackgroundRecorder;
struct TViewHost;

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

    // --- commands ----------------------------------------------------------------------------
    void actPauseExecute();
    void actRefreshExecute();
    void cbPeriodChange();
    void actSelRecExecute();
    void actUnselectAllExecute();
    void actClearFilterExecute();
    QString StatusFilterUpdate();
    void ClearStatusFilter();

    // --- session actions: ending sessions, the detail windows, the colour legend ----------
    bool KillProcess(PMonitorRec AMonitorRec, TServer* AServer);
    void actKillProcessExecute();
    void actKillSelectedExecute();
    void actViewExecute();
    void actViewBlockExecute();
    void actHelpExecute();

    // --- recordings: replaying one in the grid, recording the watched server -------------
    // Shows the recording instead of the live server; false (after telling the user) when
    // the file is no readable recording.
    bool OpenRecording(const QString& APath);
    void actOpenRecordingExecute();
    void actRecordReplayExecute(bool AOn);
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
    void ReportSettingsDamage();

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

    // --- controls ----------------------------------------------------------------------------
    TServerPanel* ServerPanel;
    TKeyringActions* Keyring;
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
    QPlainTextEdit* mmError;
    TMonitorStatusBar* MonitorStatusBar;
    QMenu* MenuMonitor;
    TSelColForm* SelColForm;
    std::unique_ptr<TActivityLog> ActivityLog;

    QAction* actShowPanel;
    QAction* actRefresh;
    QAction* actClearFilter;
    QAction* actPause;
    QAction* actExit;
    QAction* actKillProcess;
    QAction* actView;
    QAction* actViewBlock;
    QAction* actHelp;
    QAction* actSelRec;
    QAction* actUnselectAll;
    QAction* actKillSelected;
    QAction* mnSelRec;
    QAction* actBlockingTree;
    QAction* actOpenRecording;
    QAction* actRecordReplay;
    TReplay* Replay = nullptr;

protected:
    void customEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override; // the login filter's keys
    void closeEvent(QCloseEvent* event) override;               // FormClose
    void showEvent(QShowEvent* event) override;                 // FormShow

private:
    void createActions();
    void createMonitorToolBar();
    void createLayout();
    void showErrorPanel(bool show);
    void actShowPanelExecute();
    void MenuMonitorPopup(const QPoint& pos);
    void MonitorVTHeaderClick(int column);
    void StatusPanelShow();
    void setMarkedCount();
    void connectSessionActions();
    QList<PMonitorRec> GridRecords() const; // the grid's rows, top to bottom
    TViewHost SessionViewHost();

    bool LoginFilterLeft() const;
    void connectBlockingPane();
    // Focuses the grid's first row of the session; false when it has none.
    bool FocusSession(int ASPID);

    QStackedLayout* FGridStack = nullptr;
    bool FClosing = false;
    QString FComposedLogin; // the login filter's text at the last composition
    THandOver FHandOver{};  // the last hand-over; notices of older ones are dropped
    // At most one snapshot per frame of the screen: a notice within a frame of the last
    // snapshot shown waits for the frame's end and then takes the newest buffer.
    void arrivalNoticed();
    QElapsedTimer FLastShown;
    QTimer* FArrivalTimer = nullptr;
    quint64 FSnapshotsShown = 0;
    TRateTracker FRates;
    TResourceNames FResourceNames; // of the watched server

    void createReplay(QVBoxLayout* ALayout);
    void replayActiveChanged(bool AActive);
    void showRecordedSnapshot(TRecList& ARows, qint64 ATimeMs);
    void stopRecorder();
    std::unique_ptr<TBackgroundRecorder> FRecorder; // the window's recording for replay
    quint64 FRecordings = 0;                        // recordings begun, the last one's number
};
