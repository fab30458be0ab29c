// dervel-record: records one SQL Server's sessions to a recording file, without a window.

#include "alerts/alertcommand.h"
#include "alerts/alertrulesstore.h"
#include "database/dbconnection.h"
#include "database/dberror.h"
#include "database/freetdsconfig.h"
#include "keyring/keyring.h"
#include "language/language.h"
#include "recorder/recordcommandline.h"
#include "recorder/recorder.h"
#include "recorder/recorderalerts.h"
#include "recorder/recordlogin.h"
#include "registry/registry.h"
#include "servers/connectionstring.h"
#include "servers/passwordplacement.h"
#include "settings/settingsstore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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

QString refused(const QString& AName, const EDbError& AError) {
    return QCoreApplication::translate("RecordCommandLine",
                                       "Сервер «%1» отклонил вход: %2 Запись остановлена, чтобы "
                                       "повторные попытки не заблокировали вход; исправьте пароль "
                                       "и запустите снова.")
        .arg(AName, AError.message().trimmed());
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

    QString name = command.Server;
    QString connectionString = command.Connection;
    QUuid entryID;
    if (!command.Server.isEmpty()) {
        const TLoadedSettings stored = ReadSettings(registry, 0);
        const auto entry =
            std::find_if(stored.Servers.begin(), stored.Servers.end(),
                         [&](const TStoredServer& s) { return s.Name == command.Server; });
        if (entry == stored.Servers.end()) {
            print(stderr, QStringLiteral("dervel-record: %1\n")
                              .arg(QCoreApplication::translate("RecordCommandLine",
                                                               "Нет сохранённого подключения «%1».")
                                       .arg(command.Server)));
            return kRecordExitUsage;
        }
        connectionString = entry->ConnectionString;
        entryID = entry->ServerID;
    } else {
        name = GetConnectionStringValue(connectionString, QStringLiteral("Data Source"));
    }

    std::optional<QString> filePassword;
    if (!command.PasswordFile.isEmpty()) {
        QString error;
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
    std::optional<QString> keyringPassword;
    if (!filePassword && !environmentPassword && !entryID.isNull() &&
        KeyringMayHoldPassword(connectionString))
        keyringPassword = readKeyring(entryID);
    const TRecordLogin login =
        ChooseRecordLogin(connectionString, command.Server.isEmpty(), filePassword,
                          environmentPassword, keyringPassword);
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

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    // The file first: a second recorder learns that it is one before it logs in anywhere.
    std::unique_ptr<TWriterLock> lock;
    try {
        lock = std::make_unique<TWriterLock>(command.Out);
    } catch (const ERecordingError& e) {
        report(e.message());
        return kRecordExitFailed;
    }

    TDbConnection connection;
    connection.setConnectionString(connectionString);
    const auto open = [&connection, &login] {
        if (login.Credentials)
            connection.open(login.Credentials->user, login.Credentials->password);
        else
            connection.open();
    };
    TRecordedServer server;
    try {
        open();
        server = DescribeServer(connection);
    } catch (const EDbError& e) {
        if (e.loginRefused()) {
            report(refused(name, e));
            return kRecordExitLoginRefused;
        }
        report(
            QCoreApplication::translate("RecordCommandLine", "Не удалось подключиться к «%1»: %2")
                .arg(name, e.message().trimmed()));
        return kRecordExitNoConnection;
    }

    // Before the file: the commands still queued run once the recording is closed.
    std::unique_ptr<TAlertCommand> alertCommand;
    if (!command.OnAlert.isEmpty())
        alertCommand =
            std::make_unique<TAlertCommand>(command.OnAlert, int(command.OnAlertTimeoutMs), report);
    try {
        TRecordingInfo info;
        info.Server = name;
        info.ConnectDescr = server.ConnectDescr;
        info.ServerVersion = server.ServerVersion;
        info.WithText = command.WithText;
        info.Recorder = QStringLiteral("dervel-record %1").arg(QStringLiteral(DERVEL_VERSION));
        TRecordingWriter writer(command.Out, info, std::move(lock));
        if (writer.narrowedFrom())
            report(QCoreApplication::translate("RecordCommandLine",
                                               "Файл %1 был доступен другим пользователям (права "
                                               "%2); теперь он только ваш (0600).")
                       .arg(command.Out)
                       .arg(writer.narrowedFrom(), 4, 8, QLatin1Char('0')));
        TRecorderOptions options;
        options.PeriodMs = int(command.PeriodMs);
        options.WithText = command.WithText;
        options.RetainMs = command.RetainMs;
        options.StopAtMs = command.StopAtMs;
        TRecorder recorder(
            writer,
            [&connection, &open]() -> TDbConnection& {
                if (!connection.connected())
                    open();
                return connection;
            },
            [](TDbConnection& lost) { lost.close(); }, options, report);
        TRecorderAlerts alerts(name, rules, options.PeriodMs, writer, alertCommand.get(), report);
        recorder.Sampled = [&alerts](qint64 at, const TRecordedRows& rows) {
            alerts.sampled(at, rows);
        };
        recorder.Silent = [&alerts](qint64 at) { alerts.silent(at); };
        report(QCoreApplication::translate("RecordCommandLine", "Запись в %1 каждые %2 мс.")
                   .arg(command.Out)
                   .arg(command.PeriodMs));
        try {
            recorder.Run(gStop);
        } catch (const EDbError& e) {
            // The recorder gives up on the server only for a refused login.
            if (!e.loginRefused()) {
                report(e.message().trimmed());
                return kRecordExitNoConnection;
            }
            report(refused(name, e));
            return kRecordExitLoginRefused;
        }
        report(QCoreApplication::translate("RecordCommandLine",
                                           "Запись остановлена: записано снимков — %1.")
                   .arg(writer.snapshotsWritten()));
    } catch (const ERecordingError& e) {
        report(e.message());
        return kRecordExitFailed;
    }
    return kRecordExitOk;
}
