#pragma once
// Desktop notifications through the freedesktop notification service on the session's
// D-Bus (org.freedesktop.Notifications): dunst, GNOME Shell, Plasma, xfce4-notifyd, ...
// Calls never block the window: they go out asynchronously and their answers come back
// through the event loop. Without a session bus or a service, the notifier says so once
// and goes quiet; whatever relies on it (the alerts' pane, the marks) does not.

#include <QHash>
#include <QObject>
#include <QString>

class QDBusPendingCallWatcher;

class TDesktopNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";

    explicit TDesktopNotifier(QObject* parent = nullptr);

    // Asks the service whether it is there; unavailable() follows if it is not.
    void probe();
    // Shows a notification with one action, "Показать"; AToken comes back in activated()
    // when the user chooses it.
    void notify(const QString& ASummary, const QString& ABody, quint64 AToken);
    bool isUnavailable() const { return FUnavailable; }

signals:
    // The call went out (the alerts' latency is measured to here).
    void sent(quint64 AToken);
    void activated(quint64 AToken);
    // Once, the first time a call fails: why, in words.
    void unavailable(const QString& AWhy);

private slots:
    void actionInvoked(uint AId, const QString& AAction);
    void closed(uint AId, uint AReason);

private:
    void failed(const QString& AWhy);

    bool FUnavailable = false;
    bool FSubscribed = false;
    QHash<uint, quint64> FTokens; // notification id → token, while it is shown
};
