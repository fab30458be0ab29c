#include "resources/fonts.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>

void InstallFontSubstitutes() {
    // Wine's Tahoma and MS Sans Serif are not in fontconfig's path: load them directly.
    // MS Sans Serif holds bitmaps for 96 dots per inch only; on a scaled screen its text
    // would be drawn small and spaced out, so there the scalable Tahoma stands in for it.
    const bool scaled = qApp && qApp->devicePixelRatio() > 1.0;
    static const char* const wineFonts[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                            "/usr/share/wine/fonts/tahomabd.ttf",
                                            "/usr/share/wine/fonts/ms_sans_serif.ttf"};
    for (const char* path : wineFonts) {
        if (scaled && QByteArray(path).endsWith("ms_sans_serif.ttf"))
            continue;
        if (QFile::exists(QLatin1String(path)))
            QFontDatabase::addApplicationFont(QLatin1String(path));
    }
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
