// Where a dragged server row lands.

#include "servers/serverdrop.h"

#include <QTest>

Q_DECLARE_METATYPE(TDropPosition)

class TestServerDrop : public QObject {
    Q_OBJECT
private slots:
    void position_data();
    void position();
    void targetRow_data();
    void targetRow();
};

void TestServerDrop::position_data() {
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<TDropPosition>("expected");
    // A row at y 22..43, x 0..162, whose image and text end at x 80.
    QTest::newRow("over the image") << QPoint(8, 25) << TDropPosition::On;
    QTest::newRow("over the text, lower half") << QPoint(80, 40) << TDropPosition::On;
    QTest::newRow("right of the text, upper half") << QPoint(120, 30) << TDropPosition::Above;
    QTest::newRow("right of the text, lower half") << QPoint(120, 33) << TDropPosition::Below;
    QTest::newRow("outside the row") << QPoint(120, 50) << TDropPosition::Nowhere;
}

void TestServerDrop::position() {
    QFETCH(QPoint, pointer);
    QFETCH(TDropPosition, expected);
    QCOMPARE(ServerDropPosition(QRect(0, 22, 163, 22), 80, pointer), expected);
    QCOMPARE(ServerDropPosition(QRect(), 80, pointer), TDropPosition::Nowhere);
}

void TestServerDrop::targetRow_data() {
    QTest::addColumn<int>("dragged");
    QTest::addColumn<int>("target");
    QTest::addColumn<TDropPosition>("position");
    QTest::addColumn<int>("expected");
    QTest::newRow("above the first row makes it the first") << 2 << 0 << TDropPosition::Above << 0;
    QTest::newRow("on the last row makes it the last") << 0 << 3 << TDropPosition::On << 3;
    QTest::newRow("below a row before it") << 3 << 0 << TDropPosition::Below << 1;
    QTest::newRow("above the next row is no move") << 1 << 2 << TDropPosition::Above << -1;
    QTest::newRow("onto itself is refused") << 1 << 1 << TDropPosition::On << -1;
    QTest::newRow("nowhere does nothing") << 1 << 3 << TDropPosition::Nowhere << -1;
}

void TestServerDrop::targetRow() {
    QFETCH(int, dragged);
    QFETCH(int, target);
    QFETCH(TDropPosition, position);
    QFETCH(int, expected);
    QCOMPARE(ServerDropTargetRow(dragged, target, position), expected);
}

QTEST_APPLESS_MAIN(TestServerDrop)
#include "tst_serverdrop.moc"
