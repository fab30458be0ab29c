#include "alerts/desktopnotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

QDBusMessage call(const char* AMethod) {
    return QDBusMessage::createMethodCall(QLatin1String(TDesktopNotifier::kService),
                                          QLatin1String(TDesktopNotifier::kPath), kInterface,
                                          QLatin1String(AMethod));
}

} // namespace

TDesktopNotifier::TDesktopNotifier(QObject* parent) : QObject(parent) {}

void TDesktopNotifier::failed(const QString& AWhy) {
    if (FUnavailable)
        return;
    FUnavailable = true;
    emit unavailable(AWhy);
}

void TDesktopNotifier::probe() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        failed(QCoreApplication::translate("Alerts", "нет сеанса D-Bus"));
        return;
    }
    if (!FSubscribed) {
        // Only the service's owner is listened to: a signal of the same name from any
        // other client of the bus does not raise the window.
        bus.connect(QLatin1String(kService), QLatin1String(kPath), kInterface,
                    QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
        bus.connect(QLatin1String(kService), QLatin1String(kPath), kInterface,
                    QStringLiteral("NotificationClosed"), this, SLOT(closed(uint, uint)));
        FSubscribed = true;
    }
    auto* watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(call("GetServerInformation"), 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError())
            failed(w->error().message());
    });
}

void TDesktopNotifier::notify(const QString& ASummary, const QString& ABody, quint64 AToken) {
    if (FUnavailable)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        failed(QCoreApplication::translate("Alerts", "нет сеанса D-Bus"));
        return;
    }
    if (!FSubscribed)
        probe();
    QDBusMessage message = call("Notify");
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("dervel"));
    // Normal, not critical: a critical one stays until dismissed in most daemons, and a
    // busy night would bury the screen. The pane keeps every alert anyway.
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
    message << QStringLiteral("Dervel") << uint(0) << QStringLiteral("dervel") << ASummary << ABody
            << QStringList{QStringLiteral("default"),
                           QCoreApplication::translate("Alerts", "Показать")}
            << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, 5000), this);
    emit sent(AToken);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, AToken](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<uint> reply = *w;
                if (reply.isError())
                    failed(reply.error().message());
                else
                    FTokens.insert(reply.value(), AToken);
            });
}

void TDesktopNotifier::actionInvoked(uint AId, const QString& AAction) {
    const auto it = FTokens.constFind(AId);
    if (it == FTokens.cend() || AAction != QLatin1String("default"))
        return;
    emit activated(it.value());
}

void TDesktopNotifier::closed(uint AId, uint) {
    FTokens.remove(AId);
}
