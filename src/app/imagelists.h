#pragma once
// The app's pictures by the index the command tables give them.

#include <QCursor>
#include <QIcon>

QIcon MainImageList(int index);    // server panel
QIcon MonitorImageList(int index); // session tool bar and grid
QIcon SelColImageList(int index);  // column chooser
QCursor ArrowLeftCursor();
QCursor ArrowRightCursor();
