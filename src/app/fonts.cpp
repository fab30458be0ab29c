#include "app/fonts.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>

void InstallFontSubstitutes() {
    // Wine's Tahoma and MS Sans Serif are not in fontconfig's path: load them directly.
    static const char* const wineFonts[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                            "/usr/share/wine/fonts/tahomabd.ttf",
                                            "/usr/share/wine/fonts/ms_sans_serif.ttf"};
    for (const char* path : wineFonts)
        if (QFile::exists(QLatin1String(path)))
            QFontDatabase::addApplicationFont(QLatin1String(path));
    const QStringList families = QFontDatabase::families();
    auto substitute = [&families](const char* wanted, QStringList candidates) {
        if (families.contains(QLatin1String(wanted)))
            return;
        QFont::insertSubstitutions(QLatin1String(wanted), candidates);
    };
    substitute("Tahoma", {QStringLiteral("DejaVu Sans")});
    substitute("MS Sans Serif", {QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
    substitute("Courier New",
               {QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
    substitute("Arial", {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    substitute("Arial Black", {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}
