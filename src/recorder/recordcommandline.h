#pragma once
// dervel-record's command line, read into plain values.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

struct TRecordCommand {
    enum class TAction { Run, Export, Help, Version, Error, Episodes };
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
    // --export IN: a span of a recording (a file, or postgresql://... with --server naming
    // the server) written to the file --out names, from --from to --to (ISO 8601, ms since
    // the epoch here); --without-text leaves the batches' texts out; --html FILE writes
    // the span's summary beside it.
    QString Export;
    qint64 FromMs = 0;
    qint64 ToMs = 0;
    bool WithoutText = false;
    QString Html;
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

// An ISO 8601 time ("2026-03-01T02:55:00", with a blank for the "T", seconds optional, with
// "Z" or an offset, or local time without one) in ms since the epoch; nothing when the text
// is no such time.
std::optional<qint64> ParseMoment(const QString& AText);

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
