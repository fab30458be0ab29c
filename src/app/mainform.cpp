#include "app/mainform.h"

#include "actions/widgets/sessioncommands.h"
#include "alerts/widgets/alertcommands.h"
#include "alerts/widgets/alertpane.h"
#include "app/gridquery.h"
#include "blocking/widgets/blockingcommands.h"
#include "blocking/widgets/blockingpane.h"
#include "database/dbconnection.h"
#include "episodes/widgets/episodecommands.h"
#include "episodes/widgets/episodepane.h"
#include "estate/widgets/estatecommands.h"
#include "grid/monitorcolumns.h"
#include "grid/rowcolor.h"
#include "grid/statusbartext.h"
#include "grid/widgets/arrivalpacer.h"
#include "grid/widgets/errorpanel.h"
#include "grid/widgets/gridfilters.h"
#include "grid/widgets/gridmarks.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorstatusbar.h"
#include "grid/widgets/monitortoolbar.h"
#include "grid/widgets/monitorview.h"
#include "grid/widgets/rightsnotice.h"
#include "grid/widgets/statusfilteredit.h"
#include "grid/widgets/statuspanel.h"
#include "keyring/widgets/keyringactions.h"
#include "prompts/prompts.h"
#include "rates/ratecolumns.h"
#include "recorder/widgets/recordercommands.h"
#include "recording/widgets/activitylog.h"
#include "replay/widgets/replay.h"
#include "replay/widgets/replaybar.h"
#include "replay/widgets/replaycomparison.h"
#include "resources/imagelists.h"
#include "resources/monitoraction.h"
#include "sampling/querycomposition.h"
#include "sampling/widgets/samplingcommands.h"
#include "servers/server.h"
#include "servers/widgets/panelswitch.h"
#include "servers/widgets/serverpanel.h"
#include "servers/widgets/splitstrip.h"
#include "settings/widgets/selcolform.h"
#include "settings/widgets/windowsettings.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSplitter>
#include <QStackedLayout>
#include <QToolButton>
#include <QVBoxLayout>

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Dervel"));
    setWindowIcon(ApplicationIcon());
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSize(8);
    setFont(tahoma);
    Dervel = new TDervel(this, CS);
    FArrival = new TArrivalPacer(
        [this] {
            if (Dervel) // not after the window began to close
                OnDataArrive();
        },
        this);

    createParts();
    createLayout();
    connectGrid();

    FDefCols = MonitorVT->SaveCols();
    cbPeriod->setCurrentIndex(TMonitorToolBar::kDefaultPeriodIndex);
    Sampling->cbPeriodChange();
    StatusPanelHeight = StatusPanel->fullHeight();
    edStFlt->setText(Filters->StatusFilterUpdate());
    resize(1501, 892);
    move(50, 50);
    LoadSettings();
    Estate->ConnectAtStart();
}

TMainForm::~TMainForm() {
    stopSampler();
    SaveSettings();
    ClearRecList(RecList);
}

void TMainForm::stopSampler() {
    Recorder->Stop();
    Estate->Stop();
    if (!Dervel)
        return;
    Dervel->Terminate();
    // A sample on a server that stopped answering would hold the close up until the
    // query's timeout: after about a second its connection is broken off under it.
    if (!Dervel->WaitFor(1000)) {
        if (TDbConnection* connection = Dervel->HandedConnection())
            connection->abort();
        Dervel->WaitFor();
    }
    delete Dervel;
    Dervel = nullptr;
}

// --- settings -------------------------------------------------------------------------

void TMainForm::LoadDefCols() {
    MonitorVT->LoadCols(FDefCols);
}

void TMainForm::LoadSettings() {
    LoadWindowSettings({this, ServerPanel, tbHideSys, MonitorVT});
}

void TMainForm::SaveSettings() {
    SaveWindowSettings({this, ServerPanel, tbHideSys, MonitorVT});
}

// --- what the window holds --------------------------------------------------------------

// The parts that bring their own commands, and how they reach the window.
void TMainForm::createParts() {
    actExit = MakeMonitorAction(this, "actExit", tr("Закрыть"), tr("Закрыть программу"), 7);
    addAction(actExit);
    connect(actExit, &QAction::triggered, this, &QWidget::close);
    ServerPanel = new TServerPanel(*this, this);
    Estate = new TEstateCommands(*ServerPanel, this);
    Keyring = new TKeyringActions(*ServerPanel, QStringLiteral("Dervel"), this);
    connect(Keyring, &TKeyringActions::ConnectionStringChanged, this,
            &TMainForm::SaveServerConnectionString);
    Sampling =
        new TSamplingCommands([this] { return Dervel; }, [this] { Monitoring(false); }, this);
    actRefresh = Sampling->actRefresh;
    actPause = Sampling->actPause;
    Filters = new TGridFilters(
        StatusFilter, [this] { Monitoring(false); }, this);
    actClearFilter = Filters->actClearFilter;
    Marks = new TGridMarks(
        SelList, [this] { return FocusedRec(); }, [this] { UpdateGridActions(); }, this);
    actSelRec = Marks->actSelRec;
    actUnselectAll = Marks->actUnselectAll;

    TReplay::THost replay;
    replay.Filters = [this] { return Filters->filters(true); };
    replay.SortColumn = [this] { return MonitorVT->sortColumn(); };
    replay.SortDescending = [this] { return MonitorVT->sortDescending(); };
    replay.Show = [this](TRecList& rows, qint64 time) { showRecordedSnapshot(rows, time); };
    replay.ActiveChanged = [this](bool active) { replayActiveChanged(active); };
    replay.Databases = [this](const QStringList& names) { MonitorToolBar->setDatabases(names); };
    Replay = new TReplay(std::move(replay), this);
    Replay->setParent(this); // goes with the window
    actOpenRecording = Replay->actOpenRecording;

    Sessions = new TSessionCommands(
        {[this] { return FocusedRec(); }, [this] { return MonitorModel->records(); },
         [this]() -> const QList<int>& { return SelList; }, [this] { return SelectedServer(); },
         [this] { return Replaying(); },
         [this] { return std::optional<TViewHost::TRecorded>(Replay->RecordedView()); },
         [this] { Monitoring(false); }},
        this);
    actKillProcess = Sessions->actKillProcess;
    actKillSelected = Sessions->actKillSelected;
    actView = Sessions->actView;
    actViewBlock = Sessions->actViewBlock;
    actHelp = Sessions->actHelp;

    BlockingPane = new TBlockingPane; // the layout takes it below the grid
    BlockingPane->hide();
    Blocking = new TBlockingCommands(BlockingPane, FResourceNames,
                                     {[this] { return RecList; },
                                      [this](int spid) { return MonitorVT->focusSession(spid); },
                                      [this] { Monitoring(false); }, actView, actKillProcess},
                                     this);
    actBlockingTree = Blocking->actBlockingTree;
    Episodes = new TEpisodeCommands(
        Replay, BlockingPane,
        {actBlockingTree, [this](int spid) { return MonitorVT->focusSession(spid); }}, this);

    Alerts = new TAlertCommands(
        *ServerPanel, *Estate,
        {[this] { return TMonitorToolBar::PeriodOf(cbPeriod->currentIndex()) * 10; },
         [this](int spid) { return MonitorVT->focusSession(spid); }},
        this);

    Recorder = new TRecorderCommands(
        {[this] { return SelectedServer(); }, [this] { return Replaying(); },
         [this] { return TMonitorToolBar::PeriodOf(cbPeriod->currentIndex()) * 10; },
         [this] { TuneActions(); }},
        this);
    actRecordReplay = Recorder->actRecordReplay;
}

void TMainForm::createMonitorToolBar() {
    MonitorToolBar = new TMonitorToolBar({actRefresh, actPause, actHelp, actKillProcess, actView,
                                          actViewBlock, actClearFilter, actExit, actBlockingTree,
                                          actOpenRecording, actRecordReplay, Alerts->actAlertsPane},
                                         this);
    cbPeriod = MonitorToolBar->cbPeriod;
    tbPause = MonitorToolBar->tbPause;
    tbFollowFocus = MonitorToolBar->tbFollowFocus;
    tbRecord = MonitorToolBar->tbRecord;
    tbShowBlocked = MonitorToolBar->tbShowBlocked;
    tbHideSys = MonitorToolBar->tbHideSys;
    edLogin = MonitorToolBar->edLogin;
    cbDBList = MonitorToolBar->cbDBList;
    edStFlt = MonitorToolBar->edStFlt;

    connect(tbRecord, &QToolButton::clicked, this, [this] { ActivityLog->tbRecordClick(); });
}

void TMainForm::createLayout() {
    PanelSwitch = new TPanelSwitch(ServerPanel, this);
    SplitPanel = PanelSwitch->Strip;
    actShowPanel = PanelSwitch->actShowPanel;
    createMonitorToolBar();

    MonitorModel = new TMonitorModel(RecList, this);
    MonitorVT = new TMonitorView(MonitorModel, SelList, this);
    MonitorModel->setResourceName(
        [this](const QString& resource) { return FResourceNames.Name(resource); });
    mmError = new TErrorPanel(this);
    MonitorStatusBar = new TMonitorStatusBar(this);

    auto* gridArea = new QWidget(this);
    FGridStack = new QStackedLayout(gridArea);
    FGridStack->addWidget(MonitorVT);
    FGridStack->addWidget(mmError);
    FGridStack->setCurrentWidget(MonitorVT);

    auto* sessionArea = new QWidget(this);
    sessionArea->setObjectName(QStringLiteral("Panel2"));
    auto* sessionLayout = new QVBoxLayout(sessionArea);
    sessionLayout->setContentsMargins(0, 0, 0, 0);
    sessionLayout->setSpacing(0);
    sessionLayout->addWidget(MonitorToolBar);
    sessionLayout->addWidget(Replay->bar());
    RightsNotice = new TRightsNotice(this);
    sessionLayout->addWidget(RightsNotice);
    // The blocking tree shares the grid's height, below it, while the user wants it.
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName(QStringLiteral("GridAndTree"));
    split->setChildrenCollapsible(false);
    split->addWidget(gridArea);
    split->addWidget(BlockingPane);
    split->addWidget(Alerts->Pane());
    split->addWidget(Episodes->Pane());
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setStretchFactor(2, 1);
    split->setStretchFactor(3, 1);
    sessionLayout->addWidget(split, 1);
    sessionLayout->addWidget(MonitorStatusBar);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ServerPanel);
    layout->addWidget(SplitPanel);
    layout->addWidget(sessionArea, 1);

    Sampling->attach(cbPeriod, MonitorStatusBar);
    Filters->attach(MonitorToolBar, MonitorVT);
    StatusPanel = Filters->StatusPanel;
    Marks->attach(MonitorVT, MonitorStatusBar, actView, actViewBlock, actKillProcess,
                  actKillSelected, actBlockingTree);
    MenuMonitor = Marks->menu();
    mnSelRec = Marks->menuItem();
}

// The grid's keys, header and state, and what hangs on them.
void TMainForm::connectGrid() {
    connect(MonitorVT, &TMonitorView::stateChanged, this, [this] { UpdateGridActions(); });
    ActivityLog = std::make_unique<TActivityLog>(
        tbRecord, MonitorVT, MonitorStatusBar, [this]() -> std::optional<QString> {
            const TServer* server = SelectedServer();
            return server ? std::optional<QString>(server->Name) : std::nullopt;
        });
    SelColForm = new TSelColForm(
        MonitorVT, [this] { Monitoring(false); }, [this] { LoadDefCols(); }, this);
    connect(MonitorVT, &TMonitorView::headerRightClicked, this,
            [this](int column) { SelColForm->FormShow(tbRecord->isChecked(), column); });
    connect(MonitorVT, &TMonitorView::headerClicked, this, [this](int column) {
        if (column >= 0) {
            MonitorVT->sortByHeader(column);
            Monitoring(false);
        }
    });
    connect(MonitorVT, &TMonitorView::deletePressed, actKillProcess, &QAction::trigger);
    connect(MonitorVT, &TMonitorView::enterPressed, actView, &QAction::trigger);
    connect(MonitorVT, &TMonitorView::doubleClicked, actView, &QAction::trigger);
    connect(MonitorVT, &TMonitorView::ctrlEnterPressed, actViewBlock, &QAction::trigger);
    connect(MonitorVT, &TMonitorView::ctrlDeletePressed, actKillSelected, &QAction::trigger);
    connect(MonitorVT, &TMonitorView::ctrlBPressed, this, [this] {
        tbShowBlocked->setChecked(!tbShowBlocked->isChecked());
        Monitoring(false);
    });
    UpdateGridActions();
}

// --- life cycle and events ----------------------------------------------------------------

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    TuneActions();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // From here on no control may recompose: focus leaves the login filter while the
    // window goes, and the sampler is gone below.
    FClosing = true;
    Filters->closing();
    stopSampler();
    event->accept();
}

void TMainForm::customEvent(QEvent* event) {
    // A notice posted just before the sampler stopped may still be queued: the buffer
    // it speaks of is gone. One posted before the last hand-over speaks of a snapshot
    // the grid must no longer show.
    if (!Dervel)
        return;
    if (event->type() == WM_DATAARRIVE) {
        if (static_cast<TDataArriveEvent*>(event)->HandOver == FHandOver)
            FArrival->Noticed();
    } else if (event->type() == WM_DATAERROR) {
        const auto* e = static_cast<TDataErrorEvent*>(event);
        if (e->HandOver == FHandOver)
            OnDataError(e->Message, e->Connection);
    }
}

// --- TServerPanelHost -----------------------------------------------------------------------

TServer* TMainForm::SelectedServer() const {
    return ServerPanel->SelectedServer();
}

PMonitorRec TMainForm::FocusedRec() const {
    return MonitorModel->record(MonitorVT->focusedRow());
}

void TMainForm::FocusSessionGrid() {
    MonitorVT->setFocus();
}

bool TMainForm::EditConnection(const QString& caption, QString& name, QString& connectionString,
                               bool* toKeyring) {
    return Prompts().connection(caption, name, connectionString, toKeyring);
}

void TMainForm::DeleteServerSettings(const QUuid& serverId) {
    // The entry goes next, with its connection: a name still being asked over it must
    // be done first.
    FResourceNames.Release();
    ::DeleteServerSettings(serverId);
}

void TMainForm::SaveServerConnectionString(TServer* server) {
    ::SaveServerConnectionString(*server);
}

// --- composition and arrival --------------------------------------------------------------

void TMainForm::showErrorPanel(bool show) {
    FGridStack->setCurrentWidget(show ? static_cast<QWidget*>(mmError) : MonitorVT);
}

void TMainForm::Monitoring(bool ReloadDBList) {
    // After the window started closing there is nothing to hand over to.
    if (!Dervel || FClosing)
        return;
    Filters->composed();
    // A recording on show takes the filters and the sort in the window.
    if (Replaying()) {
        Replay->Refilter();
        return;
    }
    TServer* server = SelectedServer();
    if (!server)
        return;
    MonitorStatusBar->setPanelText(1, QString());
    MonitorStatusBar->setPanelText(2, QString());
    if (server->State != stConnected) {
        leaveServer();
        MonitorStatusBar->setPanelText(0, QString());
        showErrorPanel(false);
        MonitorToolBar->setEnabled(true);
        return;
    }
    if (ReloadDBList) {
        // The database chosen on the server left is kept where the next one has it too.
        const std::optional<int> keep =
            DBReselectIndex(cbDBList->currentIndex(), cbDBList->currentText(), server->DBList);
        clearServerView(); // another server, or the same one connected anew
        cbDBList->addItems(DBFilterItems(server->DBList));
        cbDBList->setCurrentIndex(keep.value_or(0));
        MonitorStatusBar->setPanelText(0, server->ConnectDescr);
        RightsNotice->showFor(true, server->ViewServerState, server->Login);
        FResourceNames.setConnection(&server->Connection);
    }
    QList<bool> shown;
    for (int i = 0; i < MonitorColumnCount; ++i)
        shown << !MonitorVT->horizontalHeader()->isSectionHidden(i);
    const TGridQuery q = ComposeGridQuery(Dervel->QueryTemplate, shown, MonitorVT->sortColumn(),
                                          MonitorVT->sortDescending(), actBlockingTree->isChecked(),
                                          Filters->filters(server->ViewServerState));
    if (q.SortColumn != MonitorVT->sortColumn())
        MonitorVT->setSort(q.SortColumn, MonitorVT->sortDescending());
    FHandOver = Dervel->StartMonitoring(q.Text, &server->Connection);
    showErrorPanel(false);
    MonitorToolBar->setEnabled(true);
}

void TMainForm::clearServerView() {
    cbDBList->clear();
    MonitorModel->setRowCount(0);
    // Marks name sessions of a connection that is gone; a reconnect may bring the same
    // SPIDs for other sessions.
    actUnselectAllExecute();
    FRates.Reset();
    Recorder->Stop();
    ActivityLog->StartRecord(false, QString());
    Blocking->ShowSnapshot({});
}

void TMainForm::leaveServer() {
    clearServerView();
    FHandOver = Dervel->StartMonitoring(QString(), nullptr);
    RightsNotice->showFor(false, true, QString());
    FResourceNames.setConnection(nullptr);
}

void TMainForm::OnDataArrive() {
    const PMonitorRec focused = FocusedRec();
    const int focusSPID = focused ? focused->SPID : 0;
    const int focusRequest = focused ? focused->RequestID : 0;
    const int focusColumn =
        MonitorVT->currentIndex().isValid() ? MonitorVT->currentIndex().column() : 0;
    qint64 sampleTime = 0;
    TSampleStats stats;
    if (!Dervel->TakeSnapshot(FHandOver, RecList, sampleTime, stats))
        return;
    const int n = static_cast<int>(RecList.size());
    // Two moments compared bring the counters' growth since the mark in the rate fields.
    const bool comparing = Replaying() && Replay->comparing();
    if (comparing)
        FRates.Reset();
    else
        FRates.Apply(RecList, sampleTime);
    MonitorModel->setGrowthCaptions(comparing);
    if (IsRateColumn(MonitorVT->sortColumn()))
        SortByRate(RecList, MonitorVT->sortColumn(), MonitorVT->sortDescending());
    const int focusedRowBefore = MonitorVT->focusedRow();
    MonitorVT->setUpdatesEnabled(false);
    MonitorModel->setRowCount(n);
    int blocked = 0;
    int newFocus = -1;
    for (int row = 0; row < n; ++row) {
        TMonitorRec& rec = *RecList[row];
        rec.Color = GetRecColor(rec);
        // Records go back to the sampler to be read into: a mark must not outlive its
        // comparison.
        if (!comparing)
            rec.Change = TRowChange::None;
        // A session that had ended by now is shown with its last values, but waits for
        // nobody and holds nobody up any more.
        if (rec.Blocking != 0 && rec.Change != TRowChange::Ended)
            ++blocked;
        if (rec.SPID == focusSPID && (rec.RequestID == focusRequest || newFocus < 0))
            newFocus = row;
    }
    Marks->Prune(RecList);
    if (newFocus < 0 && focusedRowBefore >= n) {
        // The focused row went with the shrink: no row takes its place.
        MonitorVT->selectionModel()->clear();
    } else if (newFocus >= 0) {
        MonitorVT->restoreFocus(MonitorModel->index(newFocus, focusColumn),
                                tbFollowFocus->isChecked());
    }
    MonitorVT->setUpdatesEnabled(true);
    FArrival->Shown();
    ++FSnapshotsShown;
    MonitorStatusBar->setPanelText(1, RowCountText(n));
    MonitorStatusBar->setPanelDetail(
        1, Replaying()
               ? QString()
               : SampleStatsText(stats, TMonitorToolBar::PeriodOf(cbPeriod->currentIndex()) * 10));
    MonitorStatusBar->setPanelText(2, CountText(blocked));
    UpdateGridActions();
    if (tbRecord->isChecked())
        ActivityLog->LogToFile();
    if (comparing) {
        TRecList present;
        for (const PMonitorRec r : std::as_const(RecList))
            if (r->Change != TRowChange::Ended)
                present << r;
        Blocking->ShowSnapshot(present);
    } else {
        Blocking->ShowSnapshot(RecList);
    }
    Estate->ShowSnapshot(SelectedServer(), RecList);
}

void TMainForm::OnDataError(const QString& message, TDbConnection* connection) {
    TServer* server = SelectedServer();
    if (!server || &server->Connection != connection)
        return;
    ServerPanel->actDisconnectExecute(false);
    if (server->State == stDisconnected)
        server->State = stError;
    ServerPanel->RedrawServer(server);
    mmError->ShowFailure(message);
    Estate->ShowFailure(server, message);
    showErrorPanel(true);
    MonitorToolBar->setEnabled(false);
    TuneActions();
    for (int panel : {0, 1, 2})
        MonitorStatusBar->setPanelText(panel, QString());
}

void TMainForm::TuneActions() {
    ServerPanel->TuneActions();
    Keyring->Tune();
    const TServer* server = SelectedServer();
    const bool live = server && server->State == stConnected && !Replaying();
    tbRecord->setEnabled(live);
    Recorder->Tune(live);
}

void TMainForm::UpdateGridActions() {
    const QModelIndex current = MonitorVT->currentIndex();
    const bool focusedSelected =
        current.isValid() && MonitorVT->selectionModel()->isRowSelected(current.row());
    Sessions->Tune(focusedSelected, FocusedRec(), !SelList.isEmpty());
    actUnselectAll->setEnabled(!SelList.isEmpty());
}

// --- the grid's own commands ---------------------------------------------------------------

void TMainForm::actUnselectAllExecute() {
    Marks->actUnselectAllExecute();
}

// --- a recording instead of the live server ------------------------------------------------

bool TMainForm::Replaying() const {
    return Replay && Replay->active();
}

void TMainForm::replayActiveChanged(bool AActive) {
    if (AActive) {
        // The live server is left alone while the recording is on show.
        leaveServer();
        cbDBList->addItems(DBFilterItems({}));
        showErrorPanel(false);
        MonitorToolBar->setEnabled(true);
        // The entry's name the recording was made under, and the server as it answered.
        const TRecordingInfo& info = Replay->info();
        MonitorStatusBar->setPanelText(
            0, info.ConnectDescr.isEmpty() || info.ConnectDescr == info.Server
                   ? info.Server
                   : QStringLiteral("%1: %2").arg(info.Server, info.ConnectDescr));
    } else {
        FRates.Reset();
        MonitorModel->setRowCount(0);
        MonitorStatusBar->setPanelText(5, QString());
    }
    ServerPanel->setEnabled(!AActive);
    for (QAction* a : {actRefresh, actPause})
        a->setEnabled(!AActive);
    cbPeriod->setEnabled(!AActive);
    UpdateGridActions();
    TuneActions();
    if (!AActive)
        Monitoring(true); // the live server again, as it was
}

void TMainForm::showRecordedSnapshot(TRecList& ARows, qint64 ATimeMs) {
    {
        std::lock_guard lock(CS);
        ClearRecList(Dervel->Buffer);
        Dervel->Buffer.swap(ARows);
        Dervel->BufferHandOver = FHandOver;
        Dervel->BufferTime = ATimeMs;
    }
    OnDataArrive();
    MonitorStatusBar->setPanelText(
        5, Replay->comparing()
               ? QStringLiteral("%1 — %2 — %3")
                     .arg(ReplayTimeText(ATimeMs), Replay->comparison()->text(), Replay->path())
               : QStringLiteral("%1 — %2").arg(ReplayTimeText(ATimeMs), Replay->path()));
}
