#include "app/mainform.h"

#include "platform/dbconnection.h"

#include "actions/containerform.h"
#include "actions/helpform.h"
#include "actions/killsession.h"
#include "actions/viewform.h"
#include "app/appcursors.h"
#include "app/imagelists.h"
#include "app/splitstrip.h"
#include "blocking/blockingpane.h"
#include "grid/celltext.h"
#include "grid/monitorcolumns.h"
#include "grid/monitormodel.h"
#include "grid/monitorstatusbar.h"
#include "grid/monitortoolbar.h"
#include "grid/monitorview.h"
#include "grid/rightsnotice.h"
#include "grid/rowcolor.h"
#include "grid/statusbartext.h"
#include "grid/statusfilter.h"
#include "grid/statusfilteredit.h"
#include "grid/statuspanel.h"
#include "keyring/keyringactions.h"
#include "platform/dberror.h"
#include "platform/prompts.h"
#include "platform/registry.h"
#include "rates/ratecolumns.h"
#include "recorder/backgroundrecorder.h"
#include "recording/activitylog.h"
#include "recording/logfile.h"
#include "recording/logformat.h"
#include "replay/recordeddetail.h"
#include "replay/replay.h"
#include "replay/replaybar.h"
#include "sampling/monitor.h"
#include "sampling/querycomposition.h"
#include "servers/server.h"
#include "servers/serverlistmodel.h"
#include "servers/serverpanel.h"
#include "settings/selcolform.h"
#include "settings/settingsstore.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QStackedLayout>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QAction* makeAction(QObject* owner, const char* name, const QString& caption, const QString& hint,
                    int image, const QKeySequence& shortcut = {}) {
    auto* a = new QAction(caption, owner);
    a->setObjectName(QLatin1String(name));
    if (image >= 0)
        a->setIcon(MonitorImageList(image));
    if (!hint.isEmpty())
        a->setToolTip(hint);
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::WindowShortcut);
    }
    return a;
}

QFont tahoma() {
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    return f;
}

} // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Dervel"));
    setWindowIcon(ApplicationIcon());
    setFont(tahoma());
    Dervel = new TDervel(this, CS);
    FArrivalTimer = new QTimer(this);
    FArrivalTimer->setSingleShot(true);
    connect(FArrivalTimer, &QTimer::timeout, this, [this] {
        if (Dervel) // not after the window began to close
            OnDataArrive();
    });

    createActions();
    createLayout();
    connectSessionActions();

    FDefCols = MonitorVT->SaveCols();
    cbPeriod->setCurrentIndex(TMonitorToolBar::kDefaultPeriodIndex);
    cbPeriodChange();
    StatusPanelHeight = StatusPanel->fullHeight();
    edStFlt->setText(StatusFilterUpdate());
    SplitPanel->setCursor(ArrowLeftCursor());
    SplitPanel->setToolTip(tr("Скрыть панель подключений (F2)"));
    resize(1501, 892);
    move(50, 50);
    LoadSettings();
}

TMainForm::~TMainForm() {
    stopRecorder();
    if (Dervel) {
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
    SaveSettings();
    ClearRecList(RecList);
}

void TMainForm::LoadDefCols() {
    MonitorVT->LoadCols(FDefCols);
}

void TMainForm::LoadSettings() {
    TRegistry registry;
    const TLoadedSettings loaded = ReadSettings(registry, QueryColumnCount);
    ReportSettingsDamage();
    for (const TStoredServer& stored : loaded.Servers) {
        TServer* server = ServerPanel->NewServer(stored.Name, stored.ConnectionString, false);
        if (!stored.ServerID.isNull())
            server->ServerID = stored.ServerID;
        server->Version = stored.Version;
        server->Order = stored.Order;
        server->SavedConnectionString = stored.ConnectionString;
    }
    if (loaded.SortServers)
        ServerPanel->model()->sortByOrder();
    const TStoredWindow& w = loaded.Window;
    if (w.Width || w.Height)
        resize(w.Width.value_or(width()), w.Height.value_or(height()));
    if (w.HideSys)
        tbHideSys->setChecked(*w.HideSys);
    if (w.SortColumn || w.SortDirection)
        MonitorVT->setSort(w.SortColumn.value_or(MonitorVT->sortColumn()),
                           w.SortDirection ? *w.SortDirection != 0 : MonitorVT->sortDescending());
    if (w.RateSortColumn)
        MonitorVT->setSort(*w.RateSortColumn, w.RateSortDescending);
    if (w.Columns)
        MonitorVT->LoadCols(MergeSavedCols(*w.Columns, w.RateColumns));
    if (!loaded.Error.isEmpty())
        ShowError(tr("Ошибка при загрузке настроек:\r\n") + loaded.Error);
}

void TMainForm::SaveSettings() {
    QList<TServer*> servers;
    for (int i = 0; i < ServerPanel->model()->rowCount(); ++i)
        servers << ServerPanel->model()->server(i);
    const bool normal =
        !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    try {
        TRegistry registry;
        WriteSettings(registry, servers, normal, width(), height(), tbHideSys->isChecked(),
                      MonitorVT->sortColumn(), MonitorVT->sortDescending() ? 1 : 0,
                      MonitorVT->SaveCols());
    } catch (const ERegistryException& e) {
        ReportSettingsDamage();
        ShowError(tr("Ошибка при сохранении настроек:\r\n") + e.Message());
        return;
    }
    ReportSettingsDamage();
}

void TMainForm::ReportSettingsDamage() {
    // The store finds a damaged file whenever it reads one: at start, when a server's
    // key is deleted, when the settings are saved. Each is told where it was found.
    const QString damage = TRegistry::TakeLoadProblem();
    if (!damage.isEmpty())
        ShowError(damage);
}

void TMainForm::createActions() {
    actShowPanel =
        makeAction(this, "actShowPanel", tr("Скрыть/показать панель подключений"),
                   tr("Скрыть/показать панель подключений"), -1, QKeySequence(Qt::Key_F2));
    actRefresh = makeAction(this, "actRefresh", tr("Обновить"), tr("Обновить данные"), 0,
                            QKeySequence(Qt::Key_F5));
    actClearFilter = makeAction(this, "actClearFilter", tr("Очистить"), tr("Очистить все фильтры"),
                                4, QKeySequence(Qt::CTRL | Qt::Key_Y));
    actPause = makeAction(this, "actPause", tr("Пауза"), tr("Пауза"), 6,
                          QKeySequence(Qt::CTRL | Qt::Key_P));
    actPause->setCheckable(true);
    actExit = makeAction(this, "actExit", tr("Закрыть"), tr("Закрыть программу"), 7);
    actKillProcess =
        makeAction(this, "actKillProcess", tr("Завершить процесс"), tr("Завершить процесс"), 8);
    actView = makeAction(this, "actView", tr("Просмотр"), tr("Просмотр"), 10);
    actViewBlock = makeAction(this, "actViewBlock", tr("Просмотр блокирующего процесса"),
                              tr("Просмотр блокирующего процесса"), 11);
    actHelp = makeAction(this, "actHelp", tr("Помощь"), tr("Помощь"), 13, QKeySequence(Qt::Key_F1));
    actSelRec = makeAction(this, "actSelRec", tr("Пометить"), {}, -1);
    actUnselectAll = makeAction(this, "actUnselectAll", tr("Снять все пометки"), {}, -1);
    actKillSelected = makeAction(this, "actKillSelected", tr("Завершить отмеченные"), {}, -1);
    actBlockingTree = makeAction(this, "actBlockingTree", tr("Дерево блокировок"),
                                 tr("Дерево блокировок: кто кого держит (Ctrl+T)"), 16,
                                 QKeySequence(Qt::CTRL | Qt::Key_T));
    actBlockingTree->setCheckable(true);
    actOpenRecording = makeAction(this, "actOpenRecording", tr("Открыть запись"),
                                  tr("Открыть запись для просмотра (Ctrl+O)"), 17,
                                  QKeySequence(Qt::CTRL | Qt::Key_O));
    actRecordReplay = makeAction(this, "actRecordReplay", tr("Запись для воспроизведения"),
                                 tr("Записывать сеансы сервера для воспроизведения"), 18);
    actRecordReplay->setCheckable(true);
    addActions({actShowPanel, actRefresh, actClearFilter, actPause, actExit, actHelp,
                actBlockingTree, actOpenRecording});

    connect(actShowPanel, &QAction::triggered, this, [this] { actShowPanelExecute(); });
    connect(actRefresh, &QAction::triggered, this, [this] { actRefreshExecute(); });
    connect(actClearFilter, &QAction::triggered, this, [this] { actClearFilterExecute(); });
    connect(actPause, &QAction::triggered, this, [this] { actPauseExecute(); });
    connect(actExit, &QAction::triggered, this, &QWidget::close);
    connect(actSelRec, &QAction::triggered, this, [this] { actSelRecExecute(); });
    connect(actUnselectAll, &QAction::triggered, this, [this] { actUnselectAllExecute(); });
    connect(actOpenRecording, &QAction::triggered, this, [this] { actOpenRecordingExecute(); });
    connect(actRecordReplay, &QAction::triggered, this,
            [this](bool on) { actRecordReplayExecute(on); });
}

void TMainForm::createMonitorToolBar() {
    MonitorToolBar = new TMonitorToolBar({actRefresh, actPause, actHelp, actKillProcess, actView,
                                          actViewBlock, actClearFilter, actExit, actBlockingTree,
                                          actOpenRecording, actRecordReplay},
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

    connect(cbPeriod, &QComboBox::currentIndexChanged, this, [this] { cbPeriodChange(); });
    connect(tbRecord, &QToolButton::clicked, this, [this] { ActivityLog->tbRecordClick(); });
    connect(tbShowBlocked, &QToolButton::clicked, this, [this] { Monitoring(false); });
    connect(tbHideSys, &QToolButton::clicked, this, [this] { Monitoring(false); });
    connect(MonitorToolBar->edLoginClear, &QAction::triggered, this, [this] {
        edLogin->clear();
        Monitoring(false);
    });
    edLogin->installEventFilter(this);
    connect(cbDBList, &QComboBox::activated, this, [this] { Monitoring(false); });
    connect(edStFlt, &TStatusFilterEdit::openRequested, this, [this] { StatusPanelShow(); });
}

void TMainForm::createLayout() {
    ServerPanel = new TServerPanel(*this, this);
    Keyring = new TKeyringActions(*ServerPanel, QStringLiteral("Dervel"), this);
    connect(Keyring, &TKeyringActions::ConnectionStringChanged, this,
            &TMainForm::SaveServerConnectionString);
    SplitPanel = new TSplitStrip(this);
    connect(SplitPanel, &TSplitStrip::clicked, this, [this] { actShowPanelExecute(); });
    createMonitorToolBar();

    MonitorModel = new TMonitorModel(RecList, this);
    MonitorVT = new TMonitorView(MonitorModel, SelList, this);
    mmError = new QPlainTextEdit(this);
    mmError->setObjectName(QStringLiteral("mmError"));
    mmError->setReadOnly(true);
    mmError->setFocusPolicy(Qt::NoFocus);
    QFont errorFont(QStringLiteral("Tahoma"));
    errorFont.setPointSize(10);
    errorFont.setBold(true);
    mmError->setFont(errorFont);
    mmError->setStyleSheet(QStringLiteral("QPlainTextEdit { color: #FF0000; }"));
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
    createReplay(sessionLayout);
    RightsNotice = new TRightsNotice(this);
    sessionLayout->addWidget(RightsNotice);
    // The blocking tree shares the grid's height, below it, while the user wants it.
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName(QStringLiteral("GridAndTree"));
    split->setChildrenCollapsible(false);
    split->addWidget(gridArea);
    BlockingPane = new TBlockingPane(this);
    BlockingPane->hide();
    split->addWidget(BlockingPane);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    sessionLayout->addWidget(split, 1);
    sessionLayout->addWidget(MonitorStatusBar);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ServerPanel);
    layout->addWidget(SplitPanel);
    layout->addWidget(sessionArea, 1);

    StatusPanel = new TStatusPanel(this);
    connect(StatusPanel, &TStatusPanel::changed, this,
            [this] { edStFlt->setText(StatusFilterUpdate()); });

    MenuMonitor = new QMenu(this);
    MenuMonitor->setObjectName(QStringLiteral("MenuMonitor"));
    auto addItem = [this](QAction* action, const QString& caption) {
        QAction* item = MenuMonitor->addAction(action->icon(), caption);
        connect(item, &QAction::triggered, action, &QAction::trigger);
        connect(action, &QAction::changed, item,
                [item, action] { item->setEnabled(action->isEnabled()); });
        item->setEnabled(action->isEnabled());
        return item;
    };
    MenuMonitor->setDefaultAction(addItem(actView, tr("Просмотр\tEnter")));
    addItem(actViewBlock, tr("Просмотр с блокирующим\tCtrl+Enter"));
    mnSelRec = addItem(actSelRec, tr("Пометить\tSpace"));
    addItem(actUnselectAll, tr("Снять все пометки\tShift+Space"));
    addItem(actKillProcess, tr("Завершить процесс\tDel"));
    addItem(actKillSelected, tr("Завершить отмеченные\tCtrl+Del"));
    MonitorVT->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(MonitorVT, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { MenuMonitorPopup(p); });

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
    connect(MonitorVT, &TMonitorView::headerClicked, this,
            [this](int column) { MonitorVTHeaderClick(column); });
    connect(MonitorVT, &TMonitorView::deletePressed, actKillProcess, &QAction::trigger);
    connect(MonitorVT, &TMonitorView::enterPressed, actView, &QAction::trigger);
    connect(MonitorVT, &TMonitorView::doubleClicked, actView, &QAction::trigger);
    connect(MonitorVT, &TMonitorView::spacePressed, actSelRec, &QAction::trigger);
    connect(MonitorVT, &TMonitorView::shiftSpacePressed, actUnselectAll, &QAction::trigger);
    connect(MonitorVT, &TMonitorView::ctrlEnterPressed, actViewBlock, &QAction::trigger);
    connect(MonitorVT, &TMonitorView::ctrlDeletePressed, actKillSelected, &QAction::trigger);
    connectBlockingPane();
    connect(MonitorVT, &TMonitorView::ctrlBPressed, this, [this] {
        tbShowBlocked->setChecked(!tbShowBlocked->isChecked());
        Monitoring(false);
    });
    UpdateGridActions();
}

void TMainForm::connectBlockingPane() {
    MenuMonitor->addSeparator();
    MenuMonitor->addAction(actBlockingTree);
    const auto name = [this](const QString& resource) { return FResourceNames.Name(resource); };
    BlockingPane->setResourceName(name);
    MonitorModel->setResourceName(name);
    connect(&FResourceNames, &TResourceNames::named, BlockingPane,
            &TBlockingPane::resourceNamesChanged);
    connect(actBlockingTree, &QAction::toggled, this, [this](bool shown) {
        BlockingPane->setVisible(shown);
        if (shown)
            BlockingPane->showSnapshot(RecList);
        // The tree's columns join the query, or leave it, from the next sample on.
        Monitoring(false);
    });
    connect(BlockingPane, &TBlockingPane::sessionSelected, this,
            [this](int spid) { FocusSession(spid); });
    connect(BlockingPane, &TBlockingPane::openRequested, this, [this](int spid) {
        if (FocusSession(spid))
            actView->trigger();
    });
    connect(BlockingPane, &TBlockingPane::killRequested, this, [this](int spid) {
        if (FocusSession(spid))
            actKillProcess->trigger();
    });
}

bool TMainForm::FocusSession(int ASPID) {
    for (int row = 0; row < MonitorModel->rowCount(); ++row)
        if (MonitorModel->record(row)->SPID == ASPID) {
            const QModelIndex current = MonitorVT->currentIndex();
            const QModelIndex target =
                MonitorModel->index(row, current.isValid() ? current.column() : 0);
            MonitorVT->setCurrentIndex(target);
            MonitorVT->scrollTo(target);
            return true;
        }
    return false;
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    TuneActions();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // From here on no control may recompose: focus leaves the login filter while the
    // window goes, and the sampler is gone below.
    FClosing = true;
    stopRecorder();
    if (Dervel) {
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
    event->accept();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edLogin) {
        // The login applies when the field is left; Enter leaves it for the grid.
        if (event->type() == QEvent::FocusOut && LoginFilterLeft())
            Monitoring(false);
        else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                MonitorVT->setFocus();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TMainForm::LoginFilterLeft() const {
    // Only a change the user made and then left the field for another control of this
    // window counts. Focus also goes when the window is deactivated or closed, and when
    // a failed sample disables the tool bar; none of those is the user's choice.
    if (FClosing || !edLogin->isEnabled() || edLogin->text() == FComposedLogin)
        return false;
    const QWidget* now = QApplication::focusWidget();
    return now && now != edLogin && isAncestorOf(now);
}

void TMainForm::customEvent(QEvent* event) {
    // A notice posted just before the sampler stopped may still be queued: the buffer
    // it speaks of is gone. One posted before the last hand-over speaks of a snapshot
    // the grid must no longer show.
    if (!Dervel)
        return;
    if (event->type() == WM_DATAARRIVE) {
        if (static_cast<TDataArriveEvent*>(event)->HandOver == FHandOver)
            arrivalNoticed();
    } else if (event->type() == WM_DATAERROR) {
        const auto* e = static_cast<TDataErrorEvent*>(event);
        if (e->HandOver == FHandOver)
            OnDataError(e->Message, e->Connection);
    }
}

void TMainForm::arrivalNoticed() {
    const QScreen* screen = this->screen();
    const double hz = screen && screen->refreshRate() > 1 ? screen->refreshRate() : 60.0;
    const qint64 frame = std::max<qint64>(1, std::llround(1000.0 / hz));
    const qint64 since = FLastShown.isValid() ? FLastShown.elapsed() : frame;
    if (since >= frame) {
        FArrivalTimer->stop();
        OnDataArrive();
    } else if (!FArrivalTimer->isActive()) {
        FArrivalTimer->start(static_cast<int>(frame - since));
    }
}

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
    // The outcome does not matter: an entry added in this run has no key yet.
    try {
        TRegistry registry;
        DeleteServerKey(registry, serverId);
    } catch (const ERegistryException&) {
    }
    ReportSettingsDamage();
}

void TMainForm::SaveServerConnectionString(TServer* server) {
    try {
        TRegistry registry;
        WriteServerConnectionString(registry, *server);
    } catch (const ERegistryException& e) {
        ShowError(tr("Ошибка при сохранении настроек:\r\n") + e.Message());
    }
    ReportSettingsDamage();
}

void TMainForm::showErrorPanel(bool show) {
    FGridStack->setCurrentWidget(show ? static_cast<QWidget*>(mmError) : MonitorVT);
}

void TMainForm::Monitoring(bool ReloadDBList) {
    // After the window started closing there is nothing to hand over to.
    if (!Dervel || FClosing)
        return;
    FComposedLogin = edLogin->text();
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
    if (server->State == stConnected) {
        if (ReloadDBList) {
            MonitorModel->setRowCount(0);
            actUnselectAllExecute();
            FRates.Reset(); // another server, or the same one connected anew
            stopRecorder();
            const std::optional<int> keep =
                DBReselectIndex(cbDBList->currentIndex(), cbDBList->currentText(), server->DBList);
            cbDBList->clear();
            cbDBList->addItems(DBFilterItems(server->DBList));
            cbDBList->setCurrentIndex(keep.value_or(0));
            MonitorStatusBar->setPanelText(0, server->ConnectDescr);
            ActivityLog->StartRecord(false, QString());
            RightsNotice->showFor(true, server->ViewServerState, server->Login);
            FResourceNames.setConnection(&server->Connection);
            if (BlockingPane->isVisible())
                BlockingPane->showSnapshot({});
        }
        QList<bool> shown;
        for (int i = 0; i < MonitorColumnCount; ++i)
            shown << !MonitorVT->horizontalHeader()->isSectionHidden(i);
        // The sort follows what the user sees: a column queried only for the rates, the
        // tree or the kill's check does not keep an order nobody can read.
        const int sortColumn = ShownSortColumn(shown, MonitorVT->sortColumn());
        if (sortColumn != MonitorVT->sortColumn())
            MonitorVT->setSort(sortColumn, MonitorVT->sortDescending());
        const TQueryFilters filters{
            cbDBList->currentIndex(), cbDBList->currentText(), StatusFilter,
            edLogin->text(),          tbHideSys->isChecked(),  tbShowBlocked->isChecked(),
            server->ViewServerState};
        QList<bool> queried = QueriedColumns(shown);
        if (actBlockingTree->isChecked())
            for (int column : BlockingTreeGridColumns)
                queried[column] = true;
        // A kill checks that the session still has the login it had, shown or not.
        queried[LoginColumn] = true;
        // A sort by a rate is the window's own: the query keeps its default order.
        const bool byRate = IsRateColumn(MonitorVT->sortColumn());
        const TComposedQuery q =
            ComposeQuery(Dervel->QueryTemplate, queried, byRate ? 0 : MonitorVT->sortColumn(),
                         !byRate && MonitorVT->sortDescending(), filters);
        if (!byRate && q.SortColumn != MonitorVT->sortColumn())
            MonitorVT->setSort(q.SortColumn, MonitorVT->sortDescending());
        FHandOver = Dervel->StartMonitoring(q.Text, &server->Connection);
    } else {
        cbDBList->clear();
        MonitorModel->setRowCount(0);
        // Marks name sessions of a connection that is gone; a reconnect may bring the
        // same SPIDs for other sessions.
        actUnselectAllExecute();
        FRates.Reset();
        stopRecorder();
        FHandOver = Dervel->StartMonitoring(QString(), nullptr);
        MonitorStatusBar->setPanelText(0, QString());
        ActivityLog->StartRecord(false, QString());
        RightsNotice->showFor(false, true, QString());
        FResourceNames.setConnection(nullptr);
        if (BlockingPane->isVisible())
            BlockingPane->showSnapshot({});
    }
    showErrorPanel(false);
    MonitorToolBar->setEnabled(true);
}

void TMainForm::OnDataArrive() {
    const PMonitorRec focused = FocusedRec();
    const int focusSPID = focused ? focused->SPID : 0;
    const int focusRequest = focused ? focused->RequestID : 0;
    const int focusColumn =
        MonitorVT->currentIndex().isValid() ? MonitorVT->currentIndex().column() : 0;
    int n = 0;
    qint64 sampleTime = 0;
    TSampleStats stats;
    {
        std::lock_guard lock(CS);
        // The buffer may already hold a cut sample of a newer hand-over.
        if (Dervel->BufferHandOver != FHandOver)
            return;
        sampleTime = Dervel->BufferTime;
        stats = Dervel->BufferStats;
        const TRecList& buffer = Dervel->Buffer;
        n = static_cast<int>(buffer.size());
        for (int i = n; i < RecList.size(); ++i)
            delete RecList[i];
        const int old = static_cast<int>(RecList.size());
        RecList.resize(n);
        for (int i = 0; i < n; ++i) {
            if (i >= old)
                RecList[i] = new TMonitorRec;
            *RecList[i] = *buffer[i];
        }
        // The buffer's records are the sampler's again, to read the next sample into.
        Dervel->TakeArrival();
    }
    FRates.Apply(RecList, sampleTime);
    if (IsRateColumn(MonitorVT->sortColumn()))
        SortByRate(RecList, MonitorVT->sortColumn(), MonitorVT->sortDescending());
    const int focusedRowBefore = MonitorVT->focusedRow();
    MonitorVT->setUpdatesEnabled(false);
    MonitorModel->setRowCount(n);
    QList<int> present;
    const bool pruning = !SelList.isEmpty();
    int blocked = 0;
    int newFocus = -1;
    for (int row = 0; row < n; ++row) {
        TMonitorRec& rec = *RecList[row];
        rec.Color = GetRecColor(rec);
        if (rec.Blocking != 0)
            ++blocked;
        if (rec.SPID == focusSPID && rec.RequestID == focusRequest) {
            newFocus = row;
        } else if (rec.SPID == focusSPID && newFocus < 0) {
            newFocus = row;
        }
        if (pruning)
            present << rec.SPID;
    }
    if (pruning) {
        for (int i = SelList.size() - 1; i >= 0; --i)
            if (!present.contains(SelList[i]))
                SelList.removeAt(i);
        setMarkedCount();
    }
    if (newFocus < 0 && focusedRowBefore >= n) {
        // The focused row went with the shrink: no row takes its place.
        MonitorVT->selectionModel()->clear();
    } else if (newFocus >= 0) {
        MonitorVT->restoreFocus(MonitorModel->index(newFocus, focusColumn),
                                tbFollowFocus->isChecked());
    }
    MonitorVT->setUpdatesEnabled(true);
    FLastShown.start();
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
    if (BlockingPane->isVisible())
        BlockingPane->showSnapshot(RecList);
}

void TMainForm::OnDataError(const QString& message, TDbConnection* connection) {
    TServer* server = SelectedServer();
    if (!server || &server->Connection != connection)
        return;
    ServerPanel->actDisconnectExecute(false);
    if (server->State == stDisconnected)
        server->State = stError;
    ServerPanel->RedrawServer(server);
    mmError->clear();
    mmError->appendPlainText(tr("Невозможно получить данные."));
    mmError->appendPlainText(tr("Сообщение от провайдера:"));
    mmError->appendPlainText(message);
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
    actRecordReplay->setEnabled(live || FRecorder);
}

void TMainForm::UpdateGridActions() {
    const QModelIndex current = MonitorVT->currentIndex();
    const bool focusedSelected =
        current.isValid() && MonitorVT->selectionModel()->isRowSelected(current.row());
    actKillProcess->setEnabled(focusedSelected && !Replaying());
    actView->setEnabled(focusedSelected);
    const PMonitorRec rec = FocusedRec();
    actViewBlock->setEnabled(focusedSelected && rec && rec->Blocking != 0);
    actUnselectAll->setEnabled(!SelList.isEmpty());
    actKillSelected->setEnabled(!SelList.isEmpty() && !Replaying());
}

void TMainForm::actPauseExecute() {
    if (!Dervel)
        return;
    Dervel->Pause = !Dervel->Pause;
    actPause->setChecked(Dervel->Pause);
    MonitorStatusBar->setPanelText(4, PauseText(Dervel->Pause));
}

void TMainForm::actRefreshExecute() {
    Monitoring(false);
}

void TMainForm::cbPeriodChange() {
    const int period = TMonitorToolBar::PeriodOf(cbPeriod->currentIndex());
    if (period > 0 && Dervel)
        Dervel->Period = period;
}

void TMainForm::actShowPanelExecute() {
    const bool open = ServerPanel->isVisible();
    ServerPanel->setVisible(!open);
    ServerPanel->setEnabled(!open);
    ServerPanel->actAddConnection->setEnabled(!open);
    SplitPanel->setCursor(open ? ArrowRightCursor() : ArrowLeftCursor());
    SplitPanel->setToolTip(open ? tr("Показать панель подключений (F2)")
                                : tr("Скрыть панель подключений (F2)"));
}

void TMainForm::setMarkedCount() {
    MonitorStatusBar->setPanelText(3, CountText(SelList.size()));
}

void TMainForm::actSelRecExecute() {
    const PMonitorRec rec = FocusedRec();
    if (!rec)
        return;
    if (SelList.contains(rec->SPID))
        SelList.removeAll(rec->SPID);
    else
        SelList.append(rec->SPID);
    MonitorVT->viewport()->update();
    setMarkedCount();
    UpdateGridActions();
}

void TMainForm::actUnselectAllExecute() {
    SelList.clear();
    MonitorVT->viewport()->update();
    MonitorStatusBar->setPanelText(3, QString());
    UpdateGridActions();
}

void TMainForm::MenuMonitorPopup(const QPoint& pos) {
    const PMonitorRec rec = FocusedRec();
    mnSelRec->setEnabled(rec != nullptr);
    mnSelRec->setText(rec && SelList.contains(rec->SPID) ? tr("Снять пометку\tSpace")
                                                         : tr("Пометить\tSpace"));
    MenuMonitor->popup(MonitorVT->viewport()->mapToGlobal(pos));
}

void TMainForm::MonitorVTHeaderClick(int column) {
    if (column < 0)
        return;
    // The rates are read from the top: busiest first.
    const bool descending =
        column == MonitorVT->sortColumn() ? !MonitorVT->sortDescending() : IsRateColumn(column);
    MonitorVT->setSort(column, descending);
    Monitoring(false);
}

QString TMainForm::StatusFilterUpdate() {
    const QStringList checked = StatusPanel->checkedStatuses();
    StatusFilter = StatusFilterText(checked);
    Monitoring(false);
    return StatusSummaryText(checked);
}

void TMainForm::ClearStatusFilter() {
    {
        const QSignalBlocker block(StatusPanel);
        StatusPanel->setAllChecked(false);
    }
    edStFlt->setText(StatusFilterUpdate());
}

void TMainForm::StatusPanelShow() {
    StatusPanel->StatusPanelShow(edStFlt);
}

void TMainForm::actClearFilterExecute() {
    tbHideSys->setChecked(false);
    tbShowBlocked->setChecked(false);
    if (cbDBList->count() > 0)
        cbDBList->setCurrentIndex(0);
    ClearStatusFilter();
    edLogin->clear();
    Monitoring(false);
}

// --- session actions ---------------------------------------------------------------------

void TMainForm::connectSessionActions() {
    connect(actKillProcess, &QAction::triggered, this, [this] { actKillProcessExecute(); });
    connect(actKillSelected, &QAction::triggered, this, [this] { actKillSelectedExecute(); });
    connect(actView, &QAction::triggered, this, [this] { actViewExecute(); });
    connect(actViewBlock, &QAction::triggered, this, [this] { actViewBlockExecute(); });
    connect(actHelp, &QAction::triggered, this, [this] { actHelpExecute(); });
}

QList<PMonitorRec> TMainForm::GridRecords() const {
    QList<PMonitorRec> rows;
    for (int row = 0; row < MonitorModel->rowCount(); ++row)
        rows.append(MonitorModel->record(row));
    return rows;
}

TViewHost TMainForm::SessionViewHost() {
    TViewHost host{[this](PMonitorRec rec, TServer* server) { return KillProcess(rec, server); },
                   [this] { Monitoring(false); }};
    if (Replaying()) {
        TReplay* replay = Replay;
        host.Recorded =
            TViewHost::TRecorded{Replay->info().Server, ReplayTimeText(Replay->time()),
                                 [replay](const TMonitorRec& rec) {
                                     const std::optional<TRecordedRow> row =
                                         replay->RecordedRow(rec);
                                     TRecordedRow fallback;
                                     fallback.Rec = rec;
                                     return RecordedSessionDetail(row ? *row : fallback);
                                 }};
    }
    return host;
}

bool TMainForm::KillProcess(PMonitorRec AMonitorRec, TServer* AServer) {
    if (Replaying() || !AServer)
        return false;
    const TKillOutcome outcome = KillSession(*AMonitorRec, AServer->Connection);
    if (outcome == TKillOutcome::Declined)
        return false;
    Monitoring(false);
    return outcome == TKillOutcome::Killed;
}

void TMainForm::actKillProcessExecute() {
    const PMonitorRec focused = FocusedRec();
    TServer* server = SelectedServer();
    if (!focused || !server)
        return;
    // Snapshots that arrive while the question is open overwrite the grid's records.
    TMonitorRec copy = *focused;
    KillProcess(&copy, server);
}

void TMainForm::actKillSelectedExecute() {
    TServer* server = SelectedServer();
    if (!server)
        return;
    KillMarkedSessions(GridRecords(), SelList, server->Connection);
    Monitoring(false);
}

void TMainForm::actViewExecute() {
    const PMonitorRec focused = FocusedRec();
    TServer* server = Replaying() ? nullptr : SelectedServer();
    if (!focused || (!server && !Replaying()))
        return;
    OpenSessionView(this, server, focused, SessionViewHost());
}

void TMainForm::actViewBlockExecute() {
    const PMonitorRec focused = FocusedRec();
    TServer* server = Replaying() ? nullptr : SelectedServer();
    if (!focused || (!server && !Replaying()))
        return;
    OpenBlockingPair(this, server, focused, GridRecords(), SessionViewHost());
}

void TMainForm::actHelpExecute() {
    ShowColourLegend(this);
}

// --- recordings ---------------------------------------------------------------------------

void TMainForm::createReplay(QVBoxLayout* ALayout) {
    TReplay::THost host;
    host.Filters = [this] {
        return TQueryFilters{
            cbDBList->currentIndex(), cbDBList->currentText(), StatusFilter,
            edLogin->text(),          tbHideSys->isChecked(),  tbShowBlocked->isChecked()};
    };
    host.SortColumn = [this] { return MonitorVT->sortColumn(); };
    host.SortDescending = [this] { return MonitorVT->sortDescending(); };
    host.Show = [this](TRecList& rows, qint64 time) { showRecordedSnapshot(rows, time); };
    host.ActiveChanged = [this](bool active) { replayActiveChanged(active); };
    host.Databases = [this](const QStringList& names) {
        const int index = cbDBList->currentIndex();
        const QString chosen = cbDBList->currentText();
        cbDBList->clear();
        cbDBList->addItems(DBFilterItems(names));
        const std::optional<int> keep = DBReselectIndex(index, chosen, names);
        cbDBList->setCurrentIndex(keep.value_or(0));
    };
    Replay = new TReplay(std::move(host), this);
    // The window is the bar's parent only: without one of its own the controller was
    // never destroyed.
    Replay->setParent(this);
    ALayout->addWidget(Replay->bar());
}

bool TMainForm::Replaying() const {
    return Replay && Replay->active();
}

bool TMainForm::OpenRecording(const QString& APath) {
    return Replay->Open(APath);
}

void TMainForm::actOpenRecordingExecute() {
    const QString path = Prompts().openFile(this, tr("Открыть запись"),
                                            LogFolder(), // where this window's recordings go
                                            tr("Записи Dervel (*.dervelrec);;Все файлы (*)"));
    if (!path.isEmpty())
        OpenRecording(path);
}

void TMainForm::replayActiveChanged(bool AActive) {
    if (AActive) {
        // The live server is left alone while the recording is on show.
        stopRecorder();
        ActivityLog->StartRecord(false, QString());
        FHandOver = Dervel->StartMonitoring(QString(), nullptr);
        FRates.Reset();
        MonitorModel->setRowCount(0);
        actUnselectAllExecute();
        cbDBList->clear();
        cbDBList->addItems(DBFilterItems({}));
        RightsNotice->showFor(false, true, QString());
        FResourceNames.setConnection(nullptr);
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
        5, QStringLiteral("%1 — %2").arg(ReplayTimeText(ATimeMs), Replay->path()));
}

void TMainForm::actRecordReplayExecute(bool AOn) {
    if (!AOn) {
        stopRecorder();
        return;
    }
    TServer* server = SelectedServer();
    if (!server || server->State != stConnected || Replaying()) {
        actRecordReplay->setChecked(false);
        return;
    }
    QString path = LogFilePath(LogFolder(), QDateTime::currentDateTime(), server->Name);
    path.replace(path.size() - 4, 4, QStringLiteral(".dervelrec"));
    const int period = std::max(1000, TMonitorToolBar::PeriodOf(cbPeriod->currentIndex()) * 10);
    // A failure reported late, after this recording was stopped and maybe another begun,
    // is no longer this window's business.
    const quint64 recording = ++FRecordings;
    const auto failed = [this, recording](const QString& message) {
        QMetaObject::invokeMethod(
            this,
            [this, recording, message] {
                if (recording != FRecordings || !FRecorder)
                    return;
                stopRecorder();
                ShowError(message);
            },
            Qt::QueuedConnection);
    };
    try {
        FRecorder = std::make_unique<TBackgroundRecorder>(
            path, server->Name, server->SharedConnection(), period, failed);
    } catch (const ERecordingError& e) {
        actRecordReplay->setChecked(false);
        ShowError(e.message());
        return;
    } catch (const EDbError& e) {
        actRecordReplay->setChecked(false);
        ShowError(e.message());
        return;
    }
    actRecordReplay->setToolTip(tr("Идёт запись для воспроизведения: %1").arg(path));
    TuneActions();
}

void TMainForm::stopRecorder() {
    if (!FRecorder)
        return;
    // Returns at once: the recorder finishes a sample under way on its own (see
    // backgroundrecorder.h).
    FRecorder.reset();
    const QSignalBlocker block(actRecordReplay);
    actRecordReplay->setChecked(false);
    actRecordReplay->setToolTip(tr("Записывать сеансы сервера для воспроизведения"));
    TuneActions();
}
