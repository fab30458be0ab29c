#include "platform/dbconnection.h"

#include "platform/dberror.h"
#include "platform/odbcapi.h"
#include "platform/odbccursor.h"
#include "platform/socketbytes.h"
#include "platform/tlsprobe.h"

#include <QCoreApplication>
#include <algorithm>

namespace {

// FreeTDS's one text for every TLS failure, whatever the reason.
const QLatin1String kConnectionFailed("Adaptive Server connection failed");

// The driver cannot say why a TLS connection failed; the probe can.
QString withTlsReason(const QString& message, const TOdbcConnectParams& params) {
    if (!message.contains(kConnectionFailed))
        return message;
    TTlsProbeTarget target;
    target.host = params.host;
    target.port = params.port;
    target.instance = params.instance;
    target.caFile = params.verifiedTls ? params.verifiedTls->caFile : QString();
    target.checkHostName = params.verifiedTls.has_value();
    target.timeoutMs = std::clamp(params.loginTimeoutSec, 1, 5) * 1000;
    TTlsProblem problem = ProbeTls(target);
    // Trusting the certificate leaves only a server that does not encrypt to report.
    if (!params.verifiedTls && problem != TTlsProblem::NoEncryption)
        problem = TTlsProblem::Unknown;
    const QString reason = TlsProblemText(problem, params.host);
    return reason.isEmpty() ? message : message + QStringLiteral("\r\n") + reason;
}

} // namespace

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
    PrepareFreeTdsConfig();
    if (params.verifiedTls)
        EnsureFreeTdsSection(*params.verifiedTls);
    SQLHDBC dbc = SQL_NULL_HDBC;
    OdbcCheck(SQLAllocHandle(SQL_HANDLE_DBC, OdbcEnvironment(), &dbc), SQL_HANDLE_ENV,
              OdbcEnvironment(), "SQLAllocHandle");
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(params.loginTimeoutSec)),
                      0);
    const QList<int> socketsBefore = OpenTcpSockets();
    const SQLRETURN rc =
        SQLDriverConnectW(dbc, nullptr, const_cast<SQLWCHAR*>(OdbcText(params.connectionString)),
                          SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!OdbcOk(rc)) {
        QString message = OdbcDiagnostics(SQL_HANDLE_DBC, dbc);
        const QList<int> natives = OdbcNativeErrors(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        if (message.isEmpty())
            message =
                QStringLiteral("The connection could not be opened (ODBC return code %1).").arg(rc);
        if (params.encryptionRequired)
            message = withTlsReason(message, params);
        throw EDbError(message, natives);
    }
    FDbc = dbc;
    FSocket = NewSocket(socketsBefore, OpenTcpSockets());
    if (params.encryptionRequired)
        checkEncrypted();
}

void TDbConnection::checkEncrypted() {
    // FreeTDS 1.3 goes on in plain text after the login when the server answers that it
    // encrypts the login only, even with encryption required. The server knows what it
    // did; a login that may not read the connections view cannot ask, and is let through.
    QString option;
    try {
        const TDbRecordset rs =
            execute(QStringLiteral("select encrypt_option from sys.dm_exec_connections where "
                                   "session_id=@@SPID"));
        if (rs.eof())
            return;
        option = rs.field(0).asString();
    } catch (const EDbError&) {
        return;
    }
    if (option.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
        return;
    close();
    throw EDbError(QCoreApplication::translate(
        "Connection", "Сервер не зашифровал соединение, хотя шифрование обязательно. Соединение "
                      "закрыто: данные шли бы открытым текстом."));
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
}

TDbRecordset TDbConnection::execute(const QString& sql) {
    std::lock_guard lock(FCommandLock);
    if (!FDbc)
        throw EDbError(QStringLiteral("The connection is not open."));
    TOdbcCursor cursor(FDbc);
    cursor.execute(sql, FQueryTimeoutSec);
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
