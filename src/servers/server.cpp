#include "servers/server.h"

#include "database/dberror.h"
#include "prompts/prompts.h"
#include "servers/connectionstring.h"

#include <QCoreApplication>

namespace {
const QString kConnectStatement = QStringLiteral(
    "select Name,@@SERVERNAME+' ('+suser_name()+')' as ConnectDescr,@@VERSION as Version "
    "from sys.databases order by Name");
const QString kPermissionStatement =
    QStringLiteral("select HAS_PERMS_BY_NAME(NULL, NULL, 'VIEW SERVER STATE'), suser_name()");
} // namespace

TLoginRights QueryLoginRights(TDbConnection& AConnection) {
    TLoginRights rights;
    try {
        const TDbRecordset rs = AConnection.execute(kPermissionStatement);
        if (rs.eof())
            return rights;
        rights.ViewServerState = rs.field(0).isNull() || rs.field(0).asInteger() != 0;
        rights.Login = rs.field(1).isNull() ? QString() : rs.field(1).asString();
    } catch (const EDbError&) {
    }
    return rights;
}

TServer::TDescription TServer::Describe(TDbConnection& AConnection) {
    TDescription d;
    TDbRecordset rs = AConnection.execute(kConnectStatement);
    d.ConnectDescr = rs.field(1).asString();
    d.Version = rs.field(2).asString();
    for (; !rs.eof(); rs.moveNext())
        d.DBList.append(rs.field(0).asString());
    d.Rights = QueryLoginRights(AConnection);
    return d;
}

void TServer::TakeDescription(const TDescription& ADescription) {
    State = stConnected;
    ConnectDescr = ADescription.ConnectDescr;
    Version = ADescription.Version;
    DBList = ADescription.DBList;
    ViewServerState = ADescription.Rights.ViewServerState;
    Login = ADescription.Rights.Login;
}

TServer::TServer() : ServerID(QUuid::createUuid()) {}

TServer::~TServer() {
    // Closing takes the connection's command lock, which a recorder still finishing a
    // sample holds until the server answers or the query times out.
    if (FConnection.use_count() == 1)
        Connection.close();
}

void TServer::Connect(TKeyringLogin* AKeyring) {
    if (State == stConnected)
        return;
    bool keep = false;
    try {
        Connection.setConnectionString(ConnectionString);
        // Only the exact word counts: "sspi" is a login with a user name and password.
        if (GetConnectionStringValue(ConnectionString, QStringLiteral("Integrated Security")) ==
            QLatin1String("SSPI")) {
            Connection.open();
        } else {
            QString user = GetConnectionStringValue(ConnectionString, QStringLiteral("User ID"));
            QString password =
                GetConnectionStringValue(ConnectionString, QStringLiteral("Password"));
            if (!user.isEmpty() && !password.isEmpty()) {
                Connection.open(user, password);
            } else {
                bool refused = false;
                if (AKeyring && !user.isEmpty() && !AKeyring->StoredPassword.isEmpty())
                    refused = !OpenWithStoredPassword(user, AKeyring->StoredPassword);
                if (!Connection.connected()) {
                    password.clear();
                    bool* remember = AKeyring && AKeyring->OfferRemember ? &keep : nullptr;
                    // A refused stored password is to be replaced by the one that works.
                    keep = remember && refused;
                    // What is typed here serves this one open only, unless the user asks
                    // to keep it in the keyring.
                    if (Prompts().login(Name, user, password, remember)) {
                        Connection.open(user, password);
                        if (keep) {
                            AKeyring->User = user;
                            AKeyring->Password = password;
                        }
                    } else if (refused) {
                        State = stError; // the refusal was shown; nothing else was tried
                        return;
                    }
                }
            }
        }
        if (!Connection.connected())
            return; // the login dialog was cancelled: nothing changes
        State = stConnected;
        TakeDescription(Describe(Connection));
        // Kept only now that the login has worked.
        if (keep && AKeyring)
            AKeyring->Remember = true;
    } catch (const EDbError& e) {
        Fail(e.message());
    } catch (const std::exception& e) {
        // Whatever else goes wrong (memory, the driver manager) is reported the same way
        // rather than ending the program.
        Fail(QString::fromLocal8Bit(e.what()));
    }
}

bool TServer::OpenWithStoredPassword(const QString& user, const QString& password) {
    try {
        Connection.open(user, password);
        return true;
    } catch (const EDbError& e) {
        // The server's word on the stored password, then the login dialog.
        Connection.close();
        ShowError(QCoreApplication::translate("Server", "Ошибка при подключении к %1:\r\n%2")
                      .arg(Name, e.message()));
        return false;
    }
}

void TServer::Fail(const QString& message) {
    State = stError;
    Connection.close();
    ShowError(QCoreApplication::translate("Server", "Ошибка при подключении к %1:\r\n%2")
                  .arg(Name, message));
}
