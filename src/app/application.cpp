#include "app/application.h"

#include "resources/fonts.h"
#include "resources/imagelists.h"

#include <QApplication>

void SetUpApplication() {
    QApplication::setApplicationName(QStringLiteral("Dervel"));
    QApplication::setApplicationVersion(QStringLiteral(DERVEL_VERSION));
    // No display name: Qt would append it to every window's caption ("Kill process —
    // Dervel"), and the captions are the program's own texts.
    QGuiApplication::setDesktopFileName(QStringLiteral("dervel"));
    QApplication::setWindowIcon(ApplicationIcon());
    InstallFontSubstitutes();
}
