#pragma once
// The loopback test server, started in-process on a free port for one test.

#include "tds_server.h"

#include <QString>
#include <functional>

class TTestServer {
public:
    TTestServer() { FPort = FServer.start(0); }
    // For what is set before the server starts: encryption, Kerberos.
    explicit TTestServer(const std::function<void(testserver::TdsServer&)>& beforeStart) {
        beforeStart(FServer);
        FPort = FServer.start(0);
    }
    ~TTestServer() { FServer.stop(); }

    testserver::TdsServer& server() { return FServer; }
    testserver::Instance& instance() { return FServer.instance(); }
    quint16 port() const { return FPort; }

    // The OLE DB string the app would store for this server.
    QString oledb(const QString& user = QStringLiteral("sa"),
                  const QString& password = QStringLiteral("Dervel-2026")) const {
        QString s = QStringLiteral("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1").arg(FPort);
        if (!user.isNull())
            s += QStringLiteral(";User ID=") + user;
        if (!password.isNull())
            s += QStringLiteral(";Password=") + password;
        return s + QStringLiteral(";Connect Timeout=5");
    }

private:
    testserver::TdsServer FServer;
    quint16 FPort = 0;
};
