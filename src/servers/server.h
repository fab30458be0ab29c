#pragma once
// One entry of the server list: a name, an OLE DB connection string, the connection made
// from it and what the server said about itself at the last successful connect.

#include "database/dbconnection.h"
#include "estate/serversummary.h"
#include "servers/keyringlogin.h"

#include <QStringList>
#include <QUuid>
#include <cstdint>
#include <memory>
#include <optional>

// What the login may do, as the server says at connect. A server that cannot answer (an
// old one, a restricted one) is taken to allow it: the session views then say for
// themselves what they show.
struct TLoginRights {
    bool ViewServerState = true;
    QString Login; // the login's name as the server knows it; empty when not asked
};
TLoginRights QueryLoginRights(TDbConnection& AConnection);

// The ordinals are the server panel's image indices.
enum TServerState : std::uint8_t { stDisconnected = 0, stConnected = 1, stError = 2 };

class TServer {
public:
    TServer();
    virtual ~TServer(); // closes the connection whatever the state, or leaves it to its
                        // last other owner
    TServer(const TServer&) = delete;
    TServer& operator=(const TServer&) = delete;

    // Connects unless connected already. Reports its own failures to the user (and ends
    // in stError); the caller reads the outcome from State. With AKeyring, a login whose
    // string has no password tries the keyring's one first, and the login dialog may
    // offer to keep what the user types there (see TKeyringLogin).
    void Connect(TKeyringLogin* AKeyring = nullptr);

    QString Name;
    QString ConnectionString;
    TServerState State = stDisconnected;

private:
    // Shared with whoever still finishes a statement on the connection when the entry
    // goes (the window's recorder, on a server that stopped answering): the last one to
    // let go closes it, and nobody waits for anybody.
    std::shared_ptr<TDbConnection> FConnection = std::make_shared<TDbConnection>();

public:
    TDbConnection& Connection = *FConnection;
    std::shared_ptr<TDbConnection> SharedConnection() const { return FConnection; }
    QString ConnectDescr; // "server (login)"
    QString Version;
    QUuid ServerID;
    std::int32_t Order = 0;
    QStringList DBList; // in the server's order (by name)
    // The login may see every session (VIEW SERVER STATE), as checked at the last connect;
    // without it the session views show only its own sessions.
    bool ViewServerState = true;
    QString Login; // the login's name as the server knows it, from the last connect
    // The connection string as the settings file held it when this window last read or
    // wrote it; none for an entry not saved yet. Another window may change the file's
    // copy meanwhile (a password moved to the keyring); the save at exit compares.
    std::optional<QString> SavedConnectionString;

    // The estate's last word on the server: figures, or why they could not be had.
    TServerSummary Summary;
    // Alerts about the server that have not ended: the list marks the entry while any is.
    int OpenAlerts = 0;
    // Connected again at start when it was connected at the last exit ("Подключать при
    // запуске"); off unless the user ticks it.
    bool ConnectAtStart = false;
    bool ConnectedAtExit = false; // as read at start
    // A connect runs off the window's thread: the entry is not to be touched meanwhile.
    bool Connecting = false;

    // What a connect reads from the server, apart from opening it: any thread may read it
    // on a connection nobody else uses; the entry takes it on the window's thread.
    struct TDescription {
        QString ConnectDescr;
        QString Version;
        QStringList DBList;
        TLoginRights Rights;
    };
    static TDescription Describe(TDbConnection& AConnection); // throws EDbError
    void TakeDescription(const TDescription& ADescription);   // and becomes stConnected

private:
    void Fail(const QString& message);
    bool OpenWithStoredPassword(const QString& user, const QString& password);
};
