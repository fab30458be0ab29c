// Dervel: a live monitor of what runs on Microsoft SQL Server.

#include "app/application.h"
#include "app/mainform.h"
#include "platform/widgetprompts.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    SetUpApplication();
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
