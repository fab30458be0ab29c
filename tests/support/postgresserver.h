#pragma once
// A throwaway PostgreSQL 15 server on loopback for one test process: initdb into a
// temporary folder, pg_ctl on a free port, trust for the one user "dervel" on 127.0.0.1
// only, its socket in the same folder. PostgreSQL refuses to run as root, so when the
// tests run as root the server runs as the "postgres" account Debian's package makes (the
// folder is handed to it). Needs Debian's postgresql (scripts/deps.sh installs it).

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class TPostgresServer {
public:
    TPostgresServer();
    ~TPostgresServer(); // stops the server at once
    TPostgresServer(const TPostgresServer&) = delete;
    TPostgresServer& operator=(const TPostgresServer&) = delete;

    // Empty when the server is up; otherwise what went wrong, for the test to fail with.
    QString error() const { return FError; }
    quint16 port() const { return FPort; }
    // "postgresql://dervel@127.0.0.1:PORT/DB".
    QString uri(const QString& ADatabase) const;
    bool createDatabase(const QString& AName);
    // Runs SQL with psql in a database; the rows' text (psql -At) into AOutput.
    bool sql(const QString& ADatabase, const QString& ASql, QString* AOutput = nullptr);

private:
    bool run(const QString& AProgram, const QStringList& AArguments, bool AAsServer,
             QString* AOutput = nullptr);

    QTemporaryDir FDir;
    quint16 FPort = 0;
    uint FUid = 0, FGid = 0; // whom the server runs as; 0 while that is us
    QString FError;
};
