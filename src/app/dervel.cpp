// Dervel: a live monitor of what runs on Microsoft SQL Server.

#include "app/application.h"
#include "app/commandline.h"
#include "app/mainform.h"
#include "app/widgetprompts.h"
#include "database/freetdsconfig.h"
#include "language/language.h"
#include "recorder/backgroundrecorder.h"
#include "registry/registry.h"
#include "replay/widgets/replay.h"
#include "servers/widgets/serverpanel.h"
#include "settings/settingsstore.h"

#include <QApplication>
#include <cstdio>

namespace {

void print(std::FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
}

QString environment(const char* name) {
    return qEnvironmentVariable(name);
}

} // namespace

int main(int argc, char* argv[]) {
    // Before any thread starts: FreeTDS's private settings file is named in the environment.
    PrepareFreeTdsConfig();
    TCommandLine commandLine;
    TLanguage language;
    {
        // The command line is read before any window system is touched: --help and
        // --version work without a display.
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Dervel"));
        QCoreApplication::setApplicationVersion(QStringLiteral(DERVEL_VERSION));
        commandLine = ParseCommandLine(QCoreApplication::arguments());
        TRegistry registry;
        language = ChooseLanguage(commandLine.Language,
                                  ParseLanguage(ReadLanguageSetting(registry)), environment);
        InstallTranslations(language);
        switch (commandLine.Action) {
        case TCommandLine::TAction::Help:
            print(stdout, CommandLineHelp());
            return 0;
        case TCommandLine::TAction::Version:
            print(stdout, CommandLineVersion());
            return 0;
        case TCommandLine::TAction::Error:
            print(stderr,
                  QStringLiteral("dervel: %1\n%2\n")
                      .arg(commandLine.Error,
                           QCoreApplication::translate("CommandLine", "Справка: dervel --help")));
            return kExitUsage;
        case TCommandLine::TAction::Run:
            break;
        }
        if (!commandLine.Server.isEmpty()) {
            const TLoadedSettings stored = ReadSettings(registry, 0);
            const bool known =
                std::any_of(stored.Servers.begin(), stored.Servers.end(),
                            [&](const TStoredServer& s) { return s.Name == commandLine.Server; });
            if (!known) {
                print(stderr, QStringLiteral("dervel: %1\n")
                                  .arg(QCoreApplication::translate(
                                           "CommandLine", "Нет сохранённого подключения «%1».")
                                           .arg(commandLine.Server)));
                return kExitUsage;
            }
        }
    }

    QApplication app(argc, argv);
    SetUpApplication();
    InstallTranslations(language);
    TWidgetPrompts prompts;
    SetPrompts(&prompts);
    int result = 0;
    {
        TMainForm mainForm;
        mainForm.show();
        if (!commandLine.Server.isEmpty())
            mainForm.ServerPanel->ConnectEntry(commandLine.Server);
        if (!commandLine.Recording.isEmpty())
            mainForm.Replay->Open(commandLine.Recording);
        result = QApplication::exec();
    }
    // A recorder the window stopped may still be writing its last snapshot; it gets a
    // moment, not the time a server that stopped answering would take.
    TBackgroundRecorder::WaitForAllStopped(1000);
    SetPrompts(nullptr);
    return result;
}
