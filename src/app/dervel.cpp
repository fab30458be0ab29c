// Dervel: a live monitor of what runs on Microsoft SQL Server.

#include "app/fonts.h"
#include "app/mainform.h"
#include "platform/widgetprompts.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dervel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Dervel"));
    InstallFontSubstitutes();
    TWidgetPrompts prompts;
    SetPrompts(&prompts);
    int result = 0;
    {
        TMainForm mainForm;
        mainForm.show();
        result = QApplication::exec();
    }
    SetPrompts(nullptr);
    return result;
}
