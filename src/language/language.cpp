#include "language/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QStringList>
#include <QTranslator>

// Outside any namespace: the resource of a static library has to be pulled in by hand.
static void initTranslationsResource() {
    static const bool done = [] {
        Q_INIT_RESOURCE(translations);
        return true;
    }();
    (void)done;
}

namespace {

// The language part of a locale name: "ru" of "ru_RU.UTF-8@euro".
QString languagePart(const QString& ALocale) {
    QString name = ALocale.section(u'.', 0, 0).section(u'@', 0, 0);
    return name.section(u'_', 0, 0).section(u'-', 0, 0).toLower();
}

QPointer<QTranslator> ours;
QPointer<QTranslator> qts;

void removeInstalled() {
    for (QPointer<QTranslator>* t : {&ours, &qts}) {
        if (*t) {
            QCoreApplication::removeTranslator(*t);
            delete t->data();
        }
    }
}

} // namespace

std::optional<TLanguage> ParseLanguage(const QString& ACode) {
    const QString language = languagePart(ACode);
    if (language == u"ru")
        return TLanguage::Russian;
    if (language == u"en")
        return TLanguage::English;
    return std::nullopt;
}

QString LanguageCode(TLanguage ALanguage) {
    return ALanguage == TLanguage::Russian ? QStringLiteral("ru") : QStringLiteral("en");
}

TLanguage LanguageFromEnvironment(const std::function<QString(const char*)>& AGetEnv) {
    QString messages;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        messages = AGetEnv(name);
        if (!messages.isEmpty())
            break;
    }
    const QString own = languagePart(messages);
    if (own.isEmpty() || own == u"c" || own == u"posix")
        return TLanguage::English;
    for (const QString& entry : AGetEnv("LANGUAGE").split(u':', Qt::SkipEmptyParts))
        if (const std::optional<TLanguage> language = ParseLanguage(entry))
            return *language;
    return own == u"ru" ? TLanguage::Russian : TLanguage::English;
}

TLanguage ChooseLanguage(std::optional<TLanguage> ACommandLine, std::optional<TLanguage> AStored,
                         const std::function<QString(const char*)>& AGetEnv) {
    if (ACommandLine)
        return *ACommandLine;
    if (AStored)
        return *AStored;
    return LanguageFromEnvironment(AGetEnv);
}

bool InstallTranslations(TLanguage ALanguage) {
    initTranslationsResource();
    removeInstalled();
    QCoreApplication* app = QCoreApplication::instance();
    bool loaded = true;
    if (ALanguage == TLanguage::English) {
        ours = new QTranslator(app);
        loaded = ours->load(QStringLiteral(":/translations/dervel_en.qm"));
        QCoreApplication::installTranslator(ours);
        return loaded; // Qt's own texts are English already
    }
    // Our texts are Russian as written; Qt's standard buttons and dialogs are not.
    qts = new QTranslator(app);
    loaded =
        qts->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    QCoreApplication::installTranslator(qts);
    return loaded;
}
