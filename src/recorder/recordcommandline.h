#pragma once
// dervel-record's command line, read into plain values.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

struct TRecordCommand {
    enum class TAction { Run, Help, Version, Error, Episodes };
    TAction Action = TAction::Run;
    QString Error;        // for Error: what was wrong, one line
    QStringList Servers;  // --server, once or more: entries of the settings store
    bool All = false;     // --all: every entry of the settings store
    QString Connection;   // --connection: an OLE DB connection string
    QString PasswordFile; // --password-file: a file whose first line is the password; "-": stdin
    QString Out;          // --out: a file, a folder (several servers), or postgresql://...
    QString Metrics;      // --metrics: "host:port" to serve /metrics on; empty: none
    qint64 PeriodMs = 1000;
    qint64 StopAtMs = 0; // from --duration or --until, ms since the epoch; 0: none
    qint64 RetainMs = 0; // --retain; 0: keep everything
    bool WithText = false;
    QString RulesFile; // --rules: alert rules in a file of the settings' form
    QString OnAlert;   // --on-alert: the command run for each alert raised and cleared
    qint64 OnAlertTimeoutMs = 30000; // --on-alert-timeout
    // --episodes: the recording (a file, or postgresql://... with one --server) whose
    // blocking episodes are printed as CSV; nothing is recorded.
    QString Episodes;
};

// Exit statuses a script can rely on.
inline constexpr int kRecordExitOk = 0;           // stopped as asked: time up, SIGINT, SIGTERM
inline constexpr int kRecordExitFailed = 1;       // the recording file failed
inline constexpr int kRecordExitUsage = 2;        // the command line cannot be used
inline constexpr int kRecordExitNoConnection = 3; // no connection could be made at the start
// The server refused the login (18456), at the start or at a reconnect: trying again with
// the same password would only count towards a lock-out.
inline constexpr int kRecordExitLoginRefused = 4;

// Whether the command records several servers: one file each, in the folder --out names.
bool RecordsSeveral(const TRecordCommand& ACommand);

// A span such as "1s", "500ms", "2m", "1h30m", "7d" in milliseconds; nothing when the
// text is no span or is not positive.
std::optional<qint64> ParseSpan(const QString& AText);

// The arguments as QCoreApplication::arguments() gives them, the program's name first;
// ANow is the local time "--duration" and "--until" count from.
TRecordCommand ParseRecordCommandLine(const QStringList& AArguments, const QDateTime& ANow);

QString RecordCommandHelp();
QString RecordCommandVersion();
