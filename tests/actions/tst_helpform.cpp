#include "actions/widgets/helpform.h"

#include <QLabel>
#include <QPointer>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestHelpForm : public QObject {
    Q_OBJECT
private slots:
    void bars_data();
    void bars();
    void closesOnAnyKey_data();
    void closesOnAnyKey();
    void closesOnAClick_data();
    void closesOnAClick();
    void closesWhenAnotherWindowIsActivated();
    void oneAtATime();

private:
    QWidget* mainWindow();
    std::unique_ptr<QWidget> FMain;
};

QWidget* TestHelpForm::mainWindow() {
    if (!FMain) {
        FMain = std::make_unique<QWidget>();
        FMain->setGeometry(100, 100, 800, 600);
        FMain->show();
    }
    return FMain.get();
}

void TestHelpForm::bars_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("text"); // invalid: the system's window-text colour

    QTest::newRow("1") << 0 << u"Running"_s << QColor(0x80, 0xFF, 0x80) << QColor();
    QTest::newRow("2") << 1 << u"Runnable"_s << QColor(0xDC, 0xFF, 0xDC) << QColor();
    QTest::newRow("3") << 2 << u"Blocking"_s << QColor(0xFF, 0x00, 0x00) << QColor();
    QTest::newRow("4") << 3 << u"Blocked"_s << QColor(0xFF, 0xAA, 0xFF) << QColor();
    QTest::newRow("5") << 4 << u"Suspended"_s << QColor(0xE2, 0xC7, 0xC7) << QColor();
    QTest::newRow("6") << 5 << u"Dormant"_s << QColor(0xFF, 0xFF, 0x00) << QColor();
    QTest::newRow("7") << 6 << u"System"_s << QColor(0xFF, 0xFF, 0xF5) << QColor(0x80, 0x80, 0x80);
    QTest::newRow("8") << 7 << u"It's me"_s << QColor(0xFF, 0xFF, 0xF5) << QColor(0x00, 0x00, 0xFF);
}

void TestHelpForm::bars() {
    QFETCH(int, index);
    QFETCH(QString, caption);
    QFETCH(QColor, background);
    QFETCH(QColor, text);

    THelpForm legend(nullptr);
    legend.show();
    QVERIFY(QTest::qWaitForWindowExposed(&legend));
    QCOMPARE(legend.bars().size(), 8);
    // The eight bars, the key hint and the marks of two moments compared below.
    QCOMPARE(legend.size(), QSize(237, 216 + 22 + 22));
    QCOMPARE(legend.findChild<QLabel*>(QStringLiteral("KeyHint"))->text(),
             QStringLiteral("Ctrl+T — дерево блокировок"));
    const QString marks = legend.findChild<QLabel*>(QStringLiteral("ChangeMarks"))->text();
    for (const char* colour : {"#2E7D32", "#C62828", "#1565C0"})
        QVERIFY2(marks.contains(QLatin1String(colour), Qt::CaseInsensitive), qPrintable(marks));
    const QLabel* bar = legend.bars().at(index);
    QCOMPARE(bar->text(), caption);
    QCOMPARE(bar->palette().color(QPalette::Window), background);
    QCOMPARE(bar->palette().color(bar->foregroundRole()),
             text.isValid() ? text : legend.palette().color(QPalette::WindowText));
    QCOMPARE(bar->height(), 27);
    QCOMPARE(bar->y(), 27 * index);
}

void TestHelpForm::closesOnAnyKey_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Esc") << int(Qt::Key_Escape);
    QTest::newRow("F1") << int(Qt::Key_F1);
    QTest::newRow("a letter") << int(Qt::Key_A);
    QTest::newRow("Shift alone") << int(Qt::Key_Shift);
    QTest::newRow("Tab") << int(Qt::Key_Tab);
}

void TestHelpForm::closesOnAnyKey() {
    QFETCH(int, key);
    QPointer<THelpForm> legend = ShowColourLegend(mainWindow());
    QVERIFY(QTest::qWaitForWindowExposed(legend));
    QTest::keyClick(legend, Qt::Key(key));
    QTRY_VERIFY(legend.isNull());
}

void TestHelpForm::closesOnAClick_data() {
    QTest::addColumn<int>("bar"); // -1: the window itself
    QTest::newRow("first bar") << 0;
    QTest::newRow("last bar") << 7;
    QTest::newRow("the window") << -1;
}

void TestHelpForm::closesOnAClick() {
    QFETCH(int, bar);
    QPointer<THelpForm> legend = ShowColourLegend(mainWindow());
    QVERIFY(QTest::qWaitForWindowExposed(legend));
    QWidget* target = bar < 0 ? static_cast<QWidget*>(legend) : legend->bars().at(bar);
    QTest::mouseClick(target, Qt::LeftButton);
    QTRY_VERIFY(legend.isNull());
}

void TestHelpForm::closesWhenAnotherWindowIsActivated() {
    QWidget* main = mainWindow();
    QPointer<THelpForm> legend = ShowColourLegend(main);
    QVERIFY(QTest::qWaitForWindowActive(legend));
    QCOMPARE(legend->frameGeometry().center(), main->frameGeometry().center());
    main->activateWindow();
    QTRY_VERIFY(legend.isNull());
}

void TestHelpForm::oneAtATime() {
    QPointer<THelpForm> first = ShowColourLegend(mainWindow());
    QVERIFY(QTest::qWaitForWindowActive(first));
    QPointer<THelpForm> second = ShowColourLegend(mainWindow());
    QVERIFY(QTest::qWaitForWindowActive(second));
    QTRY_VERIFY(first.isNull());
    QVERIFY(!second.isNull());
    second->close();
    QTRY_VERIFY(second.isNull());
}

QTEST_MAIN(TestHelpForm)
#include "tst_helpform.moc"
