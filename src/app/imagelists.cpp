#include "app/imagelists.h"

// Drawn pictures replace these plain ones.
QIcon MainImageList(int) {
    return {};
}
QIcon MonitorImageList(int) {
    return {};
}
QIcon SelColImageList(int) {
    return {};
}
QCursor ArrowLeftCursor() {
    return QCursor(Qt::SizeHorCursor);
}
QCursor ArrowRightCursor() {
    return QCursor(Qt::SizeHorCursor);
}
