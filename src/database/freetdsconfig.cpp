#include "database/freetdsconfig.h"

#include "database/dberror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The file as it is now, when it is a plain file of the owner's, 0600, with one name,
// holding exactly the expected bytes.
bool isExpectedFile(const QString& path, uid_t owner, const QByteArray& expected) {
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == owner &&
                (st.st_mode & 07777) == 0600 && st.st_nlink == 1 && st.st_size == expected.size();
    if (same) {
        QByteArray read(expected.size(), '\0');
        same = ::read(fd, read.data(), size_t(read.size())) == read.size() && read == expected;
    }
    ::close(fd);
    return same;
}

} // namespace

TPrivateFolder PrivateFolderState(const QString& APath, uid_t AOwner) {
    struct stat st {};
    if (::lstat(encoded(APath).constData(), &st) != 0)
        return TPrivateFolder::Missing;
    if (S_ISLNK(st.st_mode))
        return TPrivateFolder::Link;
    if (!S_ISDIR(st.st_mode))
        return TPrivateFolder::NotAFolder;
    if (st.st_uid != AOwner)
        return TPrivateFolder::OtherOwner;
    if (st.st_mode & 077)
        return TPrivateFolder::OpenToOthers;
    return TPrivateFolder::Private;
}

TFreeTdsConfig::TFreeTdsConfig(const QString& ARuntimeDir, const QString& ATempDir, uid_t AOwner)
    : FOwner(AOwner) {
    if (!ARuntimeDir.isEmpty() &&
        PrivateFolderState(ARuntimeDir, AOwner) == TPrivateFolder::Private) {
        const QString candidate = ARuntimeDir + QStringLiteral("/dervel");
        ::mkdir(encoded(candidate).constData(), 0700);
        if (PrivateFolderState(candidate, AOwner) == TPrivateFolder::Private)
            FFolder = candidate;
    }
    if (FFolder.isEmpty()) {
        // A name nobody could have chosen beforehand, made 0700 in one step.
        QByteArray name = encoded(ATempDir + QStringLiteral("/dervel-XXXXXX"));
        if (!::mkdtemp(name.data()))
            throw EDbError(QCoreApplication::translate("FreeTdsConfig",
                                                       "Не удалось создать личную папку в «%1»: %2")
                               .arg(ATempDir, systemError()));
        FFolder = QFile::decodeName(name);
        FMadeFolder = true;
    }
    FPath = FFolder + QStringLiteral("/freetds-%1.conf").arg(::getpid());
    write();
}

TFreeTdsConfig::~TFreeTdsConfig() {
    ::unlink(encoded(FPath).constData());
    if (FMadeFolder)
        ::rmdir(encoded(FFolder).constData());
}

QByteArray TFreeTdsConfig::contents() {
    return QByteArrayLiteral("[global]\n\n[") + kFreeTdsRelaySection +
           QByteArrayLiteral("]\n\thost = 127.0.0.1\n");
}

void TFreeTdsConfig::write() {
    const QByteArray path = encoded(FPath);
    // Whatever has the name (a file of an earlier process with the same id, a link) goes;
    // the new file is never opened through a link.
    ::unlink(path.constData());
    const int fd =
        ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    const QByteArray text = contents();
    const bool ok = fd >= 0 && ::fchmod(fd, 0600) == 0 &&
                    ::write(fd, text.constData(), size_t(text.size())) == text.size();
    const QString error = systemError();
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        throw EDbError(QCoreApplication::translate("FreeTdsConfig", "Не удалось записать «%1»: %2")
                           .arg(FPath, error));
}

void TFreeTdsConfig::check() {
    if (PrivateFolderState(FFolder, FOwner) != TPrivateFolder::Private)
        throw EDbError(QCoreApplication::translate(
                           "FreeTdsConfig",
                           "Папка «%1» с настройками драйвера перестала быть личной (её "
                           "подменили или открыли другим пользователям). Подключение отменено; "
                           "перезапустите программу.")
                           .arg(FFolder));
    if (!isExpectedFile(FPath, FOwner, contents()))
        write();
}

namespace {

std::mutex configMutex;
std::unique_ptr<TFreeTdsConfig> processConfig;
QString configError;

} // namespace

void PrepareFreeTdsConfig() {
    static std::once_flag once;
    std::call_once(once, [] {
        try {
            processConfig = std::make_unique<TFreeTdsConfig>(
                qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath(), ::getuid());
            ::setenv("FREETDSCONF", encoded(processConfig->path()).constData(), 1);
        } catch (const EDbError& e) {
            configError = e.message(); // every connect says it
        }
    });
}

QString FreeTdsConfigPath() {
    PrepareFreeTdsConfig();
    return processConfig ? processConfig->path() : QString();
}

void CheckFreeTdsConfig() {
    PrepareFreeTdsConfig();
    std::lock_guard lock(configMutex);
    if (!processConfig)
        throw EDbError(configError);
    processConfig->check();
}
