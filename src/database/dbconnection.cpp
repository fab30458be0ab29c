#include "database/dbconnection.h"

#include "database/dberror.h"
#include "database/freetdsconfig.h"
#include "database/odbcapi.h"
#include "database/odbccursor.h"
#include "database/socketbytes.h"
#include "database/tlsrelay.h"

#include <sys/socket.h>

TDbConnection::TDbConnection() = default;

TDbConnection::~TDbConnection() {
    close();
}

void TDbConnection::open() {
    openWith(std::nullopt);
}

void TDbConnection::open(const QString& user, const QString& password) {
    openWith(TDbCredentials{user, password});
}

void TDbConnection::openWith(const std::optional<TDbCredentials>& credentials) {
    if (FDbc)
        return;
    const TOdbcConnectParams params =
        TranslateOleDbConnectionString(FConnectionString, credentials);
    CheckFreeTdsConfig();
    QString odbc = params.connectionString;
    std::unique_ptr<TTlsRelay> relay;
    if (params.tls) {
        // Nothing but PRELOGIN and the handshake reaches the server unless this succeeds.
        auto channel = std::make_unique<TTlsChannel>(*params.tls);
        const int port = channel->port();
        relay = std::make_unique<TTlsRelay>(std::move(channel), params.serverName);
        odbc = RelayServerItems(relay->port()) + QLatin1Char(';') + odbc;
        if (params.needsServerSpn)
            odbc += QStringLiteral(";ServerSPN=") +
                    QuoteOdbcValue(KerberosServerSpn(params.tls->host, port));
    }
    SQLHDBC dbc = SQL_NULL_HDBC;
    OdbcCheck(SQLAllocHandle(SQL_HANDLE_DBC, OdbcEnvironment(), &dbc), SQL_HANDLE_ENV,
              OdbcEnvironment(), "SQLAllocHandle");
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(params.loginTimeoutSec)),
                      0);
    const QList<int> socketsBefore = relay ? QList<int>() : OpenTcpSockets();
    const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, const_cast<SQLWCHAR*>(OdbcText(odbc)),
                                           SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!OdbcOk(rc)) {
        QString message = OdbcDiagnostics(SQL_HANDLE_DBC, dbc);
        const QList<int> natives = OdbcNativeErrors(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        if (message.isEmpty())
            message =
                QStringLiteral("The connection could not be opened (ODBC return code %1).").arg(rc);
        throw EDbError(message, natives);
    }
    FDbc = dbc;
    // Over the relay the bytes on the wire are the encrypted connection's.
    FSocket = relay ? relay->serverSocket() : NewSocket(socketsBefore, OpenTcpSockets());
    FRelay = std::move(relay);
}

void TDbConnection::abort() {
    const int socket = FSocket;
    if (socket >= 0)
        ::shutdown(socket, SHUT_RDWR);
}

qint64 TDbConnection::bytesReceived() const {
    return FDbc ? TcpBytesReceived(FSocket) : -1;
}

void TDbConnection::close() {
    if (!FDbc)
        return;
    FSocket = -1;
    std::lock_guard lock(FCommandLock);
    SQLDisconnect(static_cast<SQLHDBC>(FDbc));
    SQLFreeHandle(SQL_HANDLE_DBC, static_cast<SQLHDBC>(FDbc));
    FDbc = nullptr;
    FRelay.reset();
}

TDbRecordset TDbConnection::execute(const QString& sql) {
    std::lock_guard lock(FCommandLock);
    return executeLocked(sql, FQueryTimeoutSec);
}

std::optional<TDbRecordset> TDbConnection::tryExecute(const QString& sql, int timeoutSec) {
    std::unique_lock lock(FCommandLock, std::try_to_lock);
    if (!lock.owns_lock())
        return std::nullopt;
    return executeLocked(sql, timeoutSec);
}

TDbRecordset TDbConnection::executeLocked(const QString& sql, int timeoutSec) {
    if (!FDbc)
        throw EDbError(QStringLiteral("The connection is not open."));
    TOdbcCursor cursor(FDbc);
    cursor.execute(sql, timeoutSec);
    std::vector<QString> names;
    for (int i = 0; i < cursor.columnCount(); ++i)
        names.push_back(cursor.columnName(i));
    std::vector<std::vector<TDbValue>> rows;
    while (cursor.fetch()) {
        std::vector<TDbValue> row;
        row.reserve(names.size());
        for (int i = 0; i < cursor.columnCount(); ++i)
            row.push_back(cursor.value(i).owned());
        rows.push_back(std::move(row));
    }
    cursor.drain();
    return TDbRecordset(std::move(names), std::move(rows));
}
