#include "resources/appcursors.h"

#include "resources/imagelists.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QPixmap>

namespace {

constexpr int kCursorSize = 32;
constexpr QPoint kLeftHotSpot(21, 14);

// The drawing is black with a white rim: opaque pixels go into the mask, dark ones
// into the bitmap.
QCursor cursorFrom(const QImage& picture, QPoint hotSpot) {
    QImage bits(picture.size(), QImage::Format_RGB32);
    QImage mask(picture.size(), QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            const bool opaque = qAlpha(p) >= 128;
            const bool dark = opaque && qGray(p) < 128;
            bits.setPixel(x, y, dark ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
            mask.setPixel(x, y, opaque ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    return QCursor(QBitmap::fromImage(bits, Qt::MonoOnly | Qt::ThresholdDither),
                   QBitmap::fromImage(mask, Qt::MonoOnly | Qt::ThresholdDither), hotSpot.x(),
                   hotSpot.y());
}

QImage leftPicture(int size) {
    // Straight alpha, so the colour test above sees the drawn colours.
    return RenderSvgImage(QStringLiteral(":/images/arrow-left-cursor.svg"), QSize(size, size))
        .convertToFormat(QImage::Format_ARGB32);
}

// On a scaled screen a two-colour bitmap would show at its 32 device pixels, half the size
// of everything around it: there the cursor is a picture drawn for the screen's pixels,
// with the same hot spot in the window's own coordinates.
QCursor cursorFor(bool mirrored) {
    const QPoint hotSpot =
        mirrored ? QPoint(kCursorSize - 1 - kLeftHotSpot.x(), kLeftHotSpot.y()) : kLeftHotSpot;
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    if (ratio <= 1.0)
        return cursorFrom(leftPicture(kCursorSize).mirrored(mirrored, false), hotSpot);
    QPixmap picture =
        QPixmap::fromImage(leftPicture(qRound(kCursorSize * ratio)).mirrored(mirrored, false));
    picture.setDevicePixelRatio(ratio);
    return QCursor(picture, hotSpot.x(), hotSpot.y());
}

} // namespace

QCursor ArrowLeftCursor() {
    return cursorFor(false);
}

QCursor ArrowRightCursor() {
    return cursorFor(true);
}
