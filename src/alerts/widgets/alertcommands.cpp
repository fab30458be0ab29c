#include "alerts/widgets/alertcommands.h"

#include "alerts/alertrulesstore.h"
#include "alerts/desktopnotifier.h"
#include "alerts/widgets/alertlistmodel.h"
#include "alerts/widgets/alertpane.h"
#include "alerts/widgets/alertrulesdialog.h"
#include "estate/widgets/estatecommands.h"
#include "prompts/prompts.h" // ShowError
#include "registry/registry.h"
#include "registry/registryexception.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverpanel.h"

#include <QAction>
#include <QDateTime>
#include <QMenu>
#include <QSet>
#include <QStyle>
#include <QTimer>

namespace {

QString keyOf(const TServer* AServer) {
    return AServer->ServerID.toString(QUuid::WithBraces);
}

} // namespace

TAlertCommands::TAlertCommands(TServerPanel& APanel, TEstateCommands& AEstate, THost AHost,
                               QWidget* AWindow)
    : QObject(AWindow), actAlertsPane(new QAction(tr("Оповещения"), this)),
      actAlertRules(new QAction(tr("Оповещения…"), this)), FPanel(APanel), FHost(std::move(AHost)),
      FWindow(AWindow), FModel(new TAlertListModel(this)), FPane(new TAlertPane(FModel)),
      FNotifier(new TDesktopNotifier(this)), FTick(new QTimer(this)) {
    {
        TRegistry registry;
        FTracker.setRules(ReadAlertRules(registry));
    }
    actAlertsPane->setObjectName(QStringLiteral("actAlertsPane"));
    actAlertsPane->setCheckable(true);
    actAlertsPane->setIcon(AWindow->style()->standardIcon(QStyle::SP_MessageBoxWarning));
    actAlertsPane->setToolTip(tr("Оповещения: блокировки, долгие запросы, молчащие серверы "
                                 "(Ctrl+Shift+A)"));
    actAlertsPane->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    actAlertsPane->setShortcutContext(Qt::WindowShortcut);
    AWindow->addAction(actAlertsPane);
    actAlertRules->setObjectName(QStringLiteral("actAlertRules"));
    FPane->hide();
    connect(actAlertsPane, &QAction::toggled, FPane, &QWidget::setVisible);
    connect(actAlertRules, &QAction::triggered, this, &TAlertCommands::EditRules);
    APanel.MenuServer->addAction(actAlertRules);
    FPane->setContextMenuPolicy(Qt::ActionsContextMenu);
    FPane->addAction(actAlertRules);
    connect(FPane, &TAlertPane::alertChosen, this, &TAlertCommands::GoTo);

    connect(&AEstate, &TEstateCommands::summaryChanged, this, &TAlertCommands::summaryChanged);
    connect(&APanel, &TServerPanel::entriesChanged, this, &TAlertCommands::entriesChanged);
    FTick->setInterval(1000);
    connect(FTick, &QTimer::timeout, this,
            [this] { apply(FTracker.tick(QDateTime::currentMSecsSinceEpoch())); });
    FTick->start();

    connect(FNotifier, &TDesktopNotifier::activated, this, [this](quint64 token) {
        const auto it = FNotified.constFind(token);
        if (it != FNotified.cend())
            GoTo(it.value());
    });
    connect(FNotifier, &TDesktopNotifier::unavailable, this, [this](const QString& why) {
        FUnavailable = tr("Уведомления на рабочем столе недоступны (%1): оповещения видны "
                          "в панели «Оповещения» (Ctrl+Shift+A) и значками в списке серверов.")
                           .arg(why);
        FPane->setNotice(FUnavailable);
        if (FRaisedAny)
            sayUnavailable();
    });
    FNotifier->probe();
}

void TAlertCommands::summaryChanged(TServer* AServer, bool AFromGrid) {
    const int period = AFromGrid ? FHost.GridPeriodMs() : FPanel.estatePeriod();
    apply(FTracker.observe(keyOf(AServer), AServer->Name, AServer->Summary, period,
                           QDateTime::currentMSecsSinceEpoch()));
    if (AFromGrid && FPendingFocus && FPendingFocus->ServerKey == keyOf(AServer) &&
        FPanel.SelectedServer() == AServer && FHost.FocusSession(FPendingFocus->Spid))
        FPendingFocus.reset();
}

void TAlertCommands::entriesChanged() {
    // A server the user disconnected or removed is not watched: its alerts end. One that
    // failed stays in the error state and keeps them; its silence is an alert of its own.
    QSet<QString> listed;
    QList<TAlertChange> changes;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int row = 0; row < FPanel.model()->rowCount(); ++row) {
        const TServer* s = FPanel.model()->server(row);
        listed.insert(keyOf(s));
        if (s->State == stDisconnected && FTracker.watches(keyOf(s)))
            changes += FTracker.forget(keyOf(s), now);
    }
    for (const QString& key : FTracker.servers())
        if (!listed.contains(key))
            changes += FTracker.forget(key, now);
    if (!changes.isEmpty())
        apply(changes);
}

void TAlertCommands::apply(const QList<TAlertChange>& AChanges) {
    if (AChanges.isEmpty())
        return;
    for (const TAlertChange& c : AChanges) {
        if (c.Change == TAlertChangeKind::Raised)
            FModel->raised(c.Alert);
        else
            FModel->cleared(c.Alert);
    }
    notify(AChanges);
    markServers();
}

void TAlertCommands::sayUnavailable() {
    if (FSaid || FUnavailable.isEmpty())
        return;
    FSaid = true;
    // The pane opens by itself this once, its first line saying why; no message box
    // stands in the way of what the user is doing when the alert comes.
    actAlertsPane->setChecked(true);
}

void TAlertCommands::notify(const QList<TAlertChange>& AChanges) {
    // One notification per server and rule for what was raised at one look: a server
    // that connects with twenty chains says so once, naming the worst.
    QList<QList<TAlert>> groups;
    for (const TAlertChange& c : AChanges) {
        if (c.Change != TAlertChangeKind::Raised)
            continue;
        auto it = std::find_if(groups.begin(), groups.end(), [&c](const QList<TAlert>& g) {
            return g.front().ServerKey == c.Alert.ServerKey && g.front().Kind == c.Alert.Kind;
        });
        if (it == groups.end())
            groups.append({c.Alert});
        else
            it->append(c.Alert);
    }
    if (!groups.isEmpty()) {
        // Said once, at the first alert that cannot reach the desktop rather than at every
        // start of a window whose user may never have one.
        FRaisedAny = true;
        sayUnavailable();
    }
    for (const QList<TAlert>& group : groups) {
        const TAlert& worst =
            *std::max_element(group.begin(), group.end(), [](const TAlert& a, const TAlert& b) {
                return a.WaitMs != b.WaitMs ? a.WaitMs < b.WaitMs : a.Waiting < b.Waiting;
            });
        QString body = AlertBodyText(worst);
        if (group.size() > 1)
            body += QLatin1Char('\n') + tr("И ещё таких же: %1.").arg(group.size() - 1);
        const quint64 token = quint64(worst.Id);
        FNotified.insert(token, worst);
        FNotifier->notify(AlertSummaryText(worst), body, token);
    }
}

void TAlertCommands::markServers() {
    for (int row = 0; row < FPanel.model()->rowCount(); ++row) {
        TServer* s = FPanel.model()->server(row);
        const int open = FTracker.openCount(keyOf(s));
        if (open != s->OpenAlerts) {
            s->OpenAlerts = open;
            FPanel.RedrawServer(s);
        }
    }
}

TServer* TAlertCommands::serverOf(const QString& AKey) const {
    for (int row = 0; row < FPanel.model()->rowCount(); ++row)
        if (keyOf(FPanel.model()->server(row)) == AKey)
            return FPanel.model()->server(row);
    return nullptr;
}

void TAlertCommands::GoTo(const TAlert& AAlert) {
    FWindow->setWindowState(FWindow->windowState() & ~Qt::WindowMinimized);
    FWindow->show();
    FWindow->raise();
    FWindow->activateWindow();
    TServer* s = serverOf(AAlert.ServerKey);
    if (!s)
        return;
    const bool shown = FPanel.SelectedServer() == s;
    if (!shown)
        FPanel.SelectServer(s);
    FPendingFocus.reset();
    if (AAlert.Subject.Spid <= 0 || s->State != stConnected)
        return;
    // The grid shows another server's rows until the first snapshot of this one.
    if (!shown || !FHost.FocusSession(AAlert.Subject.Spid))
        FPendingFocus = TPendingFocus{keyOf(s), AAlert.Subject.Spid};
}

void TAlertCommands::EditRules() {
    QStringList names;
    for (int row = 0; row < FPanel.model()->rowCount(); ++row)
        names << FPanel.model()->server(row)->Name;
    auto* dialog = new TAlertRulesDialog(FTracker.rules(), names, FWindow);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const TAlertRules rules = dialog->rules();
        FTracker.setRules(rules);
        try {
            TRegistry registry;
            WriteAlertRules(registry, rules);
            registry.CloseKey();
        } catch (const ERegistryException& e) {
            ShowError(tr("Правила оповещений не сохранены:\n%1").arg(e.Message()));
        }
    });
    dialog->open();
}
