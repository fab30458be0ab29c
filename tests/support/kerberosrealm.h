#pragma once
// A throwaway MIT Kerberos realm on loopback for one test process: its own krb5.conf and
// KDC database in a temporary folder, a KDC (krb5kdc) on a free port, principals and
// keytabs made with kadmin.local, and a ticket cache of its own. The process's
// KRB5_CONFIG and KRB5CCNAME point at it from construction on, so the FreeTDS driver and
// the test server's acceptor in this process both use it. Needs Debian's krb5-kdc,
// krb5-admin-server and krb5-user (scripts/deps.sh installs them).

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class TKerberosRealm {
public:
    static constexpr const char* kRealm = "TEST.LOCAL";

    TKerberosRealm();
    ~TKerberosRealm(); // stops the KDC
    TKerberosRealm(const TKerberosRealm&) = delete;
    TKerberosRealm& operator=(const TKerberosRealm&) = delete;

    // Empty when the realm is up; otherwise what went wrong, for the test to fail with.
    QString error() const { return FError; }

    bool addUser(const QString& name, const QString& password);
    // A service principal with a random key, exported into its own keytab file.
    bool addService(const QString& principal, const QString& keytab);
    // A ticket for the user in the realm's cache (kinit), or an empty cache.
    bool kinit(const QString& name, const QString& password);
    bool kdestroy();
    QString path(const QString& file) const { return FDir.filePath(file); }

private:
    bool run(const QString& program, const QStringList& arguments, const QByteArray& input = {});

    QTemporaryDir FDir;
    QProcess FKdc;
    QString FError;
};
