#include "platform/freetdsconfig.h"

#include "platform/dberror.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSet>
#include <QStringList>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace {

std::mutex fileMutex;
QStringList written; // section texts in the file, in order

QString folder() {
    return QDir::tempPath() + QStringLiteral("/dervel-%1").arg(::getuid());
}

// The file goes when the process ends; it holds no secret, only where servers are.
struct TRemoveAtExit {
    ~TRemoveAtExit() {
        if (!path.isEmpty())
            QFile::remove(path);
    }
    QString path;
};

TRemoveAtExit& removal() {
    static TRemoveAtExit r;
    return r;
}

} // namespace

QString FreeTdsConfigPath() {
    return folder() + QStringLiteral("/freetds-%1.conf").arg(::getpid());
}

QString FreeTdsSectionName(const TFreeTdsSection& s) {
    const QString contents = QStringList{s.host, s.port, s.instance, s.caFile,
                                         s.checkHostName ? QStringLiteral("1") : QString()}
                                 .join(QChar(0));
    const QByteArray digest =
        QCryptographicHash::hash(contents.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("dervel_") + QString::fromLatin1(digest.left(20));
}

QString FreeTdsSectionText(const TFreeTdsSection& s) {
    QStringList lines{QLatin1Char('[') + FreeTdsSectionName(s) + QLatin1Char(']'),
                      QStringLiteral("\thost = ") + s.host};
    if (!s.port.isEmpty())
        lines << QStringLiteral("\tport = ") + s.port;
    if (!s.instance.isEmpty())
        lines << QStringLiteral("\tinstance = ") + s.instance;
    lines << QStringLiteral("\tencryption = require") << QStringLiteral("\tca file = ") + s.caFile
          << QStringLiteral("\tcheck certificate hostname = ") +
                 (s.checkHostName ? QStringLiteral("yes") : QStringLiteral("no"));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void PrepareFreeTdsConfig() {
    static std::once_flag once;
    std::call_once(once, [] {
        QDir().mkpath(folder());
        QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ::setenv("FREETDSCONF", QFile::encodeName(FreeTdsConfigPath()).constData(), 1);
    });
}

void EnsureFreeTdsSection(const TFreeTdsSection& ASection) {
    PrepareFreeTdsConfig();
    const QString text = FreeTdsSectionText(ASection);
    std::lock_guard lock(fileMutex);
    if (written.contains(text))
        return;
    // An empty [global] first: the file's own, so that no other file's global settings
    // reach these connections.
    const QString contents =
        QStringLiteral("[global]\n\n") + (QStringList(written) << text).join(QLatin1Char('\n'));
    QSaveFile file(FreeTdsConfigPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(contents.toUtf8()) < 0 || !file.commit())
        throw EDbError(
            QStringLiteral("Cannot write %1: %2").arg(FreeTdsConfigPath(), file.errorString()));
    written << text;
    removal().path = FreeTdsConfigPath();
}
