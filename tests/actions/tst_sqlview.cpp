#include "actions/widgets/sqllexer.h"
#include "actions/widgets/sqlview.h"

#include <QKeyEvent>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// Stands for the window around the text area: records the keys that reach it.
class TKeyCatcher : public QWidget {
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* e) override { keys.append(e->key()); }
};

int lineTop(TSqlView& view, int line) {
    const long pos = view.positionFromLineIndex(line - 1, 0);
    return int(view.SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0UL, pos));
}

int lineHeight(TSqlView& view) {
    return int(view.SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0UL));
}

bool hasPixel(const QImage& image, const QRect& area, const QColor& color) {
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (image.pixelColor(x, y) == color)
                return true;
    return false;
}

} // namespace

class TestSqlView : public QObject {
    Q_OBJECT
private slots:
    void markedLines_data();
    void markedLines();
    void statementLineWithContextAbove_data();
    void statementLineWithContextAbove();
    void markedLinesKeepTheirColours();
    void lineNumbersAtLeastThreeDigits();
    void windowKeysGoToTheParent_data();
    void windowKeysGoToTheParent();
    void readOnlyToTheUser();
};

void TestSqlView::markedLines_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QList<int>>("marked");

    QTest::newRow("none") << 0 << 0 << QList<int>{};
    QTest::newRow("one line") << 3 << 3 << QList<int>{3};
    QTest::newRow("a range") << 2 << 4 << QList<int>{2, 3, 4};
    QTest::newRow("running past the end") << 4 << 6 << QList<int>{4, 5};
}

void TestSqlView::markedLines() {
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QList<int>, marked);

    TSqlView view;
    view.setSqlText(u"a\r\nb\r\nc\r\nd\r\ne"_s);
    view.setMarkedLines(1, 5); // what a reload must clear first
    view.setMarkedLines(first, last);
    QList<int> found;
    for (int line = 1; line <= view.lines(); ++line)
        if (view.isLineMarked(line))
            found.append(line);
    QCOMPARE(found, marked);
}

void TestSqlView::statementLineWithContextAbove_data() {
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("firstVisible");
    QTest::addColumn<bool>("wrapped");
    QTest::newRow("middle") << 120 << 119 << false;
    QTest::newRow("line 1 stays on top") << 1 << 1 << false;
    QTest::newRow("line 2 shows line 1") << 2 << 1 << false;
    // Every line wraps into several display lines; the top line is still a text line.
    QTest::newRow("middle, word wrap") << 120 << 119 << true;
    QTest::newRow("line 2, word wrap") << 2 << 1 << true;
}

void TestSqlView::statementLineWithContextAbove() {
    QFETCH(int, line);
    QFETCH(int, firstVisible);
    QFETCH(bool, wrapped);

    TSqlView view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QStringList text;
    const QString tail =
        wrapped ? u" from t where a = 1 and b = 2 and c = 3"_s.repeated(6) : QString();
    for (int i = 1; i <= 300; ++i)
        text << u"select %1"_s.arg(i) + tail;
    view.setSqlText(text.join(u"\r\n"_s));
    if (wrapped) {
        view.setWrapMode(QsciScintilla::WrapWord);
        // Scintilla wraps while idle; once it has, lines and display lines differ.
        QTRY_VERIFY(view.SendScintilla(QsciScintilla::SCI_VISIBLEFROMDOCLINE, 299UL) > 299 * 2);
    }
    view.showStatementAt(line);
    QCOMPARE(view.caretLineNumber(), line);
    QCOMPARE(view.firstVisibleLineNumber(), firstVisible);
    // What the user sees at the top, independently of the view's own bookkeeping.
    const long top = view.SendScintilla(QsciScintilla::SCI_POSITIONFROMPOINT, 0UL, 2L);
    QCOMPARE(
        view.SendScintilla(QsciScintilla::SCI_LINEFROMPOSITION, static_cast<unsigned long>(top)) +
            1,
        long(firstVisible));
}

void TestSqlView::markedLinesKeepTheirColours() {
    TSqlView view;
    view.resize(500, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setSqlText(u"select 1\r\nselect 2\r\nselect 3"_s);
    view.setMarkedLines(2, 2);
    const QImage image = view.viewport()->grab().toImage();
    const int h = lineHeight(view);
    QVERIFY(h > 0);
    // The blank end of each line shows its background.
    const auto lineEnd = [&](int line) {
        return QRect(view.viewport()->width() - 40, lineTop(view, line), 30, h);
    };
    QVERIFY(hasPixel(image, lineEnd(1), TSqlLexer::background()));
    QVERIFY(!hasPixel(image, lineEnd(1), TSqlView::markedLineColor()));
    QVERIFY(hasPixel(image, lineEnd(2), TSqlView::markedLineColor()));
    QVERIFY(!hasPixel(image, lineEnd(2), TSqlLexer::background()));
    const QRect line2(0, lineTop(view, 2), view.viewport()->width(), h);
    // The keyword keeps its blue and the number its green on the marked line.
    QVERIFY(hasPixel(image, line2, QColor(0x00, 0x00, 0xFF)));
    QVERIFY(hasPixel(image, line2, QColor(0x00, 0x80, 0x00)));
}

void TestSqlView::lineNumbersAtLeastThreeDigits() {
    TSqlView view;
    view.setSqlText(u"select 1"_s);
    const QFontMetrics metrics(TSqlLexer::textFont());
    const int short_ = view.marginWidth(0);
    QVERIFY(short_ >= metrics.horizontalAdvance(u"999"_s));
    QStringList many;
    for (int i = 0; i < 12000; ++i)
        many << u"go"_s;
    view.setSqlText(many.join(u"\r\n"_s));
    QVERIFY(view.marginWidth(0) >= metrics.horizontalAdvance(u"12000"_s));
    QVERIFY(view.marginWidth(0) > short_);
}

void TestSqlView::windowKeysGoToTheParent_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("passedOn");
    QTest::newRow("Enter") << int(Qt::Key_Return) << true;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << true;
    QTest::newRow("Esc") << int(Qt::Key_Escape) << true;
    QTest::newRow("F5") << int(Qt::Key_F5) << true;
    QTest::newRow("Down stays with the text") << int(Qt::Key_Down) << false;
}

void TestSqlView::windowKeysGoToTheParent() {
    QFETCH(int, key);
    QFETCH(bool, passedOn);

    TKeyCatcher window;
    auto* view = new TSqlView(&window);
    view->setSqlText(u"select 1\r\nselect 2"_s);
    QTest::keyClick(view, Qt::Key(key));
    QCOMPARE(window.keys.contains(key), passedOn);
}

void TestSqlView::readOnlyToTheUser() {
    TSqlView view;
    view.setSqlText(u"select 1"_s);
    QTest::keyClicks(&view, u"x"_s);
    QTest::keyClick(&view, Qt::Key_Delete);
    QCOMPARE(view.text(), u"select 1"_s);
    QVERIFY(view.isReadOnly());
}

QTEST_MAIN(TestSqlView)
#include "tst_sqlview.moc"
