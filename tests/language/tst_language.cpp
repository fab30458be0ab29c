// Choosing the interface language (command line, settings store, locale) and reading the
// command line.

#include "app/commandline.h"
#include "language/language.h"

#include <QMap>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

using TVariables = QMap<QString, QString>;

namespace {

std::function<QString(const char*)> env(const QMap<QString, QString>& values) {
    return [values](const char* name) { return values.value(QString::fromLatin1(name)); };
}

} // namespace

Q_DECLARE_METATYPE(TLanguage)
Q_DECLARE_METATYPE(TCommandLine::TAction)

class TestLanguage : public QObject {
    Q_OBJECT
private slots:
    void localeChoosesTheLanguage_data();
    void localeChoosesTheLanguage();
    void commandLineThenStoreThenLocale();
    void languageCodes_data();
    void languageCodes();
    void commandLine_data();
    void commandLine();
    void qtOptionsAreLeftToQt_data();
    void qtOptionsAreLeftToQt();
};

void TestLanguage::localeChoosesTheLanguage_data() {
    QTest::addColumn<TVariables>("variables");
    QTest::addColumn<TLanguage>("language");
    using M = TVariables;
    QTest::newRow("nothing set") << M{} << TLanguage::English;
    QTest::newRow("LANG Russian") << M{{u"LANG"_s, u"ru_RU.UTF-8"_s}} << TLanguage::Russian;
    QTest::newRow("LANG English") << M{{u"LANG"_s, u"en_GB.UTF-8"_s}} << TLanguage::English;
    QTest::newRow("LANG German: English") << M{{u"LANG"_s, u"de_DE.UTF-8"_s}} << TLanguage::English;
    QTest::newRow("C") << M{{u"LANG"_s, u"C.UTF-8"_s}} << TLanguage::English;
    QTest::newRow("LC_MESSAGES before LANG")
        << M{{u"LANG"_s, u"en_US.UTF-8"_s}, {u"LC_MESSAGES"_s, u"ru_RU.UTF-8"_s}}
        << TLanguage::Russian;
    QTest::newRow("LC_ALL before both") << M{{u"LANG"_s, u"ru_RU.UTF-8"_s},
                                             {u"LC_MESSAGES"_s, u"ru_RU.UTF-8"_s},
                                             {u"LC_ALL"_s, u"en_US.UTF-8"_s}}
                                        << TLanguage::English;
    QTest::newRow("LANGUAGE list, first of ours wins")
        << M{{u"LANG"_s, u"de_DE.UTF-8"_s}, {u"LANGUAGE"_s, u"de:ru:en"_s}} << TLanguage::Russian;
    QTest::newRow("LANGUAGE over LANG")
        << M{{u"LANG"_s, u"ru_RU.UTF-8"_s}, {u"LANGUAGE"_s, u"en_US"_s}} << TLanguage::English;
    QTest::newRow("LANGUAGE ignored under C")
        << M{{u"LANG"_s, u"C"_s}, {u"LANGUAGE"_s, u"ru"_s}} << TLanguage::English;
    QTest::newRow("LANGUAGE without ours: the locale's")
        << M{{u"LANG"_s, u"ru_UA.UTF-8"_s}, {u"LANGUAGE"_s, u"uk:de"_s}} << TLanguage::Russian;
    QTest::newRow("modifier and codeset")
        << M{{u"LANG"_s, u"ru_RU.KOI8-R@euro"_s}} << TLanguage::Russian;
}

void TestLanguage::localeChoosesTheLanguage() {
    QFETCH(TVariables, variables);
    QFETCH(TLanguage, language);
    QCOMPARE(LanguageFromEnvironment(env(variables)), language);
}

void TestLanguage::commandLineThenStoreThenLocale() {
    const auto russian = env({{u"LANG"_s, u"ru_RU.UTF-8"_s}});
    QCOMPARE(ChooseLanguage(TLanguage::English, TLanguage::Russian, russian), TLanguage::English);
    QCOMPARE(ChooseLanguage(std::nullopt, TLanguage::English, russian), TLanguage::English);
    QCOMPARE(ChooseLanguage(std::nullopt, std::nullopt, russian), TLanguage::Russian);
}

void TestLanguage::languageCodes_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("language"); // -1: not ours
    QTest::newRow("ru") << u"ru"_s << int(TLanguage::Russian);
    QTest::newRow("EN") << u"EN"_s << int(TLanguage::English);
    QTest::newRow("en-GB") << u"en-GB"_s << int(TLanguage::English);
    QTest::newRow("fr") << u"fr"_s << -1;
    QTest::newRow("empty") << QString() << -1;
}

void TestLanguage::languageCodes() {
    QFETCH(QString, code);
    QFETCH(int, language);
    const std::optional<TLanguage> parsed = ParseLanguage(code);
    QCOMPARE(parsed ? int(*parsed) : -1, language);
    if (parsed)
        QCOMPARE(ParseLanguage(LanguageCode(*parsed)), parsed);
}

void TestLanguage::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<TCommandLine::TAction>("action");
    QTest::addColumn<int>("language"); // -1: none given
    QTest::addColumn<QString>("server");
    using A = TCommandLine::TAction;
    const QString p = u"dervel"_s;
    QTest::newRow("nothing") << QStringList{p} << A::Run << -1 << QString();
    QTest::newRow("--help") << QStringList{p, u"--help"_s} << A::Help << -1 << QString();
    QTest::newRow("-h") << QStringList{p, u"-h"_s} << A::Help << -1 << QString();
    QTest::newRow("--version") << QStringList{p, u"--version"_s} << A::Version << -1 << QString();
    QTest::newRow("--lang en") << QStringList{p, u"--lang"_s, u"en"_s} << A::Run
                               << int(TLanguage::English) << QString();
    QTest::newRow("--lang=ru") << QStringList{p, u"--lang=ru"_s} << A::Run
                               << int(TLanguage::Russian) << QString();
    QTest::newRow("--lang fr") << QStringList{p, u"--lang"_s, u"fr"_s} << A::Error << -1
                               << QString();
    QTest::newRow("--lang en_GB is not a choice")
        << QStringList{p, u"--lang"_s, u"en_GB"_s} << A::Error << -1 << QString();
    QTest::newRow("--lang without a value")
        << QStringList{p, u"--lang"_s} << A::Error << -1 << QString();
    QTest::newRow("--server") << QStringList{p, u"--server"_s, u"Demo"_s} << A::Run << -1
                              << u"Demo"_s;
    QTest::newRow("--server with a blank")
        << QStringList{p, u"--server=Прод 1"_s} << A::Run << -1 << u"Прод 1"_s;
    QTest::newRow("--server empty")
        << QStringList{p, u"--server="_s} << A::Error << -1 << QString();
    QTest::newRow("unknown option")
        << QStringList{p, u"--frobnicate"_s} << A::Error << -1 << QString();
    QTest::newRow("a recording to open")
        << QStringList{p, u"night.dervelrec"_s} << A::Run << -1 << QString();
    QTest::newRow("two recordings")
        << QStringList{p, u"a.dervelrec"_s, u"b.dervelrec"_s} << A::Error << -1 << QString();
    QTest::newRow("a recording and --server")
        << QStringList{p, u"--server=Demo"_s, u"a.dervelrec"_s} << A::Error << -1 << QString();
}

void TestLanguage::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(TCommandLine::TAction, action);
    QFETCH(int, language);
    QFETCH(QString, server);
    const TCommandLine parsed = ParseCommandLine(arguments);
    QCOMPARE(parsed.Action, action);
    QCOMPARE(parsed.Error.isEmpty(), action != TCommandLine::TAction::Error);
    if (action != TCommandLine::TAction::Error) {
        QCOMPARE(parsed.Language ? int(*parsed.Language) : -1, language);
        QCOMPARE(parsed.Server, server);
        QCOMPARE(parsed.Recording, arguments.size() == 2 && arguments[1].endsWith(u".dervelrec")
                                       ? arguments[1]
                                       : QString());
    }
}

// Qt's own options (session managers restart programs with -session) are QApplication's,
// with their values: never refused, never read as ours or as a recording to open.
void TestLanguage::qtOptionsAreLeftToQt_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("recording");
    QTest::addColumn<int>("language"); // -1: none given
    const QString p = u"dervel"_s;
    QTest::newRow("-platform") << QStringList{p, u"-platform"_s, u"offscreen"_s} << QString() << -1;
    QTest::newRow("-session, as a session manager restarts")
        << QStringList{p, u"-session"_s, u"10d1f7e3a4000171_1700000000"_s} << QString() << -1;
    QTest::newRow("--style=, -reverse")
        << QStringList{p, u"--style=Fusion"_s, u"-reverse"_s} << QString() << -1;
    QTest::newRow("-display and -name of xcb")
        << QStringList{p, u"-display"_s, u":1"_s, u"-name"_s, u"dervel"_s} << QString() << -1;
    QTest::newRow("-stylesheet, then a recording")
        << QStringList{p, u"-stylesheet"_s, u"my.qss"_s, u"night.dervelrec"_s}
        << u"night.dervelrec"_s << -1;
    QTest::newRow("between ours")
        << QStringList{p,       u"--platform"_s,       u"xcb"_s,         u"--lang"_s,
                       u"en"_s, u"-qwindowgeometry"_s, u"800x600+0+0"_s, u"-widgetcount"_s}
        << QString() << int(TLanguage::English);
    QTest::newRow("a value that looks like an option of ours is Qt's")
        << QStringList{p, u"-qwindowtitle"_s, u"--help"_s} << QString() << -1;
    QTest::newRow("-qmljsdebugger=")
        << QStringList{p, u"-qmljsdebugger=port:1234,block"_s} << QString() << -1;
}

void TestLanguage::qtOptionsAreLeftToQt() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, recording);
    QFETCH(int, language);
    const TCommandLine parsed = ParseCommandLine(arguments);
    QVERIFY2(parsed.Action == TCommandLine::TAction::Run, qPrintable(parsed.Error));
    QCOMPARE(parsed.Recording, recording);
    QCOMPARE(parsed.Language ? int(*parsed.Language) : -1, language);
}

QTEST_GUILESS_MAIN(TestLanguage)
#include "tst_language.moc"
