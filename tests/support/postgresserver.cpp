#include "postgresserver.h"

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

quint16 freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    quint16 port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

QString bin(const char* AProgram) {
    return QStringLiteral(DERVEL_PG_BINDIR "/") + QLatin1String(AProgram);
}

} // namespace

TPostgresServer::TPostgresServer() {
    if (!FDir.isValid()) {
        FError = QStringLiteral("no temporary folder");
        return;
    }
    if (::geteuid() == 0) {
        const passwd* pw = ::getpwnam("postgres");
        if (!pw) {
            FError = QStringLiteral("running as root and there is no postgres account to run the "
                                    "server as; scripts/deps.sh installs postgresql");
            return;
        }
        FUid = pw->pw_uid;
        FGid = pw->pw_gid;
        if (::chown(FDir.path().toLocal8Bit().constData(), FUid, FGid) != 0) {
            FError = QStringLiteral("cannot hand the folder to postgres");
            return;
        }
    }
    FPort = freePort();
    const QString data = FDir.filePath(QStringLiteral("data"));
    if (!run(bin("initdb"),
             {QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("dervel"),
              QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
              QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-sync")},
             true))
        return;
    // Speed over safety: the data lives as long as the test.
    const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off "
                                           "-c full_page_writes=off -c max_connections=200")
                                .arg(FPort)
                                .arg(FDir.path());
    run(bin("pg_ctl"),
        {QStringLiteral("-D"), data, QStringLiteral("-l"), FDir.filePath(QStringLiteral("log")),
         QStringLiteral("-o"), options, QStringLiteral("-w"), QStringLiteral("-t"),
         QStringLiteral("60"), QStringLiteral("start")},
        true);
}

TPostgresServer::~TPostgresServer() {
    if (FPort && FError.isEmpty())
        run(bin("pg_ctl"),
            {QStringLiteral("-D"), FDir.filePath(QStringLiteral("data")), QStringLiteral("-m"),
             QStringLiteral("immediate"), QStringLiteral("stop")},
            true);
}

QString TPostgresServer::uri(const QString& ADatabase) const {
    return QStringLiteral("postgresql://dervel@127.0.0.1:%1/%2").arg(FPort).arg(ADatabase);
}

bool TPostgresServer::createDatabase(const QString& AName) {
    return sql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE %1").arg(AName));
}

bool TPostgresServer::sql(const QString& ADatabase, const QString& ASql, QString* AOutput) {
    return run(bin("psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-At"),
                QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"),
                uri(ADatabase), QStringLiteral("-c"), ASql},
               false, AOutput);
}

bool TPostgresServer::run(const QString& AProgram, const QStringList& AArguments, bool AAsServer,
                          QString* AOutput) {
    QProcess p;
    p.setProcessChannelMode(AOutput ? QProcess::SeparateChannels : QProcess::MergedChannels);
    p.setWorkingDirectory(FDir.path());
    if (AAsServer && FUid) {
        const uid_t uid = FUid;
        const gid_t gid = FGid;
        p.setChildProcessModifier([uid, gid] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(126);
        });
    }
    p.start(AProgram, AArguments);
    if (!p.waitForStarted(10000)) {
        FError = QStringLiteral("%1 does not start (%2); scripts/deps.sh installs postgresql")
                     .arg(AProgram, p.errorString());
        return false;
    }
    if (!p.waitForFinished(90000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        FError = QStringLiteral("%1 %2 failed: %3 %4")
                     .arg(AProgram, AArguments.join(u' '), QString::fromLocal8Bit(p.readAll()),
                          QString::fromLocal8Bit(p.readAllStandardError()));
        return false;
    }
    if (AOutput)
        *AOutput = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    return true;
}
