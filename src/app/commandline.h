#pragma once
// The program's command line: what to do at start, read before any window exists so
// that --help and --version work without a display.

#include "language/language.h"

#include <QString>
#include <QStringList>
#include <optional>

struct TCommandLine {
    enum class TAction { Run, Help, Version, Error };
    TAction Action = TAction::Run;
    QString Error;                     // for Error: what was wrong, one line
    std::optional<TLanguage> Language; // --lang
    QString Server;                    // --server: the entry to focus and connect at start
    QString Recording;                 // a recording to show at start, instead of a server
};

// The arguments as QCoreApplication::arguments() gives them, the program's name first.
// Qt's own options (-platform, -style, -session, -display and the rest QApplication takes)
// are left to QApplication.
TCommandLine ParseCommandLine(const QStringList& AArguments);

// The arguments without Qt's own options and their values.
QStringList WithoutQtOptions(const QStringList& AArguments);

// The texts printed for --help and --version, in the language installed.
QString CommandLineHelp();
QString CommandLineVersion();

// Exit statuses: 0 after --help and --version, 2 for a command line that cannot be used.
inline constexpr int kExitUsage = 2;
