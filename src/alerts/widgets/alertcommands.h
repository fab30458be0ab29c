#pragma once
// The alerts in the window: every summary the estate has of a connected server (the
// grid's server's from its rows) goes through the rules; an alert raised becomes a desktop
// notification whose action raises the window, selects the server and focuses the head
// blocker (without a notification service the pane opens by itself once, saying so); the
// pane "Оповещения" (Ctrl+Shift+A) lists them all; the server list marks an
// entry while one of its alerts lasts; "Оповещения…" edits the rules. The main window
// creates it and places the pane; the rest it wires itself.

#include "alerts/alerttracker.h"

#include <QHash>
#include <QObject>
#include <functional>
#include <optional>

class QAction;
class QTimer;
class TAlertListModel;
class TAlertPane;
class TDesktopNotifier;
class TEstateCommands;
class TServer;
class TServerPanel;

class TAlertCommands : public QObject {
    Q_OBJECT
public:
    struct THost {
        std::function<int()> GridPeriodMs;           // the grid's sampling period
        std::function<bool(int ASPID)> FocusSession; // false when the grid has no such row
    };
    TAlertCommands(TServerPanel& APanel, TEstateCommands& AEstate, THost AHost, QWidget* AWindow);

    QAction* const actAlertsPane;
    QAction* const actAlertRules;
    TAlertPane* Pane() const { return FPane; }
    TAlertListModel* Model() const { return FModel; }
    TDesktopNotifier* Notifier() const { return FNotifier; }
    const TAlertTracker& Tracker() const { return FTracker; }

    // Goes to an alert: raises the window, selects its server and, once the grid shows
    // that server's rows, focuses its session.
    void GoTo(const TAlert& AAlert);
    // Opens the rules' dialog; the rules apply and are saved when it is accepted.
    void EditRules();

private:
    void summaryChanged(TServer* AServer, bool AFromGrid);
    void entriesChanged();
    void apply(const QList<TAlertChange>& AChanges);
    void notify(const QList<TAlertChange>& AChanges);
    void markServers();
    void sayUnavailable();
    TServer* serverOf(const QString& AKey) const;

    TServerPanel& FPanel;
    THost FHost;
    QWidget* FWindow;
    TAlertTracker FTracker;
    TAlertListModel* FModel;
    TAlertPane* FPane;
    TDesktopNotifier* FNotifier;
    QTimer* FTick;                    // silence is noticed without a summary to notice it by
    QHash<quint64, TAlert> FNotified; // a notification's token → the alert it told of
    struct TPendingFocus {
        QString ServerKey;
        int Spid;
    };
    std::optional<TPendingFocus> FPendingFocus;
    QString FUnavailable; // why desktop notifications cannot be shown, once known
    bool FRaisedAny = false;
    bool FSaid = false;
};
