#include "estate/widgets/estateconnector.h"

#include "database/dberror.h"
#include "keyring/serversecrets.h"
#include "prompts/prompts.h"
#include "servers/connectionstring.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverpanel.h"

#include <QMetaObject>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// What the threads share with the window: where to post, and how many are still out. The
// window may be gone before a thread ends; then nothing is posted.
struct TEstateConnector::TShared {
    std::mutex Lock;
    std::condition_variable Done;
    TEstateConnector* Receiver = nullptr;
    int Running = 0;
};

TEstateConnector::TEstateConnector(TServerPanel& APanel, QObject* parent)
    : QObject(parent), FPanel(APanel), FShared(std::make_shared<TShared>()) {
    FShared->Receiver = this;
}

TEstateConnector::~TEstateConnector() {
    std::unique_lock lock(FShared->Lock);
    FShared->Receiver = nullptr;
    FShared->Done.wait_for(lock, std::chrono::seconds(1), [this] { return FShared->Running == 0; });
}

void TEstateConnector::Connect(const QList<TServer*>& AServers) {
    for (TServer* server : AServers) {
        if (server->State == stConnected || server->Connecting ||
            (FPanel.secrets() && FPanel.secrets()->Busy(server)))
            continue;
        start(server);
    }
    FPanel.TuneActions();
}

void TEstateConnector::start(TServer* AServer) {
    AServer->Connecting = true;
    const QString cs = AServer->ConnectionString;
    if (GetConnectionStringValue(cs, QStringLiteral("Integrated Security")) ==
        QLatin1String("SSPI")) {
        open(AServer, QString(), QString(), false);
        return;
    }
    const QString user = GetConnectionStringValue(cs, QStringLiteral("User ID"));
    const QString password = GetConnectionStringValue(cs, QStringLiteral("Password"));
    if (!user.isEmpty() && !password.isEmpty()) {
        open(AServer, user, password, true);
        return;
    }
    auto withStored = [this, AServer, user](const QString& stored) {
        if (FPanel.model()->rowOf(AServer) < 0)
            return;
        if (!user.isEmpty() && !stored.isEmpty()) {
            open(AServer, user, stored, true);
        } else {
            FLoginQueue.append(AServer);
            askNextLogin();
        }
    };
    if (FPanel.secrets())
        FPanel.secrets()->ReadPassword(AServer, withStored);
    else
        withStored(QString());
}

void TEstateConnector::askNextLogin() {
    if (FAsking || FLoginQueue.isEmpty())
        return;
    FAsking = true;
    // From the event loop: a dialog opened inside the command that queued it would hold
    // the other entries' opens from starting.
    QTimer::singleShot(0, this, [this] {
        TServer* server = FLoginQueue.takeFirst();
        QString user =
            GetConnectionStringValue(server->ConnectionString, QStringLiteral("User ID"));
        QString password;
        if (Prompts().login(server->Name, user, password, nullptr)) {
            open(server, user, password, true);
        } else {
            server->Connecting = false; // cancelled: nothing changes, as for one entry
            FPanel.TuneActions();
        }
        FAsking = false;
        askNextLogin();
    });
}

void TEstateConnector::open(TServer* AServer, const QString& AUser, const QString& APassword,
                            bool AWithLogin) {
    const std::shared_ptr<TDbConnection> connection = AServer->SharedConnection();
    const QString cs = AServer->ConnectionString;
    {
        std::lock_guard lock(FShared->Lock);
        ++FShared->Running;
    }
    std::thread([shared = FShared, connection, cs, AServer, AUser, APassword, AWithLogin] {
        bool ok = false;
        QString error;
        auto description = std::make_shared<TServer::TDescription>();
        try {
            connection->setConnectionString(cs);
            if (AWithLogin)
                connection->open(AUser, APassword);
            else
                connection->open();
            *description = TServer::Describe(*connection);
            ok = true;
        } catch (const EDbError& e) {
            error = e.message();
        } catch (const std::exception& e) {
            error = QString::fromLocal8Bit(e.what());
        }
        if (!ok)
            connection->close();
        std::lock_guard lock(shared->Lock);
        if (shared->Receiver)
            QMetaObject::invokeMethod(
                shared->Receiver,
                [receiver = shared->Receiver, AServer, ok, error, description] {
                    receiver->finished(AServer, ok, error, description.get());
                },
                Qt::QueuedConnection);
        --shared->Running;
        shared->Done.notify_all();
    }).detach();
}

void TEstateConnector::finished(TServer* AServer, bool AOk, const QString& AError,
                                const void* ADescription) {
    // An entry cannot be deleted while it connects; the check is for safety's sake only.
    if (FPanel.model()->rowOf(AServer) < 0)
        return;
    AServer->Connecting = false;
    AServer->Summary = TServerSummary{};
    if (AOk) {
        AServer->TakeDescription(*static_cast<const TServer::TDescription*>(ADescription));
    } else {
        AServer->State = stError;
        AServer->Summary.Error = AError;
    }
    FPanel.ServerConnected(AServer);
}
