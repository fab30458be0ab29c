#pragma once
// The desktop keyring (the Secret Service: GNOME Keyring, KWallet, KeePassXC) through
// QtKeychain. Every access is a job that answers later, so the main window never waits
// on the keyring; the keyring's own time-out bounds how long an answer can take.

#include <QObject>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

namespace QKeychain {
class Job;
}

struct TKeyringReply {
    enum TStatus { Done, NotFound, Unavailable };
    TStatus Status = Unavailable;
    QString Password; // what a read found
};

class TKeyring : public QObject {
    Q_OBJECT
public:
    using TCallback = std::function<void(const TKeyringReply&)>;

    // AService names this program's secrets in the keyring.
    explicit TKeyring(const QString& AService = QStringLiteral("Dervel"),
                      QObject* parent = nullptr);

    // False without a D-Bus session, and for the rest of the run once the keyring has
    // refused or failed a job; everything then goes on as without a keyring. Asking
    // tells the user nothing: an offer of the keyring is simply not made.
    bool Usable();
    // Where the keyring would have served and cannot: tells the user why, once a run.
    void TellUnavailable();

    // Each answers through ACallback, later; at once (Unavailable, the user told) when
    // not Usable().
    void Read(const QUuid& AServerID, TCallback ACallback);
    void Write(const QUuid& AServerID, const QString& APassword, TCallback ACallback);
    void Remove(const QUuid& AServerID, TCallback ACallback);

private:
    void Run(QKeychain::Job* AJob, TCallback ACallback);
    void GiveUp(const QString& AReason);

    QString FService;
    std::optional<bool> FUsable;
    QString FReason; // why not, in the user's words
    bool FTold = false;
};
