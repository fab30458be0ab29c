#pragma once
// Where a dragged server row lands, from where the pointer is over the target row.

#include <QPoint>
#include <QRect>

enum class TDropPosition { Nowhere, Above, On, Below };

// rowRect: the target row (null when the pointer is over no row); contentRight: the x
// where the row's image and text end. Over the image or the text the drop is on the
// row; over the rest, the upper half means above it, the lower half below it.
TDropPosition ServerDropPosition(const QRect& rowRect, int contentRight, const QPoint& pointer);

// The row the dragged row stands at after the drop, or -1 for no move.
int ServerDropTargetRow(int dragged, int target, TDropPosition position);
