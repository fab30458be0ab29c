// dervel-record: records one SQL Server's sessions to a recording file, without a window.

#include "language/language.h"
#include "platform/dbconnection.h"
#include "platform/dberror.h"
#include "platform/freetdsconfig.h"
#include "platform/registry.h"
#include "recorder/recordcommandline.h"
#include "recorder/recorder.h"
#include "servers/connectionstring.h"
#include "settings/settingsstore.h"

#include <QCoreApplication>
#include <QDateTime>
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

// One line on stderr, with the local time in front.
void report(const QString& line) {
    print(stderr,
          QStringLiteral("%1 %2\n").arg(
              QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), line));
}

QString environment(const char* name) {
    return qEnvironmentVariable(name);
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

    QString name = command.Server;
    QString connectionString = command.Connection;
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
    } else {
        name = GetConnectionStringValue(connectionString, QStringLiteral("Data Source"));
    }

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    TDbConnection connection;
    connection.setConnectionString(connectionString);
    TRecordedServer server;
    try {
        connection.open();
        server = DescribeServer(connection);
    } catch (const EDbError& e) {
        report(
            QCoreApplication::translate("RecordCommandLine", "Не удалось подключиться к «%1»: %2")
                .arg(name, e.message().trimmed()));
        return kRecordExitNoConnection;
    }

    try {
        TRecordingInfo info;
        info.Server = name;
        info.ConnectDescr = server.ConnectDescr;
        info.ServerVersion = server.ServerVersion;
        info.WithText = command.WithText;
        info.Recorder = QStringLiteral("dervel-record %1").arg(QStringLiteral(DERVEL_VERSION));
        TRecordingWriter writer(command.Out, info);
        TRecorderOptions options;
        options.PeriodMs = int(command.PeriodMs);
        options.WithText = command.WithText;
        options.RetainMs = command.RetainMs;
        options.StopAtMs = command.StopAtMs;
        TRecorder recorder(
            writer,
            [&connection]() -> TDbConnection& {
                if (!connection.connected())
                    connection.open();
                return connection;
            },
            [](TDbConnection& lost) { lost.close(); }, options, report);
        report(QCoreApplication::translate("RecordCommandLine", "Запись в %1 каждые %2 мс.")
                   .arg(command.Out)
                   .arg(command.PeriodMs));
        recorder.Run(gStop);
        report(QCoreApplication::translate("RecordCommandLine",
                                           "Запись остановлена: записано снимков — %1.")
                   .arg(writer.snapshotsWritten()));
    } catch (const ERecordingError& e) {
        report(e.message());
        return kRecordExitFailed;
    }
    return kRecordExitOk;
}
