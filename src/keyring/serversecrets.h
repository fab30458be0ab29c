#pragma once
// The passwords of server entries in the keyring: asking for one before a connect,
// keeping the one a login dialog was told to remember, moving a password out of a
// connection string, and forgetting it with its entry. The server panel calls it; the
// entries' connection strings lose their passwords only once the keyring holds them.

#include <QObject>
#include <QSet>
#include <QUuid>
#include <functional>

class TKeyring;
class TServer;

class TServerSecrets : public QObject {
    Q_OBJECT
public:
    explicit TServerSecrets(TKeyring& AKeyring, QObject* parent = nullptr);

    TKeyring& Keyring() { return FKeyring; }

    // Connects the entry. Where the keyring may hold its password, the keyring is asked
    // first and the connect happens when it answers; ADone runs after the connect, at
    // once when the keyring was not asked.
    void Connect(TServer* AServer, std::function<void()> ADone);
    // The password the keyring holds for the entry (empty when none, or when the keyring
    // cannot hold one for it), for a connect made elsewhere; the entry counts as Busy
    // until AReply has run.
    void ReadPassword(TServer* AServer, std::function<void(const QString&)> AReply);
    // Puts the password of the entry's connection string into the keyring and, once
    // it is there, takes it out of the string. ADone(true) when it moved; an entry
    // without a password moves nothing.
    void MovePassword(TServer* AServer, std::function<void(bool)> ADone);
    // Every given entry's password, one after another; ADone with how many moved.
    void MovePasswords(const QList<TServer*>& AServers, std::function<void(int)> ADone);
    // Deletes the entry's secret, if the keyring has one.
    void Forget(const QUuid& AServerID);

    // A keyring job for the entry is under way: it must not be connected, edited or
    // deleted until it is over.
    bool Busy(const TServer* AServer) const {
        return FBusy.contains(AServer) || FQueued.contains(AServer);
    }

signals:
    // The entry's connection string changed (its password went to the keyring).
    void ConnectionStringChanged(TServer* AServer);
    // A job for the entry is over.
    void Settled(TServer* AServer);

private:
    void ConnectWith(TServer* AServer, const QString& AStoredPassword);
    void Keep(TServer* AServer, const QString& AUser, const QString& APassword,
              std::function<void(bool)> ADone);

    void MoveFrom(const QList<TServer*>& AServers, int AIndex, int AMoved,
                  std::function<void(int)> ADone);

    TKeyring& FKeyring;
    QSet<const TServer*> FBusy;   // a job of their own under way
    QSet<const TServer*> FQueued; // waiting for their turn in a move of several
};
