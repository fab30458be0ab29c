#include "servers/widgets/serverpanel.h"

#include "grid/statusbartext.h"
#include "keyring/keyring.h"
#include "keyring/serversecrets.h"
#include "prompts/prompts.h"
#include "resources/imagelists.h"
#include "servers/widgets/mainstatusbar.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverlistview.h"
#include "servers/widgets/serverpanelhost.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QResizeEvent>
#include <QThread>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

QAction* makeAction(QObject* owner, const char* name, const QString& caption, const QString& hint,
                    int image) {
    auto* a = new QAction(MainImageList(image), caption, owner);
    a->setObjectName(QLatin1String(name));
    a->setToolTip(hint);
    a->setStatusTip(hint);
    return a;
}

} // namespace

TServerPanel::TServerPanel(TServerPanelHost& host, QWidget* parent)
    : QWidget(parent), FHost(host), FModel(new TServerListModel(this)) {
    setObjectName(QStringLiteral("SplitView"));
    actAddConnection =
        makeAction(this, "actAddConnection", tr("Добавить"), tr("Добавить подключение"), 3);
    actConnect = makeAction(this, "actConnect", tr("Подключить"), tr("Подключить"), 9);
    actDisconnect = makeAction(this, "actDisconnect", tr("Отключить"), tr("Отключить"), 8);
    actEditConnection =
        makeAction(this, "actEditConnection", tr("Изменить"), tr("Изменить подключение"), 7);
    actDeleteConnection =
        makeAction(this, "actDeleteConnection", tr("Удалить"), tr("Удалить подключение"), 6);
    actAddConnection->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    actAddConnection->setShortcutContext(Qt::WindowShortcut);
    connect(actAddConnection, &QAction::triggered, this, [this] { actAddConnectionExecute(); });
    connect(actConnect, &QAction::triggered, this, [this] { actConnectExecute(); });
    connect(actDisconnect, &QAction::triggered, this, [this] { actDisconnectExecute(true); });
    connect(actEditConnection, &QAction::triggered, this, [this] { actEditConnectionExecute(); });
    connect(actDeleteConnection, &QAction::triggered, this,
            [this] { actDeleteConnectionExecute(); });

    MainToolBar = new QToolBar(this);
    MainToolBar->setObjectName(QStringLiteral("MainToolBar"));
    MainToolBar->setIconSize(QSize(16, 16));
    MainToolBar->setFixedHeight(24);
    MainToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    MainToolBar->setStyleSheet(QStringLiteral("QToolBar { border-bottom: 1px solid #A0A0A0; }"));
    MainToolBar->addActions(
        {actAddConnection, actConnect, actDisconnect, actEditConnection, actDeleteConnection});

    ServerVT = new TServerListView(FModel, this);
    MainStatusBar = new TMainStatusBar(this);

    // Ctrl+Enter and Ctrl+Del belong to the list only; the session grid has its own.
    auto* editKey = new QAction(this);
    // Enter on the keypad is a key of its own.
    editKey->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Return),
         QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Enter))});
    editKey->setShortcutContext(Qt::WidgetShortcut);
    connect(editKey, &QAction::triggered, actEditConnection, &QAction::trigger);
    auto* deleteKey = new QAction(this);
    deleteKey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    deleteKey->setShortcutContext(Qt::WidgetShortcut);
    connect(deleteKey, &QAction::triggered, actDeleteConnection, &QAction::trigger);
    ServerVT->addActions({editKey, deleteKey});

    MenuServer = new QMenu(this);
    MenuServer->setObjectName(QStringLiteral("MenuServer"));
    MenuServer->addAction(actConnect);
    MenuServer->addAction(actDisconnect);
    MenuServer->addAction(actAddConnection);
    auto* mnEdit = MenuServer->addAction(
        actEditConnection->icon(), actEditConnection->text() + QStringLiteral("\tCtrl+Enter"));
    connect(mnEdit, &QAction::triggered, actEditConnection, &QAction::trigger);
    connect(actEditConnection, &QAction::changed, mnEdit,
            [mnEdit, this] { mnEdit->setEnabled(actEditConnection->isEnabled()); });
    auto* mnDelete = MenuServer->addAction(
        actDeleteConnection->icon(), actDeleteConnection->text() + QStringLiteral("\tCtrl+Del"));
    connect(mnDelete, &QAction::triggered, actDeleteConnection, &QAction::trigger);
    connect(actDeleteConnection, &QAction::changed, mnDelete,
            [mnDelete, this] { mnDelete->setEnabled(actDeleteConnection->isEnabled()); });
    MenuServer->setDefaultAction(actConnect);
    ServerVT->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ServerVT, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { MenuServer->popup(ServerVT->viewport()->mapToGlobal(p)); });

    connect(ServerVT->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { ServerVTChange(); });
    connect(ServerVT, &TServerListView::rowDoubleClicked, this, [this] { actConnectExecute(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(MainToolBar);
    layout->addWidget(ServerVT, 1);
    layout->addWidget(MainStatusBar);
    setFixedWidth(163);
}

TServer* TServerPanel::NewServer(const QString& AName, const QString& AConnectionString,
                                 bool ASelect) {
    auto entry = std::make_unique<TServer>();
    entry->Name = AName;
    entry->ConnectionString = AConnectionString;
    TServer* server = FModel->append(std::move(entry));
    if (ASelect)
        ServerVT->setCurrentIndex(FModel->index(FModel->rowOf(server)));
    return server;
}

TServer* TServerPanel::SelectedServer() const {
    return FModel->server(ServerVT->focusedRow());
}

void TServerPanel::SelectServer(const TServer* AServer) {
    const int row = FModel->rowOf(AServer);
    if (row >= 0)
        ServerVT->setCurrentIndex(FModel->index(row));
}

void TServerPanel::RedrawServer(const TServer* server) {
    FModel->refresh(FModel->rowOf(server));
}

void TServerPanel::SetSecrets(TServerSecrets* ASecrets) {
    FSecrets = ASecrets;
    // A keyring job that ends may free the focused entry's commands.
    connect(FSecrets, &TServerSecrets::Settled, this, [this] { FHost.TuneActions(); });
}

void TServerPanel::TuneActions() {
    const TServer* s = SelectedServer();
    const bool connected = s && s->State == stConnected;
    // An entry whose password the keyring is handling waits for it.
    const bool free = s && !connected && !s->Connecting && !(FSecrets && FSecrets->Busy(s));
    actDeleteConnection->setEnabled(free);
    actEditConnection->setEnabled(free);
    actConnect->setEnabled(free);
    actDisconnect->setEnabled(connected);
    MainStatusBarInfo();
    emit entriesChanged();
}

void TServerPanel::ServerConnected(TServer* server) {
    RedrawServer(server);
    if (server == SelectedServer())
        FHost.Monitoring(true);
    FHost.TuneActions();
}

void TServerPanel::setPanelWidth(int AWidth) {
    setFixedWidth(std::max(kOriginalWidth, AWidth));
}

void TServerPanel::setWideView(QWidget* AView) {
    FWideView = AView;
    AView->setParent(this);
    static_cast<QVBoxLayout*>(layout())->insertWidget(2, AView, 1);
    AView->setVisible(width() > kOriginalWidth);
    ServerVT->setVisible(width() <= kOriginalWidth);
}

void TServerPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!FWideView)
        return;
    const bool wideNow = width() > kOriginalWidth;
    if (wideNow == FWideView->isVisible())
        return;
    // The keyboard focus goes with the list that is shown.
    const bool hadFocus = (wideNow ? ServerVT : FWideView)->hasFocus();
    FWideView->setVisible(wideNow);
    ServerVT->setVisible(!wideNow);
    if (hadFocus)
        (wideNow ? FWideView : static_cast<QWidget*>(ServerVT))->setFocus();
}

void TServerPanel::setEstatePeriod(int AMilliseconds) {
    if (AMilliseconds == FEstatePeriodMs)
        return;
    FEstatePeriodMs = AMilliseconds;
    emit estatePeriodChanged(AMilliseconds);
}

void TServerPanel::MainStatusBarInfo() {
    QList<int> states;
    for (int i = 0; i < FModel->rowCount(); ++i)
        states << static_cast<int>(FModel->server(i)->State);
    MainStatusBar->setTexts(ServerStateCountTexts(states));
}

void TServerPanel::ServerVTChange() {
    FHost.UnselectAll();
    FHost.TuneActions();
    if (SelectedServer())
        FHost.Monitoring(true);
}

void TServerPanel::actAddConnectionExecute() {
    QString name, connectionString;
    bool toKeyring = false;
    if (FHost.EditConnection(tr("Новое подключение"), name, connectionString,
                             FSecrets && FSecrets->Keyring().Usable() ? &toKeyring : nullptr)) {
        TServer* server = NewServer(name, connectionString, true);
        KeepPassword(server, toKeyring, [this, server] { ConnectServer(server); });
    }
    FHost.TuneActions();
}

void TServerPanel::actEditConnectionExecute() {
    TServer* server = SelectedServer();
    if (!server || !actEditConnection->isEnabled())
        return;
    QString name = server->Name, connectionString = server->ConnectionString;
    bool toKeyring = false;
    if (!FHost.EditConnection(tr("Изменить подключение"), name, connectionString,
                              FSecrets && FSecrets->Keyring().Usable() ? &toKeyring : nullptr))
        return;
    server->Name = name;
    server->ConnectionString = connectionString;
    RedrawServer(server);
    // A secret kept for the entry stays with it: its GUID does not change.
    KeepPassword(server, toKeyring, [this] { FHost.TuneActions(); });
}

void TServerPanel::KeepPassword(TServer* server, bool toKeyring, std::function<void()> done) {
    if (!toKeyring || !FSecrets) {
        done();
        return;
    }
    // Where the keyring fails, the password stays in the string, as without one.
    FSecrets->MovePassword(server, [done = std::move(done)](bool) { done(); });
    FHost.TuneActions();
}

void TServerPanel::actDeleteConnectionExecute() {
    TServer* server = SelectedServer();
    if (!server || !actDeleteConnection->isEnabled())
        return;
    if (ShowMessage(tr("Удалить подключение?"), tr("Удаление"), TMsgIcon::Question,
                    TMsgButtons::YesNo, TMsgResult::No) != TMsgResult::Yes)
        return;
    FHost.DeleteServerSettings(server->ServerID);
    if (FSecrets)
        FSecrets->Forget(server->ServerID);
    // No other row takes the focus: selecting one would start watching that server.
    ServerVT->setCurrentIndex(QModelIndex());
    ServerVT->clearSelection();
    FModel->remove(FModel->rowOf(server));
    FHost.TuneActions();
}

void TServerPanel::actConnectExecute() {
    TServer* server = SelectedServer();
    if (!server || server->State == stConnected || server->Connecting ||
        (FSecrets && FSecrets->Busy(server)))
        return;
    ConnectServer(server);
}

void TServerPanel::ConnectServer(TServer* server) {
    auto connected = [this, server] {
        RedrawServer(server);
        FHost.Monitoring(true);
        FHost.FocusSessionGrid();
        FHost.TuneActions();
    };
    if (FSecrets) {
        FSecrets->Connect(server, connected);
        FHost.TuneActions(); // the entry may be waiting for the keyring now
    } else {
        server->Connect();
        connected();
    }
}

bool TServerPanel::ConnectEntry(const QString& AName) {
    for (int row = 0; row < FModel->rowCount(); ++row) {
        if (FModel->server(row)->Name != AName)
            continue;
        ServerVT->setCurrentIndex(FModel->index(row));
        actConnectExecute();
        return true;
    }
    return false;
}

void TServerPanel::actDisconnectExecute(bool userCommand) {
    TServer* server = SelectedServer();
    if (!server || server->State != stConnected)
        return;
    server->State = stDisconnected;
    FHost.Monitoring(false);
    // The sampler lets go of the connection at its next adoption, normally within 10 ms.
    for (int i = 0; i < 100 && server->Connection.dataSetCount() > 0; ++i)
        QThread::msleep(10);
    if (server->Connection.dataSetCount() > 0) {
        server->State = stConnected;
        if (userCommand)
            ShowError(tr("Не удалось прервать соединение. Превышено время ожидания."));
    } else {
        server->Connection.close();
    }
    RedrawServer(server);
    FHost.TuneActions();
}
