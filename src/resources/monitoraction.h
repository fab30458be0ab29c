#pragma once
// A command of the session tool bar, its menus and keys, as every part of the window makes
// them: a caption, a tooltip, a picture of the session image list and a shortcut that
// holds anywhere in the window.

#include <QKeySequence>
#include <QString>

class QAction;
class QObject;

// AImage: an index of MonitorImageList, or -1 for none.
QAction* MakeMonitorAction(QObject* AOwner, const char* AName, const QString& ACaption,
                           const QString& AHint, int AImage, const QKeySequence& AShortcut = {});
