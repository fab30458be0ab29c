#include "kerberosrealm.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QThread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A port free for both TCP and UDP on 127.0.0.1 right now.
int freePort() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int tcp = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(tcp, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::getsockname(tcp, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            ::close(tcp);
            continue;
        }
        const int udp = ::socket(AF_INET, SOCK_DGRAM, 0);
        const bool both = ::bind(udp, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        const int port = ntohs(a.sin_port);
        ::close(udp);
        ::close(tcp);
        if (both)
            return port;
    }
    return 0;
}

bool write(const QString& path, const QString& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) >= 0;
}

} // namespace

TKerberosRealm::TKerberosRealm() {
    const QString dir = FDir.path();
    const int port = freePort();
    const QString kdc = QStringLiteral("127.0.0.1:%1").arg(port);
    const QString realm = QString::fromLatin1(kRealm);
    const bool written =
        write(path(QStringLiteral("krb5.conf")),
              QStringLiteral("[libdefaults]\n"
                             "\tdefault_realm = %1\n"
                             "\tdns_lookup_kdc = false\n"
                             "\tdns_lookup_realm = false\n"
                             "\trdns = false\n"
                             "\tdns_canonicalize_hostname = false\n"
                             "\tudp_preference_limit = 1\n"
                             "[realms]\n"
                             "\t%1 = {\n\t\tkdc = %2\n\t}\n"
                             "[domain_realm]\n"
                             "\tlocalhost = %1\n")
                  .arg(realm, kdc)) &&
        write(path(QStringLiteral("kdc.conf")), QStringLiteral("[kdcdefaults]\n"
                                                               "\tkdc_listen = %2\n"
                                                               "\tkdc_tcp_listen = %2\n"
                                                               "[realms]\n"
                                                               "\t%1 = {\n"
                                                               "\t\tdatabase_name = %3/principal\n"
                                                               "\t\tkey_stash_file = %3/stash\n"
                                                               "\t\tacl_file = %3/kadm5.acl\n"
                                                               "\t}\n"
                                                               "[logging]\n"
                                                               "\tkdc = FILE:%3/kdc.log\n"
                                                               "\tdefault = FILE:%3/krb5lib.log\n")
                                                    .arg(realm, kdc, dir));
    if (port == 0 || !written) {
        FError = QStringLiteral("cannot set up the realm's folder");
        return;
    }
    // The whole process uses this realm from now on: the driver's GSSAPI and the acceptor.
    qputenv("KRB5_CONFIG", path(QStringLiteral("krb5.conf")).toLocal8Bit());
    qputenv("KRB5_KDC_PROFILE", path(QStringLiteral("kdc.conf")).toLocal8Bit());
    qputenv("KRB5CCNAME", (QStringLiteral("FILE:") + path(QStringLiteral("cc"))).toLocal8Bit());
    if (!run(QStringLiteral("kdb5_util"),
             {QStringLiteral("create"), QStringLiteral("-s"), QStringLiteral("-r"), realm,
              QStringLiteral("-P"), QStringLiteral("master-pw")}))
        return;
    FKdc.setProcessChannelMode(QProcess::MergedChannels);
    FKdc.start(QStringLiteral("krb5kdc"),
               {QStringLiteral("-n"), QStringLiteral("-P"), path(QStringLiteral("kdc.pid"))});
    if (!FKdc.waitForStarted(10000)) {
        FError = QStringLiteral("krb5kdc does not start (%1); scripts/deps.sh installs krb5-kdc")
                     .arg(FKdc.errorString());
        return;
    }
    // Up when it accepts TCP on its port.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
        if (probe.waitForConnected(200))
            return;
        if (FKdc.state() != QProcess::Running)
            break;
        QThread::msleep(50);
    }
    FError = QStringLiteral("the KDC does not answer on %1: %2")
                 .arg(kdc, QString::fromLocal8Bit(FKdc.readAll()));
}

TKerberosRealm::~TKerberosRealm() {
    if (FKdc.state() != QProcess::NotRunning) {
        FKdc.terminate();
        if (!FKdc.waitForFinished(5000))
            FKdc.kill();
        FKdc.waitForFinished(5000);
    }
}

bool TKerberosRealm::run(const QString& program, const QStringList& arguments,
                         const QByteArray& input) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForStarted(10000)) {
        FError = QStringLiteral("%1 does not start (%2); scripts/deps.sh installs the Kerberos "
                                "packages")
                     .arg(program, p.errorString());
        return false;
    }
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        FError = QStringLiteral("%1 %2 failed: %3")
                     .arg(program, arguments.join(u' '), QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

bool TKerberosRealm::addUser(const QString& name, const QString& password) {
    return run(QStringLiteral("kadmin.local"),
               {QStringLiteral("-q"), QStringLiteral("addprinc -pw %1 %2").arg(password, name)});
}

bool TKerberosRealm::addService(const QString& principal, const QString& keytab) {
    return run(QStringLiteral("kadmin.local"),
               {QStringLiteral("-q"), QStringLiteral("addprinc -randkey %1").arg(principal)}) &&
           run(QStringLiteral("kadmin.local"),
               {QStringLiteral("-q"), QStringLiteral("ktadd -k %1 %2").arg(keytab, principal)});
}

bool TKerberosRealm::kinit(const QString& name, const QString& password) {
    return run(QStringLiteral("kinit"), {name}, password.toUtf8() + '\n');
}

bool TKerberosRealm::kdestroy() {
    return run(QStringLiteral("kdestroy"), {});
}
