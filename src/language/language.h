#pragma once
// The language of the user interface. Russian is built in: its texts are the program's
// source texts. English comes from a Qt translation; Qt's own texts (standard buttons)
// come from Qt's translations for the language in use.

#include <QString>
#include <functional>
#include <optional>

enum class TLanguage { Russian, English };

// "ru" or "en" (any letter case, a region allowed: "ru_RU", "en-GB"); nothing else.
std::optional<TLanguage> ParseLanguage(const QString& ACode);
QString LanguageCode(TLanguage ALanguage);

// What the locale's variables ask for, read through AGetEnv as gettext reads them: the
// messages locale is LC_ALL, else LC_MESSAGES, else LANG; under C or POSIX (or none) the
// texts are English and LANGUAGE is not consulted; otherwise the first entry of LANGUAGE
// (a colon list) that names one of the two languages wins, and failing that the messages
// locale's own language: Russian for Russian, English for every other.
TLanguage LanguageFromEnvironment(const std::function<QString(const char*)>& AGetEnv);

// The choice in force: the command line's, else the settings store's, else the locale's.
TLanguage ChooseLanguage(std::optional<TLanguage> ACommandLine, std::optional<TLanguage> AStored,
                         const std::function<QString(const char*)>& AGetEnv);

// Installs the translations of the language on the running application (replacing any
// installed before). False when a translation could not be loaded; the texts then stay
// Russian where it is missing.
bool InstallTranslations(TLanguage ALanguage);
