// The image lists and cursors that the tool bars, panels and splitter refer to by
// index: every index in place, the right picture behind the indices whose colour
// carries meaning, and the cursors' hot spots.

#include "resources/appcursors.h"
#include "resources/imagelists.h"

#include <QBitmap>
#include <QDirIterator>
#include <QSvgRenderer>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

using TImageList = QIcon (*)(int);

enum class TTint { None, Red, Green, Blue };

QImage imageOf(TImageList list, int index) {
    return list(index).pixmap(kImageListSize).toImage().convertToFormat(QImage::Format_ARGB32);
}

int opaquePixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) >= 128;
    return n;
}

// The colour that dominates the opaque pixels of a picture.
TTint tintOf(const QImage& image) {
    qint64 r = 0, g = 0, b = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) < 128)
                continue;
            r += qRed(p);
            g += qGreen(p);
            b += qBlue(p);
        }
    auto clearly = [](qint64 a, qint64 x, qint64 y) { return a > x * 5 / 4 && a > y * 5 / 4; };
    if (clearly(r, g, b))
        return TTint::Red;
    if (clearly(g, r, b))
        return TTint::Green;
    if (clearly(b, r, g))
        return TTint::Blue;
    return TTint::None;
}

QImage maskOf(const QCursor& cursor) {
    return cursor.mask().toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage bitsOf(const QCursor& cursor) {
    return cursor.bitmap().toImage().convertToFormat(QImage::Format_ARGB32);
}

bool black(const QImage& image, int x, int y) {
    return qGray(image.pixel(x, y)) < 128;
}

} // namespace

Q_DECLARE_METATYPE(TImageList)
Q_DECLARE_METATYPE(TTint)

class TestImages : public QObject {
    Q_OBJECT
private slots:
    void everySvgIsValid();
    void lists_data();
    void lists();
    void tints_data();
    void tints();
    void applicationIcon();
    void cursors();
    void cursorsFollowTheScreensScale();
};

void TestImages::everySvgIsValid() {
    int count = 0;
    // Rendering once loads the resource.
    QVERIFY(!RenderSvgImage(u":/images/tick.svg"_s, QSize(16, 16)).isNull());
    for (QDirIterator it(u":/images"_s, {u"*.svg"_s}); it.hasNext(); ++count) {
        const QString path = it.next();
        QVERIFY2(QSvgRenderer(path).isValid(), qPrintable(path));
    }
    QVERIFY(count >= 27);
}

void TestImages::lists_data() {
    QTest::addColumn<TImageList>("list");
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("transparent");
    QTest::addColumn<QList<int>>("shared"); // indices that may show the same picture

    QTest::newRow("main") << &MainImageList << MainImageCount() << QList<int>{} << QList<int>{4, 5};
    QTest::newRow("monitor") << &MonitorImageList << MonitorImageCount() << QList<int>{5}
                             << QList<int>{};
    QTest::newRow("column chooser")
        << &SelColImageList << SelColImageCount() << QList<int>{} << QList<int>{};
}

void TestImages::lists() {
    QFETCH(TImageList, list);
    QFETCH(int, count);
    QFETCH(QList<int>, transparent);
    QFETCH(QList<int>, shared);

    const QMap<TImageList, int> least{
        {&MainImageList, 10}, {&MonitorImageList, 16}, {&SelColImageList, 5}};
    QVERIFY(count >= least.value(list));
    QVERIFY(list(-1).isNull());
    QVERIFY(list(count).isNull());

    QList<QImage> images;
    for (int i = 0; i < count; ++i) {
        const QIcon icon = list(i);
        QVERIFY2(!icon.isNull(), qPrintable(QString::number(i)));
        const QPixmap pixmap = icon.pixmap(kImageListSize);
        QCOMPARE(pixmap.size(), QSize(16, 16));
        const QImage image = imageOf(list, i);
        if (transparent.contains(i))
            QCOMPARE(opaquePixels(image), 0);
        else
            QVERIFY2(opaquePixels(image) >= 12, qPrintable(QString::number(i)));
        images << image;
    }
    // No two indices show the same picture, unless they are meant to.
    for (int i = 0; i < count; ++i)
        for (int j = i + 1; j < count; ++j)
            if (!transparent.contains(i) && !(shared.contains(i) && shared.contains(j)))
                QVERIFY2(images[i] != images[j], qPrintable(u"%1 and %2"_s.arg(i).arg(j)));
}

void TestImages::tints_data() {
    QTest::addColumn<TImageList>("list");
    QTest::addColumn<int>("index");
    QTest::addColumn<TTint>("tint");

    QTest::newRow("main 0: blue ball, disconnected") << &MainImageList << 0 << TTint::Blue;
    QTest::newRow("main 1: green ball, connected") << &MainImageList << 1 << TTint::Green;
    QTest::newRow("main 2: red ball, error") << &MainImageList << 2 << TTint::Red;
    QTest::newRow("monitor 0: refresh") << &MonitorImageList << 0 << TTint::Green;
    QTest::newRow("monitor 2: red cross") << &MonitorImageList << 2 << TTint::Red;
    QTest::newRow("monitor 6: pause") << &MonitorImageList << 6 << TTint::Blue;
    QTest::newRow("monitor 9: record") << &MonitorImageList << 9 << TTint::Red;
    QTest::newRow("monitor 13: help") << &MonitorImageList << 13 << TTint::Blue;
    QTest::newRow("monitor 14: chevron") << &MonitorImageList << 14 << TTint::None;
    QTest::newRow("monitor 15: green tick") << &MonitorImageList << 15 << TTint::Green;
    QTest::newRow("chooser 2: accept") << &SelColImageList << 2 << TTint::Green;
    QTest::newRow("chooser 3: cancel") << &SelColImageList << 3 << TTint::Red;
    QTest::newRow("chooser 4: defaults") << &SelColImageList << 4 << TTint::Blue;
}

void TestImages::tints() {
    QFETCH(TImageList, list);
    QFETCH(int, index);
    QFETCH(TTint, tint);
    QCOMPARE(tintOf(imageOf(list, index)), tint);
}

void TestImages::applicationIcon() {
    const QIcon icon = ApplicationIcon();
    QVERIFY(!icon.isNull());
    for (int size : {16, 48, 256}) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(size, size));
        // Drawn to scale: about half of the square is covered at every size.
        const double cover = double(opaquePixels(image)) / (size * size);
        QVERIFY2(cover > 0.4 && cover < 0.95, qPrintable(QString::number(cover)));
    }
}

void TestImages::cursors() {
    if (qApp->devicePixelRatio() > 1.0)
        QSKIP("two-colour cursors are made for an unscaled screen");
    const QCursor left = ArrowLeftCursor();
    const QCursor right = ArrowRightCursor();
    QCOMPARE(left.shape(), Qt::BitmapCursor);
    QCOMPARE(left.hotSpot(), QPoint(21, 14));
    QCOMPARE(right.hotSpot(), QPoint(10, 14));

    const QImage bits = bitsOf(left);
    const QImage mask = maskOf(left);
    QCOMPARE(bits.size(), QSize(32, 32));
    QCOMPARE(mask.size(), QSize(32, 32));
    // The dot under the hot spot, the triangle's point on the left, nothing at the right.
    QVERIFY(black(mask, 21, 14) && black(bits, 21, 14));
    QVERIFY(black(mask, 7, 14) && black(bits, 7, 14));
    QVERIFY(black(mask, 15, 7) && black(bits, 15, 7)); // upper part of the broad side
    QVERIFY(!black(mask, 28, 14));
    QVERIFY(!black(mask, 2, 2));
    // Between triangle and dot a white rim or a gap, never black.
    QVERIFY(!black(bits, 18, 14));

    QCOMPARE(bitsOf(right), bits.mirrored(true, false));
    QCOMPARE(maskOf(right), mask.mirrored(true, false));
}

// Run again with QT_SCALE_FACTOR=2: the cursors are drawn for the screen's pixels, twice as
// many, with the same picture and hot spot.
void TestImages::cursorsFollowTheScreensScale() {
    const qreal ratio = qApp->devicePixelRatio();
    if (ratio <= 1.0)
        QSKIP("an unscaled screen");
    const QCursor left = ArrowLeftCursor();
    const QCursor right = ArrowRightCursor();
    QCOMPARE(left.shape(), Qt::BitmapCursor);
    QCOMPARE(left.hotSpot(), QPoint(21, 14));
    QCOMPARE(right.hotSpot(), QPoint(10, 14));
    const QPixmap picture = left.pixmap();
    QCOMPARE(picture.devicePixelRatio(), ratio);
    QCOMPARE(picture.size(), QSize(qRound(32 * ratio), qRound(32 * ratio)));
    const QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    const auto at = [&](int x, int y) { return image.pixel(qRound(x * ratio), qRound(y * ratio)); };
    QVERIFY(qAlpha(at(21, 14)) >= 128 && qGray(at(21, 14)) < 128); // the dot under the hot spot
    QVERIFY(qAlpha(at(7, 14)) >= 128 && qGray(at(7, 14)) < 128);   // the triangle's point
    QVERIFY(qAlpha(at(28, 14)) < 128);
    QCOMPARE(right.pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
             image.mirrored(true, false));
}

QTEST_MAIN(TestImages)
#include "tst_images.moc"
