#include "recorder/writerlock.h"

#include "recorder/sqlitefile.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int AErrno) {
    return QString::fromLocal8Bit(std::strerror(AErrno));
}

QByteArray native(const QString& APath) {
    return APath.toLocal8Bit();
}

ERecordingError notPrivate(const QString& APath, int AErrno) {
    return ERecordingError(
        QCoreApplication::translate("Recording", "Не удалось закрыть файл записи «%1» от других "
                                                 "пользователей: %2")
            .arg(APath, systemError(AErrno)));
}

ERecordingError notAFile(const QString& APath) {
    return ERecordingError(QCoreApplication::translate(
                               "Recording", "«%1» — не обычный файл: записывать в него нельзя.")
                               .arg(APath));
}

// Narrows a file that is there to its owner's read and write; a missing one is fine.
// SQLite gives the -wal and -shm it creates the recording's own mode, but ones left
// from an earlier run keep theirs. A link is refused: SQLite would write where it points.
unsigned narrow(const QString& APath) {
    struct stat st {};
    if (::lstat(native(APath).constData(), &st) != 0) {
        if (errno == ENOENT)
            return 0;
        throw notPrivate(APath, errno);
    }
    if (!S_ISREG(st.st_mode))
        throw notAFile(APath);
    const unsigned mode = st.st_mode & 07777;
    if ((mode & 077) == 0)
        return 0;
    if (::chmod(native(APath).constData(), mode & 0600) != 0)
        throw notPrivate(APath, errno);
    return mode;
}

// Creates the recording 0600 whatever the umask, or narrows the one that is there.
unsigned createOrNarrow(const QString& APath) {
    const int fd = ::open(native(APath).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno != EEXIST)
            throw ERecordingError(
                QCoreApplication::translate("Recording", "Не удалось открыть файл записи «%1»: %2")
                    .arg(APath, systemError(errno)));
        return narrow(APath);
    }
    const int rc = ::fchmod(fd, 0600); // the umask may have taken the owner's write away
    const int error = errno;
    ::close(fd);
    if (rc != 0)
        throw notPrivate(APath, error);
    return 0;
}

} // namespace

QString TWriterLock::LockPath(const QString& ARecordingPath) {
    return ARecordingPath + QStringLiteral("-lock");
}

TWriterLock::TWriterLock(const QString& ARecordingPath)
    : FPath(ARecordingPath), FLockPath(LockPath(ARecordingPath)) {
    const QByteArray lockPath = native(FLockPath);
    for (;;) {
        FFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (FFd < 0)
            throw ERecordingError(QCoreApplication::translate(
                                      "Recording", "Не удалось создать файл блокировки «%1»: %2")
                                      .arg(FLockPath, systemError(errno)));
        if (::flock(FFd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(FFd);
            FFd = -1;
            if (error == EWOULDBLOCK)
                throw ERecordingError(
                    QCoreApplication::translate(
                        "Recording",
                        "Файл записи «%1» уже пишет другой процесс (dervel-record или окно "
                        "Dervel): два писателя перемешали бы снимки. Дождитесь его окончания "
                        "или укажите другой файл.")
                        .arg(ARecordingPath));
            throw ERecordingError(QCoreApplication::translate(
                                      "Recording", "Не удалось создать файл блокировки «%1»: %2")
                                      .arg(FLockPath, systemError(error)));
        }
        // The writer before may have removed the lock file between our open and our lock:
        // then the lock is on a file nobody else will open, and the one at the path counts.
        struct stat held {
        }, atPath{};
        if (::fstat(FFd, &held) == 0 && ::stat(lockPath.constData(), &atPath) == 0 &&
            held.st_dev == atPath.st_dev && held.st_ino == atPath.st_ino)
            break;
        ::close(FFd);
        FFd = -1;
    }
}

void TWriterLock::makePrivate() {
    FNarrowedFrom = createOrNarrow(FPath);
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        narrow(FPath + QLatin1String(suffix));
}

TWriterLock::~TWriterLock() {
    // Removed while still held, so that nobody takes a lock on it after us.
    ::unlink(native(FLockPath).constData());
    ::close(FFd);
}
