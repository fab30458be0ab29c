#include "resources/monitoraction.h"

#include "resources/imagelists.h"

#include <QAction>

QAction* MakeMonitorAction(QObject* AOwner, const char* AName, const QString& ACaption,
                           const QString& AHint, int AImage, const QKeySequence& AShortcut) {
    auto* a = new QAction(ACaption, AOwner);
    a->setObjectName(QLatin1String(AName));
    if (AImage >= 0)
        a->setIcon(MonitorImageList(AImage));
    if (!AHint.isEmpty())
        a->setToolTip(AHint);
    if (!AShortcut.isEmpty()) {
        a->setShortcut(AShortcut);
        a->setShortcutContext(Qt::WindowShortcut);
    }
    return a;
}
