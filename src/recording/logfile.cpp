#include "recording/logfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>

namespace {
QString overriddenFolder;
}

QString LogFolder() {
    if (!overriddenFolder.isEmpty())
        return overriddenFolder;
    const QString exeFolder = QCoreApplication::applicationDirPath();
    if (QFileInfo(exeFolder).isWritable())
        return exeFolder;
    const QString fallback = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                             QStringLiteral("/dervel/logs");
    QDir().mkpath(fallback);
    return fallback;
}

void SetLogFolder(const QString& folder) {
    overriddenFolder = folder;
}

QByteArray EncodeForLocale(const QString& text) {
    const char* codeset = nl_langinfo(CODESET);
    const QByteArray utf8 = text.toUtf8();
    // The C and POSIX locales' set is plain ASCII, which would turn every login, host
    // and program outside it into "?": such a log is written in UTF-8, which keeps
    // ASCII as it is.
    if (!codeset || qstrcmp(codeset, "UTF-8") == 0 || qstrcmp(codeset, "ANSI_X3.4-1968") == 0 ||
        qstrcmp(codeset, "ASCII") == 0 || qstrcmp(codeset, "US-ASCII") == 0)
        return utf8;
    iconv_t cd = iconv_open(codeset, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return utf8;
    QByteArray out;
    out.reserve(utf8.size());
    char* in = const_cast<char*>(utf8.constData());
    size_t inLeft = static_cast<size_t>(utf8.size());
    char buffer[4096];
    while (inLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<qsizetype>(dst - buffer));
        if (rc != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // Unrepresentable or broken: one "?" for the whole UTF-8 character, then go on.
        out.append('?');
        size_t skip = 1;
        while (skip < inLeft && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80)
            ++skip;
        in += skip;
        inLeft -= skip;
    }
    iconv_close(cd);
    return out;
}

void WriteLogText(const QString& path, const QString& text, bool truncate) {
    QFile file(path);
    // Appending never creates the file: a log removed while recording would come back
    // without its header.
    const QIODevice::OpenMode mode =
        QIODevice::WriteOnly |
        (truncate ? QIODevice::Truncate : QIODevice::Append | QIODevice::ExistingOnly);
    if (!file.open(mode))
        throw ELogWriteError(file.errorString());
    const QByteArray bytes = EncodeForLocale(text);
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw ELogWriteError(file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw ELogWriteError(file.errorString());
}
