#include "app/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <span>

namespace {

// Built afresh for every use: the descriptions are translated when they are made.
struct TParser {
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QCoreApplication::translate("CommandLine", "Показать эту справку.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QCoreApplication::translate("CommandLine", "Показать версию.")};
    QCommandLineOption lang{
        QStringLiteral("lang"),
        QCoreApplication::translate("CommandLine",
                                    "Язык интерфейса: ru или en (по умолчанию язык системы)."),
        QStringLiteral("ru|en")};
    QCommandLineOption server{
        QStringLiteral("server"),
        QCoreApplication::translate(
            "CommandLine", "Выбрать сохранённое подключение с этим именем и подключиться."),
        QCoreApplication::translate("CommandLine", "имя")};

    TParser() {
        parser.setApplicationDescription(QCoreApplication::translate(
            "CommandLine", "Dervel показывает, что выполняется на Microsoft SQL Server."));
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({help, version, lang, server});
        parser.addPositionalArgument(
            QCoreApplication::translate("CommandLine", "запись"),
            QCoreApplication::translate("CommandLine",
                                        "Файл записи (.dervelrec), который открыть для просмотра."),
            QCoreApplication::translate("CommandLine", "[запись]"));
    }
};

// Options QApplication and its platform plugins take for themselves (Qt 6: QCoreApplication,
// QGuiApplication, QApplication and xcb), with one dash or two. They are left in the
// program's arguments for QApplication, which is made only after the command line has
// been read (so that --help needs no display); the parser must not see them.
const char* const kQtValueOptions[] = {"platform",
                                       "platformpluginpath",
                                       "platformtheme",
                                       "plugin",
                                       "qwindowgeometry",
                                       "qwindowtitle",
                                       "qwindowicon",
                                       "geometry",
                                       "title",
                                       "icon",
                                       "session",
                                       "style",
                                       "stylesheet",
                                       "display",
                                       "name",
                                       "visual",
                                       "qmljsdebugger"};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "testability", "nograb", "dograb"};
const char* const kQtAttachedOptions[] = {"style=", "stylesheet=", "qmljsdebugger="};

bool isOneOf(QStringView AName, std::span<const char* const> ANames) {
    return std::any_of(ANames.begin(), ANames.end(),
                       [AName](const char* n) { return AName == QLatin1String(n); });
}

} // namespace

QStringList WithoutQtOptions(const QStringList& AArguments) {
    QStringList kept;
    for (qsizetype i = 0; i < AArguments.size(); ++i) {
        const QString& arg = AArguments[i];
        if (i == 0 || !arg.startsWith(u'-') || arg == u"-" || arg == u"--") {
            kept << arg;
            continue;
        }
        const QStringView name = QStringView(arg).mid(arg.startsWith(u"--") ? 2 : 1);
        if (isOneOf(name, kQtValueOptions))
            ++i; // its value too; at the end Qt drops the option alone
        else if (!isOneOf(name, kQtFlagOptions) &&
                 std::none_of(std::begin(kQtAttachedOptions), std::end(kQtAttachedOptions),
                              [name](const char* p) { return name.startsWith(QLatin1String(p)); }))
            kept << arg;
    }
    return kept;
}

TCommandLine ParseCommandLine(const QStringList& AArguments) {
    TParser p;
    TCommandLine result;
    if (!p.parser.parse(WithoutQtOptions(AArguments))) {
        result.Action = TCommandLine::TAction::Error;
        result.Error = p.parser.errorText();
        return result;
    }
    if (p.parser.positionalArguments().size() > 1) {
        result.Action = TCommandLine::TAction::Error;
        result.Error = QCoreApplication::translate("CommandLine", "Лишний аргумент: %1")
                           .arg(p.parser.positionalArguments().at(1));
        return result;
    }
    if (!p.parser.positionalArguments().isEmpty())
        result.Recording = p.parser.positionalArguments().first();
    if (p.parser.isSet(p.help)) {
        result.Action = TCommandLine::TAction::Help;
        return result;
    }
    if (p.parser.isSet(p.version)) {
        result.Action = TCommandLine::TAction::Version;
        return result;
    }
    if (p.parser.isSet(p.lang)) {
        result.Language = ParseLanguage(p.parser.value(p.lang));
        const QString code = p.parser.value(p.lang).toLower();
        if (!result.Language || (code != u"ru" && code != u"en")) {
            result.Action = TCommandLine::TAction::Error;
            result.Error =
                QCoreApplication::translate("CommandLine", "Неизвестный язык: %1 (нужно ru или en)")
                    .arg(p.parser.value(p.lang));
            return result;
        }
    }
    result.Server = p.parser.value(p.server);
    if (p.parser.isSet(p.server) && result.Server.isEmpty()) {
        result.Action = TCommandLine::TAction::Error;
        result.Error =
            QCoreApplication::translate("CommandLine", "Не указано имя подключения для --server");
    } else if (!result.Server.isEmpty() && !result.Recording.isEmpty()) {
        result.Action = TCommandLine::TAction::Error;
        result.Error = QCoreApplication::translate(
            "CommandLine",
            "Запись и --server вместе не указываются: запись открывается вместо сервера.");
    }
    return result;
}

QString CommandLineHelp() {
    TParser p;
    return p.parser.helpText();
}

QString CommandLineVersion() {
    return QStringLiteral("Dervel %1\n").arg(QStringLiteral(DERVEL_VERSION));
}
