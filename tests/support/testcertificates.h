#pragma once
// Throwaway certificates for one test, in a folder of their own (see
// testserver/tds/test_certificates.h for what is in it).

#include "test_certificates.h"

#include <QString>
#include <QTemporaryDir>

class TTestCertificates {
public:
    TTestCertificates() { testserver::writeTestCertificates(FDir.path().toStdString()); }
    // "ca.pem", "server.pem", "server-key.pem", ...
    QString path(const QString& file) const { return FDir.filePath(file); }
    std::string cert(const QString& name) const {
        return path(name + QStringLiteral(".pem")).toStdString();
    }
    std::string key(const QString& name) const {
        return path(name + QStringLiteral("-key.pem")).toStdString();
    }

private:
    QTemporaryDir FDir;
};
