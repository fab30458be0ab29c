#include "recording/logformat.h"

#include <QCoreApplication>
#include <QStringBuilder>

using namespace Qt::Literals::StringLiterals;

QString LogSafeServerName(const QString& AServerName) {
    QString name = AServerName;
    for (QChar& c : name)
        if (c == u'?' || c == u'\\' || c == u'/')
            c = u'-';
    return name;
}

QString LogFileName(const QDateTime& AStart, const QString& AServerName) {
    const QDate d = AStart.date();
    const QTime t = AStart.time();
    return QString::asprintf("%04d%02d%02d-%02d%02d%02d-", d.year(), d.month(), d.day(), t.hour(),
                             t.minute(), t.second()) %
           LogSafeServerName(AServerName) % u".log";
}

QString LogFilePath(const QString& AFolder, const QDateTime& AStart, const QString& AServerName) {
    const QString folder = AFolder.endsWith(u'/') ? AFolder : AFolder % u'/';
    return folder % LogFileName(AStart, AServerName);
}

QString LogTimeStamp(const QDateTime& ATime) {
    const QDate d = ATime.date();
    const QTime t = ATime.time();
    return QString::asprintf("%04d%02d%02d %02d:%02d:%02d.%03d", d.year(), d.month(), d.day(),
                             t.hour(), t.minute(), t.second(), t.msec());
}

QString LogHeaderLine(const QStringList& ACaptions) {
    QString line = u"Time"_s;
    for (const QString& caption : ACaptions)
        line += u';' % caption;
    return line % u"\r\n";
}

QString RecordStopMessage(const QString& AMsg, const QString& AFileName) {
    return QCoreApplication::translate("ActivityLog", "Запись остановлена:\r\n%1.\r\nФайл %2.")
        .arg(AMsg, AFileName);
}
