// dervel-record: records the sessions of one SQL Server or of several, each on a thread of
// its own, into recording files or a PostgreSQL database, without a window; optionally
// serves what it sees to Prometheus.

#include "alerts/alertcommand.h"
#include "alerts/alertrulesstore.h"
#include "database/freetdsconfig.h"
#include "keyring/keyring.h"
#include "language/language.h"
#include "metrics/metricsserver.h"
#include "metrics/metricsstate.h"
#include "pgstore/pgconnection.h"
#include "record/printepisodes.h"
#include "record/recordexport.h"
#include "record/serverrecording.h"
#include "recorder/recordcommandline.h"
#include "recorder/recordlogin.h"
#include "recorder/writerlock.h"
#include "registry/registry.h"
#include "servers/connectionstring.h"
#include "servers/passwordplacement.h"
#include "settings/settingsstore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> gStop{false};

extern "C" void onSignal(int) {
    gStop = true;
}

void print(std::FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

// One line on stderr, with the local time in front; a message of several lines (the
// encrypted connection's, a driver's) is joined into it, so that every report is a line.
void report(const QString& line) {
    const QString joined =
        line.trimmed().split(QRegularExpression(QStringLiteral("\\s*[\\r\\n]+\\s*"))).join(u' ');
    print(stderr, QStringLiteral("%1 %2\n").arg(
                      QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                      joined));
}

QString environment(const char* name) {
    return qEnvironmentVariable(name);
}

// The first line of a file, or of standard input for "-"; nothing (and why) when it
// cannot be read or is empty.
std::optional<QString> readPasswordFile(const QString& APath, QString& AError) {
    QFile file;
    const bool opened = APath == QLatin1String("-")
                            ? file.open(stdin, QIODevice::ReadOnly)
                            : (file.setFileName(APath), file.open(QIODevice::ReadOnly));
    if (!opened) {
        AError = QCoreApplication::translate("RecordCommandLine",
                                             "Не удалось прочитать файл пароля «%1»: %2")
                     .arg(APath, file.errorString());
        return std::nullopt;
    }
    // A line is all that is wanted; the cap keeps a wrong path (a device, a log) harmless.
    const QString password = PasswordFileText(file.readLine(65536));
    if (password.isEmpty()) {
        AError = QCoreApplication::translate("RecordCommandLine",
                                             "В файле пароля «%1» нет пароля: первая строка пуста.")
                     .arg(APath);
        return std::nullopt;
    }
    return password;
}

// The entry's password from the keyring, as the window takes it; nothing without a
// keyring or without a secret for the entry.
std::optional<QString> readKeyring(const QUuid& AEntryID) {
    TKeyring keyring;
    if (!keyring.Usable()) {
        report(QCoreApplication::translate(
            "RecordCommandLine",
            "Связка ключей недоступна (нет сеанса D-Bus): вход по строке подключения."));
        return std::nullopt;
    }
    std::optional<TKeyringReply> reply;
    QEventLoop loop;
    keyring.Read(AEntryID, [&](const TKeyringReply& r) {
        reply = r;
        loop.quit();
    });
    if (!reply) {
        // The Secret Service's own time-out ends a job that hangs; this one ends the wait
        // should it not.
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!reply || reply->Status != TKeyringReply::Done)
        return std::nullopt;
    return reply->Password;
}

// The servers the command names, with their strings and entries; nothing (and why) for
// a name that is not saved.
struct TNamedServer {
    QString Name;
    QString ConnectionString;
    QUuid EntryID;
};

std::optional<QList<TNamedServer>> namedServers(const TRecordCommand& ACommand,
                                                TRegistry& ARegistry, QString& AError) {
    if (!ACommand.Connection.isEmpty())
        return QList<TNamedServer>{
            {GetConnectionStringValue(ACommand.Connection, QStringLiteral("Data Source")),
             ACommand.Connection,
             {}}};
    const TLoadedSettings stored = ReadSettings(ARegistry, 0);
    QList<TNamedServer> servers;
    if (ACommand.All) {
        for (const TStoredServer& s : stored.Servers)
            servers.append({s.Name, s.ConnectionString, s.ServerID});
        if (servers.isEmpty())
            AError = QCoreApplication::translate("RecordCommandLine",
                                                 "В настройках нет ни одного подключения.");
        return servers.isEmpty() ? std::nullopt : std::optional(servers);
    }
    for (const QString& name : ACommand.Servers) {
        const auto entry = std::find_if(stored.Servers.begin(), stored.Servers.end(),
                                        [&](const TStoredServer& s) { return s.Name == name; });
        if (entry == stored.Servers.end()) {
            AError = QCoreApplication::translate("RecordCommandLine",
                                                 "Нет сохранённого подключения «%1».")
                         .arg(name);
            return std::nullopt;
        }
        servers.append({entry->Name, entry->ConnectionString, entry->ServerID});
    }
    return servers;
}

} // namespace

int main(int argc, char* argv[]) {
    // Before any thread starts: FreeTDS's private settings file is named in the environment.
    PrepareFreeTdsConfig();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dervel-record"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DERVEL_VERSION));
    TRegistry registry;
    InstallTranslations(
        ChooseLanguage(std::nullopt, ParseLanguage(ReadLanguageSetting(registry)), environment));

    const TRecordCommand command =
        ParseRecordCommandLine(QCoreApplication::arguments(), QDateTime::currentDateTime());
    switch (command.Action) {
    case TRecordCommand::TAction::Help:
        print(stdout, RecordCommandHelp());
        return kRecordExitOk;
    case TRecordCommand::TAction::Version:
        print(stdout, RecordCommandVersion());
        return kRecordExitOk;
    case TRecordCommand::TAction::Error:
        print(stderr,
              QStringLiteral("dervel-record: %1\n%2\n")
                  .arg(command.Error, QCoreApplication::translate(
                                          "RecordCommandLine", "Справка: dervel-record --help")));
        return kRecordExitUsage;
    case TRecordCommand::TAction::Export:
        return RunRecordExport(command, report);
    case TRecordCommand::TAction::Episodes:
        return PrintEpisodes(
            command, [](const QString& text) { print(stdout, text); },
            [](const QString& text) {
                print(stderr, QStringLiteral("dervel-record: %1\n").arg(text));
            });
    case TRecordCommand::TAction::Run:
        break;
    }

    // The alert rules: the user's own, as the window uses them, or the file given.
    TAlertRules rules;
    {
        QString problem;
        if (!command.RulesFile.isEmpty()) {
            if (!QFileInfo(command.RulesFile).isFile()) {
                print(stderr, QStringLiteral("dervel-record: %1\n")
                                  .arg(QCoreApplication::translate("RecordCommandLine",
                                                                   "Нет файла правил «%1».")
                                           .arg(command.RulesFile)));
                return kRecordExitUsage;
            }
            TRegistry file(command.RulesFile);
            rules = ReadAlertRules(file, &problem);
        } else {
            rules = ReadAlertRules(registry, &problem);
        }
        if (!problem.isEmpty())
            report(QCoreApplication::translate("RecordCommandLine",
                                               "Правила оповещений прочитаны не все: %1")
                       .arg(problem.replace(u'\n', u' ')));
    }

    QString error;
    const std::optional<QList<TNamedServer>> servers = namedServers(command, registry, error);
    if (!servers) {
        print(stderr, QStringLiteral("dervel-record: %1\n").arg(error));
        return kRecordExitUsage;
    }
    const bool several = RecordsSeveral(command);
    const bool database = IsPgAddress(command.Out);
    if (database && PgAddressHasPassword(command.Out))
        report(QCoreApplication::translate(
            "RecordCommandLine",
            "Внимание: пароль в адресе базы виден всем пользователям этого компьютера в "
            "списке процессов (ps). Храните его в ~/.pgpass."));

    std::optional<QString> filePassword;
    if (!command.PasswordFile.isEmpty()) {
        filePassword = readPasswordFile(command.PasswordFile, error);
        if (!filePassword) {
            print(stderr, QStringLiteral("dervel-record: %1\n").arg(error));
            return kRecordExitUsage;
        }
    }
    std::optional<QString> environmentPassword;
    if (qEnvironmentVariableIsSet(kRecordPasswordVariable)) {
        environmentPassword = qEnvironmentVariable(kRecordPasswordVariable);
        qunsetenv(kRecordPasswordVariable); // for nothing this process may start
    }
    if (several && !database && !QDir().mkpath(command.Out)) {
        report(
            QCoreApplication::translate("RecordCommandLine", "Не удалось создать папку записей %1.")
                .arg(command.Out));
        return kRecordExitFailed;
    }

    // Every login is settled here, on the main thread, before any recording starts: the
    // keyring answers through this thread's event loop.
    std::vector<TServerJob> jobs;
    for (const TNamedServer& s : *servers) {
        std::optional<QString> keyringPassword;
        if (!filePassword && !environmentPassword && !s.EntryID.isNull() &&
            KeyringMayHoldPassword(s.ConnectionString))
            keyringPassword = readKeyring(s.EntryID);
        TRecordLogin login = ChooseRecordLogin(s.ConnectionString, !command.Connection.isEmpty(),
                                               filePassword, environmentPassword, keyringPassword);
        if (!login.Error.isEmpty()) {
            print(stderr, QStringLiteral("dervel-record: %1\n").arg(login.Error));
            return kRecordExitUsage;
        }
        if (login.PasswordVisible)
            report(QCoreApplication::translate(
                "RecordCommandLine",
                "Внимание: пароль в --connection виден всем пользователям этого компьютера в "
                "списке процессов (ps). Передайте его через --password-file или переменную "
                "DERVEL_PASSWORD."));
        TServerJob job;
        job.Name = s.Name;
        job.ConnectionString = s.ConnectionString;
        job.Login = std::move(login);
        job.Out = database || !several ? command.Out : RecordingFileInFolder(command.Out, s.Name);
        // The file first: a second recorder learns that it is one before it logs in anywhere.
        if (!database) {
            try {
                job.Lock = std::make_unique<TWriterLock>(job.Out);
            } catch (const ERecordingError& e) {
                report(e.message());
                return kRecordExitFailed;
            }
        }
        jobs.push_back(std::move(job));
    }

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    TMetricsState metrics;
    std::unique_ptr<TMetricsServer> endpoint;
    if (!command.Metrics.isEmpty()) {
        try {
            endpoint = std::make_unique<TMetricsServer>(command.Metrics, metrics);
        } catch (const std::runtime_error& e) {
            report(QString::fromStdString(e.what()));
            return kRecordExitUsage;
        }
        report(QCoreApplication::translate("RecordCommandLine",
                                           "Метрики для Prometheus: http://%1/metrics")
                   .arg(command.Metrics));
    }

    // Before the recordings: the commands still queued run once they are closed.
    std::unique_ptr<TAlertCommand> alertCommand;
    if (!command.OnAlert.isEmpty())
        alertCommand =
            std::make_unique<TAlertCommand>(command.OnAlert, int(command.OnAlertTimeoutMs), report);

    TRecorderOptions options;
    options.PeriodMs = int(command.PeriodMs);
    options.WithText = command.WithText;
    options.RetainMs = command.RetainMs;
    options.StopAtMs = command.StopAtMs;
    if (!several) {
        TServerRecording only(std::move(jobs.front()), options, true, endpoint ? &metrics : nullptr,
                              report);
        only.AlertRules = rules;
        only.AlertCommand = alertCommand.get();
        return only.run(gStop);
    }
    // One thread a server. Each line says whose it is.
    std::vector<std::unique_ptr<TServerRecording>> recordings;
    for (TServerJob& job : jobs) {
        const QString prefix = QStringLiteral("[%1] ").arg(job.Name);
        recordings.push_back(std::make_unique<TServerRecording>(
            std::move(job), options, false, endpoint ? &metrics : nullptr,
            [prefix](const QString& line) { report(prefix + line); }));
        recordings.back()->AlertRules = rules;
        recordings.back()->AlertCommand = alertCommand.get();
    }
    for (auto& r : recordings)
        r->start(gStop);
    // Until asked to stop, or until every recording has ended on its own.
    const auto allFinished = [&recordings] {
        return std::all_of(recordings.begin(), recordings.end(),
                           [](const auto& r) { return r->finished(); });
    };
    while (!gStop && !allFinished())
        QThread::msleep(100);
    int status = kRecordExitOk;
    for (auto& r : recordings) {
        r->join();
        if (status == kRecordExitOk)
            status = r->status();
    }
    return gStop ? kRecordExitOk : status;
}
