#include "grid/rowcolor.h"
#include "sampling/monitorrec.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestRowColor : public QObject {
    Q_OBJECT
private slots:
    void recColor_data();
    void recColor();
    void rgbText_data();
    void rgbText();
    void textColor_data();
    void textColor();
};

void TestRowColor::recColor_data() {
    QTest::addColumn<bool>("blocked");
    QTest::addColumn<int>("blocking");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("expected"); // #RRGGBB, empty for no colour

    QTest::newRow("blocks others") << true << 0 << u"sleeping"_s << u"#FF0000"_s;
    QTest::newRow("blocks and is blocked") << true << 12 << u"suspended"_s << u"#FF0000"_s;
    QTest::newRow("blocked") << false << 12 << u"suspended"_s << u"#FFAAFF"_s;
    QTest::newRow("blocked whatever the status") << false << 3 << u"running"_s << u"#FFAAFF"_s;
    QTest::newRow("running") << false << 0 << u"running"_s << u"#80FF80"_s;
    QTest::newRow("runnable") << false << 0 << u"runnable"_s << u"#DCFFDC"_s;
    QTest::newRow("suspended") << false << 0 << u"suspended"_s << u"#E2C7C7"_s;
    QTest::newRow("dormant") << false << 0 << u"dormant"_s << u"#FFFF00"_s;
    QTest::newRow("sleeping") << false << 0 << u"sleeping"_s << u""_s;
    QTest::newRow("background") << false << 0 << u"background"_s << u""_s;
    QTest::newRow("rollback") << false << 0 << u"rollback"_s << u""_s;
    QTest::newRow("preconnect") << false << 0 << u"preconnect"_s << u""_s;
    QTest::newRow("other letter case") << false << 0 << u"Running"_s << u""_s;
    QTest::newRow("trailing blank") << false << 0 << u"running "_s << u""_s;
    QTest::newRow("empty status") << false << 0 << u""_s << u""_s;
    QTest::newRow("negative blocker counts") << false << -1 << u"sleeping"_s << u"#FFAAFF"_s;
}

void TestRowColor::recColor() {
    QFETCH(bool, blocked);
    QFETCH(int, blocking);
    QFETCH(QString, status);
    QFETCH(QString, expected);

    TMonitorRec r;
    r.Blocked = blocked;
    r.Blocking = blocking;
    r.Status = status;
    const std::uint32_t color = GetRecColor(r);
    QCOMPARE(color == 0 ? QString() : ColorToRgbText(color), expected);
}

void TestRowColor::rgbText_data() {
    QTest::addColumn<uint>("bgr");
    QTest::addColumn<QString>("expected");

    QTest::newRow("red") << 0x000000FFu << u"#FF0000"_s;
    QTest::newRow("blue") << 0x00FF0000u << u"#0000FF"_s;
    QTest::newRow("three distinct bytes") << 0x00123456u << u"#563412"_s;
    QTest::newRow("top byte ignored") << 0xAB010203u << u"#030201"_s;
    QTest::newRow("black") << 0u << u"#000000"_s;
}

void TestRowColor::rgbText() {
    QFETCH(uint, bgr);
    QFETCH(QString, expected);
    QCOMPARE(ColorToRgbText(bgr), expected);
}

void TestRowColor::textColor_data() {
    QTest::addColumn<uint>("color");
    QTest::addColumn<bool>("selfID");
    QTest::addColumn<bool>("isUser");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<QString>("expected"); // empty: the grid's own colour

    // Focused (selected) row: the row colour first, then own session, then system.
    QTest::newRow("focused, suspended system session")
        << uint(RowColorSuspended) << false << false << true << u"#E2C7C7"_s;
    QTest::newRow("focused, running own session")
        << uint(RowColorRunning) << true << true << true << u"#80FF80"_s;
    QTest::newRow("focused, own session without colour")
        << 0u << true << true << true << u"#00FFFF"_s;
    QTest::newRow("focused, own system session without colour")
        << 0u << true << false << true << u"#00FFFF"_s;
    QTest::newRow("focused, system session without colour")
        << 0u << false << false << true << u"#C0C0C0"_s;
    QTest::newRow("focused, user session without colour") << 0u << false << true << true << u""_s;
    QTest::newRow("focused, blocking user session")
        << uint(RowColorBlocking) << false << true << true << u"#FF0000"_s;

    // Other rows: the row colour never shows in the text.
    QTest::newRow("other, suspended system session")
        << uint(RowColorSuspended) << false << false << false << u"#808080"_s;
    QTest::newRow("other, sleeping own session") << 0u << true << true << false << u"#0000FF"_s;
    QTest::newRow("other, running own session")
        << uint(RowColorRunning) << true << true << false << u"#0000FF"_s;
    QTest::newRow("other, own system session") << 0u << true << false << false << u"#0000FF"_s;
    QTest::newRow("other, system session") << 0u << false << false << false << u"#808080"_s;
    QTest::newRow("other, user session") << 0u << false << true << false << u""_s;
    QTest::newRow("other, blocked user session")
        << uint(RowColorBlocked) << false << true << false << u""_s;
}

void TestRowColor::textColor() {
    QFETCH(uint, color);
    QFETCH(bool, selfID);
    QFETCH(bool, isUser);
    QFETCH(bool, focused);
    QFETCH(QString, expected);
    QCOMPARE(RowTextColor(color, selfID, isUser, focused), expected);
}

QTEST_APPLESS_MAIN(TestRowColor)
#include "tst_rowcolor.moc"
