#include "keyring/serversecrets.h"

#include "keyring/keyring.h"
#include "servers/keyringlogin.h"
#include "servers/passwordplacement.h"
#include "servers/server.h"

TServerSecrets::TServerSecrets(TKeyring& AKeyring, QObject* parent)
    : QObject(parent), FKeyring(AKeyring) {}

void TServerSecrets::Connect(TServer* AServer, std::function<void()> ADone) {
    const bool mayHold = KeyringMayHoldPassword(AServer->ConnectionString);
    if (!mayHold || !FKeyring.Usable()) {
        // The password may have been moved to a keyring this run cannot reach: the user
        // learns why the login dialog asks again.
        if (mayHold)
            FKeyring.TellUnavailable();
        ConnectWith(AServer, QString());
        ADone();
        return;
    }
    FBusy.insert(AServer);
    FKeyring.Read(AServer->ServerID,
                  [this, AServer, done = std::move(ADone)](const TKeyringReply& reply) {
                      FBusy.remove(AServer);
                      ConnectWith(AServer, reply.Password);
                      done();
                      emit Settled(AServer);
                  });
}

void TServerSecrets::ReadPassword(TServer* AServer, std::function<void(const QString&)> AReply) {
    if (!KeyringMayHoldPassword(AServer->ConnectionString) || !FKeyring.Usable()) {
        AReply(QString());
        return;
    }
    FBusy.insert(AServer);
    FKeyring.Read(AServer->ServerID,
                  [this, AServer, reply = std::move(AReply)](const TKeyringReply& answer) {
                      FBusy.remove(AServer);
                      reply(answer.Password);
                      emit Settled(AServer);
                  });
}

void TServerSecrets::ConnectWith(TServer* AServer, const QString& AStoredPassword) {
    TKeyringLogin login;
    login.StoredPassword = AStoredPassword;
    login.OfferRemember = FKeyring.Usable();
    AServer->Connect(&login);
    if (login.Remember)
        Keep(AServer, login.User, login.Password, [](bool) {});
}

void TServerSecrets::MovePassword(TServer* AServer, std::function<void(bool)> ADone) {
    const QString password = PasswordInString(AServer->ConnectionString);
    if (password.isEmpty()) {
        ADone(false);
        return;
    }
    Keep(AServer, QString(), password, std::move(ADone));
}

void TServerSecrets::MovePasswords(const QList<TServer*>& AServers,
                                   std::function<void(int)> ADone) {
    for (const TServer* server : AServers)
        FQueued.insert(server);
    MoveFrom(AServers, 0, 0, std::move(ADone));
}

void TServerSecrets::MoveFrom(const QList<TServer*>& AServers, int AIndex, int AMoved,
                              std::function<void(int)> ADone) {
    // One after another, so that a keyring that gives up is asked only once.
    if (AIndex == AServers.size() || !FKeyring.Usable()) {
        for (const TServer* server : AServers)
            FQueued.remove(server);
        ADone(AMoved);
        return;
    }
    TServer* server = AServers[AIndex];
    FQueued.remove(server);
    MovePassword(server, [this, AServers, AIndex, AMoved, done = std::move(ADone)](bool moved) {
        MoveFrom(AServers, AIndex + 1, AMoved + (moved ? 1 : 0), done);
    });
}

void TServerSecrets::Keep(TServer* AServer, const QString& AUser, const QString& APassword,
                          std::function<void(bool)> ADone) {
    FBusy.insert(AServer);
    FKeyring.Write(AServer->ServerID, APassword,
                   [this, AServer, AUser, done = std::move(ADone)](const TKeyringReply& reply) {
                       FBusy.remove(AServer);
                       const bool kept = reply.Status == TKeyringReply::Done;
                       if (kept) {
                           // Only now may the string let go of the password; the user
                           // name goes where the connect looks for it.
                           QString s = WithoutPassword(AServer->ConnectionString);
                           if (!AUser.isEmpty())
                               s = WithUserID(s, AUser);
                           if (s != AServer->ConnectionString) {
                               AServer->ConnectionString = s;
                               emit ConnectionStringChanged(AServer);
                           }
                       }
                       done(kept);
                       emit Settled(AServer);
                   });
}

void TServerSecrets::Forget(const QUuid& AServerID) {
    // Without a keyring there is nothing it could hold, and nothing to tell.
    if (FKeyring.Usable())
        FKeyring.Remove(AServerID, [](const TKeyringReply&) {});
}
