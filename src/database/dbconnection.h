#pragma once
// A connection to one SQL Server, kept open between commands.
//
// Sharing rule: the sampler's query and the main thread's own statements (session
// checks, kill, detail loads) use the same connection from two threads. Every command
// on a connection holds its commandLock() for as long as the driver works on it: a
// plain Execute for the statement, the sampler's query from Open to Close. So the two
// threads never overlap on one connection; a main-thread statement waits for a running
// sample to finish, and the session the user sees as "It's me" stays the one the tool
// itself runs in.

#include "database/dbrecordset.h"
#include "database/oledbtranslator.h"

#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

class TDbQuery;
class TTlsRelay;

class TDbConnection {
public:
    static constexpr int kDefaultQueryTimeoutSec = 30;

    TDbConnection();
    ~TDbConnection(); // closes
    TDbConnection(const TDbConnection&) = delete;
    TDbConnection& operator=(const TDbConnection&) = delete;

    // The OLE DB form; translated for the driver at every Open.
    void setConnectionString(const QString& s) { FConnectionString = s; }
    const QString& connectionString() const { return FConnectionString; }

    // Opens with the string's own credentials (or its integrated security); never prompts.
    void open();
    // Opens with a user name and password that override those of the string.
    void open(const QString& user, const QString& password);
    bool connected() const { return FDbc != nullptr; }
    void close();
    // Breaks the connection off under whatever runs on it: a statement waiting for a
    // server that stopped answering fails at once instead of at its timeout. For the end
    // of the program; any thread may call it. close() still has to follow.
    void abort();

    // Runs a plain command (no parameters) and returns its first row-returning result,
    // read in full; later statements of the batch run too and their errors are raised.
    TDbRecordset execute(const QString& sql);
    // The same with a timeout of its own; none (nullopt) when another statement holds the
    // connection just now: for light readers that would rather skip a turn than queue up.
    std::optional<TDbRecordset> tryExecute(const QString& sql, int timeoutSec);

    // Queries attached to this connection; a disconnect waits for none to be left.
    int dataSetCount() const { return FDataSetCount.load(); }
    // Counts in dataSetCount while it lives: another thread's statements that a disconnect
    // waits for as it waits for a query (about a second), instead of closing under them.
    class TUse {
    public:
        explicit TUse(TDbConnection& AConnection) : FConnection(AConnection) {
            ++FConnection.FDataSetCount;
        }
        ~TUse() { --FConnection.FDataSetCount; }
        TUse(const TUse&) = delete;
        TUse& operator=(const TUse&) = delete;

    private:
        TDbConnection& FConnection;
    };

    // How long a statement may run before the driver cancels it.
    void setQueryTimeout(int seconds) { FQueryTimeoutSec = seconds; }
    int queryTimeout() const { return FQueryTimeoutSec; }

    std::mutex& commandLock() { return FCommandLock; }
    void* handle() const { return FDbc; } // SQLHDBC
    // Bytes received from the server over this connection so far; -1 when not known.
    qint64 bytesReceived() const;

private:
    friend class TDbQuery;
    void openWith(const std::optional<TDbCredentials>& credentials);
    TDbRecordset executeLocked(const QString& sql, int timeoutSec); // holds FCommandLock

    QString FConnectionString;
    void* FDbc = nullptr;
    std::atomic<int> FSocket{-1}; // the connection's TCP socket, when it could be told
    // Between the driver and the server when the connection must be encrypted.
    std::unique_ptr<TTlsRelay> FRelay;
    std::mutex FCommandLock;
    std::atomic<int> FDataSetCount{0};
    int FQueryTimeoutSec = kDefaultQueryTimeoutSec;
};
