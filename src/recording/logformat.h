#pragma once
// Names and line texts of the activity log. Turning the texts into the bytes of the
// file (its 8-bit encoding) is the writer's business.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The server name with every "?", "\" and "/" replaced by "-".
QString LogSafeServerName(const QString& AServerName);

// "yyyymmdd-hhnnss-<server>.log" for the time recording starts.
QString LogFileName(const QDateTime& AStart, const QString& AServerName);

// The file name inside AFolder (a separator is added unless AFolder ends with one).
QString LogFilePath(const QString& AFolder, const QDateTime& AStart, const QString& AServerName);

// "yyyymmdd hh:nn:ss.zzz", formatted once per snapshot.
QString LogTimeStamp(const QDateTime& ATime);

// "Time" and the captions of the visible columns in display order, CR LF ended.
QString LogHeaderLine(const QStringList& ACaptions);

// The text of the message box that reports a stop caused by a failure.
QString RecordStopMessage(const QString& AMsg, const QString& AFileName);
