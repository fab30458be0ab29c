#include "servers/serverdrop.h"

TDropPosition ServerDropPosition(const QRect& rowRect, int contentRight, const QPoint& pointer) {
    if (rowRect.isNull() || !rowRect.contains(pointer))
        return TDropPosition::Nowhere;
    if (pointer.x() <= contentRight)
        return TDropPosition::On;
    return pointer.y() < rowRect.top() + rowRect.height() / 2 ? TDropPosition::Above
                                                              : TDropPosition::Below;
}

int ServerDropTargetRow(int dragged, int target, TDropPosition position) {
    if (position == TDropPosition::Nowhere || dragged < 0 || target < 0 || dragged == target)
        return -1;
    // Above: before the target; on or below: after it. Removing the dragged row first
    // shifts the rows after it up by one.
    int insertBefore = position == TDropPosition::Above ? target : target + 1;
    if (dragged < insertBefore)
        --insertBefore;
    return insertBefore == dragged ? -1 : insertBefore;
}
