#include "registry/regstorage.h"

#include "registry/regkey.h"
#include "registry/regreader.h"
#include "registry/regwriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStringList>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Far beyond any real settings file; a bigger one is not ours.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

QMutex problemsMutex;
QStringList problems;

void AddProblem(const QString& text) {
    QMutexLocker locker(&problemsMutex);
    if (!problems.contains(text))
        problems += text;
}

QString ErrnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

// An flock held on the lock file for as long as the object lives.
class TFileLock {
public:
    explicit TFileLock(const QString& path) : FPath(Native(path)) {}
    ~TFileLock() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    bool Lock(bool exclusive) {
        if (FFd < 0)
            FFd = ::open(FPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (FFd < 0 && !exclusive)
            FFd = ::open(FPath.constData(), O_RDONLY | O_CLOEXEC);
        if (FFd < 0)
            return false;
        int rc;
        do
            rc = ::flock(FFd, exclusive ? LOCK_EX : LOCK_SH);
        while (rc != 0 && errno == EINTR);
        return rc == 0;
    }

private:
    QByteArray FPath;
    int FFd = -1;
};

} // namespace

TRegStorage::TRegStorage(const QString& location) : FFilePath(FilePathFor(location)) {}

QString TRegStorage::DefaultFilePath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The base directory rules ignore a relative value.
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QLatin1String("/.config");
    return QDir::cleanPath(config + QLatin1String("/dervel/registry.reg"));
}

QString TRegStorage::FilePathFor(const QString& location) {
    if (location.isEmpty())
        return DefaultFilePath();
    QString path = location;
    if (!path.endsWith(QLatin1String(".reg"), Qt::CaseInsensitive))
        path += QLatin1String("/registry.reg");
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString TRegStorage::TakeProblems() {
    QMutexLocker locker(&problemsMutex);
    const QString text = problems.join(u'\n');
    problems.clear();
    return text;
}

bool TRegStorage::Fail(const QString& what) {
    FLastError = what;
    return false;
}

TRegStorage::TReadResult TRegStorage::Read(TRegKey& root, TRegParseError& error) {
    root = TRegKey();
    // Not blocking: opening a FIFO put in the file's place must not hang the app.
    const int fd = ::open(Native(FFilePath).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        // A file standing where a folder of the path should be leaves no
        // place for the store: nothing is stored.
        if (errno == ENOENT || errno == ENOTDIR)
            return TReadResult::Missing;
        Fail(QStringLiteral("cannot open %1: %2").arg(FFilePath, ErrnoText()));
        return TReadResult::Failed;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
        ::close(fd);
        Fail(QStringLiteral("%1 is not a plain file").arg(FFilePath));
        return TReadResult::Failed;
    }
    QByteArray bytes;
    bool ok = true;
    while (ok && bytes.size() <= kMaxFileSize) {
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        bytes.append(buffer, n);
    }
    if (!ok) {
        Fail(QStringLiteral("cannot read %1: %2").arg(FFilePath, ErrnoText()));
        ::close(fd);
        return TReadResult::Failed;
    }
    ::close(fd);
    if (bytes.size() > kMaxFileSize) {
        error = {
            1,
            QCoreApplication::translate("SettingsFile", "файл больше %1 байт").arg(kMaxFileSize)};
        return TReadResult::Damaged;
    }
    if (!ParseRegFile(bytes, root, error)) {
        root = TRegKey();
        return TReadResult::Damaged;
    }
    return TReadResult::Ok;
}

// Keeps the damaged file for the user to look at instead of overwriting it.
bool TRegStorage::MoveAside(const TRegParseError& error) {
    const QString base = FFilePath + QLatin1String(".corrupt-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = base;
    for (int n = 1; QFileInfo::exists(target); ++n)
        target = base + u'-' + QString::number(n);
    const QString damage = QCoreApplication::translate(
                               "SettingsFile", "Файл настроек \"%1\" повреждён в строке %2: %3.")
                               .arg(FFilePath)
                               .arg(error.Line)
                               .arg(error.Reason);
    if (::rename(Native(FFilePath).constData(), Native(target).constData()) != 0) {
        const QString why = ErrnoText();
        AddProblem(damage + QCoreApplication::translate(
                                "SettingsFile", "\r\nПереименовать его не удалось (%1), поэтому "
                                                "настройки в него не записываются.")
                                .arg(why));
        return Fail(QStringLiteral("cannot rename %1: %2").arg(FFilePath, why));
    }
    AddProblem(damage + QCoreApplication::translate(
                            "SettingsFile", "\r\nОн сохранён как \"%1\", настройки записываются "
                                            "в новый файл.")
                            .arg(target));
    return true;
}

bool TRegStorage::Load(TRegKey& root) {
    TFileLock lock(FFilePath + QLatin1String(".lock"));
    // A folder nobody may write to has no writers to wait for: read it unlocked.
    lock.Lock(false);
    TRegParseError error;
    TReadResult result = Read(root, error);
    if (result == TReadResult::Damaged) {
        // Moving the file is a change: only one instance may decide it, and only
        // after seeing that no writer has replaced the file in the meantime.
        lock.Lock(true);
        result = Read(root, error);
        if (result == TReadResult::Damaged)
            MoveAside(error);
    }
    return result != TReadResult::Failed;
}

bool TRegStorage::MakeFolder() {
    const QString folder = QFileInfo(FFilePath).absolutePath();
    QString path;
    for (const QString& name : folder.split(u'/', Qt::SkipEmptyParts)) {
        path += u'/' + name;
        const QByteArray native = Native(path);
        struct stat st;
        if (::stat(native.constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return Fail(QStringLiteral("%1 is not a folder").arg(path));
            continue;
        }
        if (errno != ENOENT || (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST))
            return Fail(QStringLiteral("cannot make %1: %2").arg(path, ErrnoText()));
        // The umask may have taken more than the group and other bits.
        ::chmod(native.constData(), 0700);
    }
    return true;
}

bool TRegStorage::Writable() {
    if (!MakeFolder())
        return false;
    const QString folder = QFileInfo(FFilePath).absolutePath();
    if (::access(Native(folder).constData(), W_OK | X_OK) != 0)
        return Fail(QStringLiteral("cannot write in %1: %2").arg(folder, ErrnoText()));
    struct stat st;
    if (::stat(Native(FFilePath).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return Fail(QStringLiteral("%1 is not a plain file").arg(FFilePath));
    return true;
}

bool TRegStorage::WriteAtomically(const QByteArray& bytes) {
    QByteArray temp = Native(FFilePath + QLatin1String(".tmp-XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return Fail(
            QStringLiteral("cannot create a file beside %1: %2").arg(FFilePath, ErrnoText()));
    // The file may hold passwords in connection strings.
    bool ok = ::fchmod(fd, 0600) == 0;
    for (qsizetype done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += n;
    }
    ok = ok && ::fsync(fd) == 0;
    QString why = ok ? QString() : ErrnoText();
    if (::close(fd) != 0 && ok) {
        ok = false;
        why = ErrnoText();
    }
    if (ok && ::rename(temp.constData(), Native(FFilePath).constData()) != 0) {
        ok = false;
        why = ErrnoText();
    }
    if (!ok) {
        ::unlink(temp.constData());
        return Fail(QStringLiteral("cannot replace %1: %2").arg(FFilePath, why));
    }
    // The rename itself lives in the folder; make it durable too.
    const int dir = ::open(Native(QFileInfo(FFilePath).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool TRegStorage::Update(const std::function<bool(TRegKey&)>& change, TRegKey& root) {
    if (!MakeFolder())
        return false;
    TFileLock lock(FFilePath + QLatin1String(".lock"));
    if (!lock.Lock(true))
        return Fail(QStringLiteral("cannot lock %1.lock: %2").arg(FFilePath, ErrnoText()));
    TRegKey tree;
    TRegParseError error;
    switch (Read(tree, error)) {
    case TReadResult::Failed:
        return false;
    case TReadResult::Damaged:
        if (!MoveAside(error))
            return false;
        break;
    case TReadResult::Missing:
    case TReadResult::Ok:
        break;
    }
    if (change(tree) && !WriteAtomically(FormatRegFile(tree)))
        return false;
    root = std::move(tree);
    return true;
}
