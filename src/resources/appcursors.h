#pragma once
// The splitter's two cursors: 32 × 32 monochrome, a filled triangle with a dot behind
// it, pointing to where the server panel will go.

#include <QCursor>

QCursor ArrowLeftCursor();  // panel open: hot spot on the dot, (21, 14)
QCursor ArrowRightCursor(); // panel closed: the mirror image, hot spot (10, 14)
