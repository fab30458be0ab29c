#include "grid/statusbartext.h"
#include "sampling/monitor.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestStatusBarText : public QObject {
    Q_OBJECT
private slots:
    void centeredX_data();
    void centeredX();
    void textPos_data();
    void textPos();
    void mainTextPos();
    void panelRects_data();
    void panelRects();
    void colors();
    void texts();
    void hints_data();
    void hints();
    void sampleStats_data();
    void sampleStats();
    void serverCounts_data();
    void serverCounts();
};

void TestStatusBarText::centeredX_data() {
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("textWidth");
    QTest::addColumn<int>("x");

    QTest::newRow("even gap") << 250 << 50 << 10 << 269;
    QTest::newRow("odd gap truncates") << 250 << 50 << 11 << 268;
    QTest::newRow("gap of 4") << 0 << 50 << 46 << 1;
    QTest::newRow("gap of 3") << 0 << 50 << 47 << 0;
    QTest::newRow("gap of 1") << 0 << 50 << 49 << 0;
    QTest::newRow("exact fit") << 0 << 50 << 50 << 0;
    QTest::newRow("slightly wider text") << 100 << 50 << 53 << 100;
    QTest::newRow("much wider text starts at the left edge") << 100 << 50 << 80 << 100;
    QTest::newRow("empty text") << 400 << 70 << 0 << 434;
}

void TestStatusBarText::centeredX() {
    QFETCH(int, left);
    QFETCH(int, width);
    QFETCH(int, textWidth);
    QFETCH(int, x);
    QCOMPARE(CenteredTextX(left, width, textWidth), x);
}

void TestStatusBarText::textPos_data() {
    QTest::addColumn<int>("panel");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<int>("textWidth");
    QTest::addColumn<QPoint>("pos");

    QTest::newRow("server description, left") << 0 << QRect(0, 2, 250, 17) << 120 << QPoint(2, 2);
    QTest::newRow("row count, centred") << 1 << QRect(250, 2, 50, 17) << 20 << QPoint(264, 2);
    QTest::newRow("blocked count, centred") << 2 << QRect(300, 2, 50, 17) << 7 << QPoint(320, 2);
    QTest::newRow("marked count, centred") << 3 << QRect(350, 2, 50, 17) << 14 << QPoint(367, 2);
    QTest::newRow("pause, centred") << 4 << QRect(400, 2, 70, 17) << 40 << QPoint(414, 2);
    QTest::newRow("pause wider than the panel")
        << 4 << QRect(400, 2, 70, 17) << 90 << QPoint(400, 2);
    QTest::newRow("log file, left even when wide")
        << 5 << QRect(470, 2, 50, 17) << 400 << QPoint(472, 2);
}

void TestStatusBarText::textPos() {
    QFETCH(int, panel);
    QFETCH(QRect, rect);
    QFETCH(int, textWidth);
    QFETCH(QPoint, pos);
    QCOMPARE(MonitorPanelTextPos(panel, rect, textWidth), pos);
}

void TestStatusBarText::mainTextPos() {
    QCOMPARE(MainPanelTextPos(QRect(50, 3, 50, 19)), QPoint(70, 4));
}

void TestStatusBarText::panelRects_data() {
    QTest::addColumn<QList<int>>("widths");
    QTest::addColumn<int>("barWidth");
    QTest::addColumn<QList<QRect>>("rects");

    QTest::newRow("session bar, wide")
        << MonitorPanelWidths() << 800
        << QList<QRect>{{0, 0, 250, 19},  {250, 0, 50, 19}, {300, 0, 50, 19},
                        {350, 0, 50, 19}, {400, 0, 70, 19}, {470, 0, 330, 19}};
    QTest::newRow("session bar, narrow")
        << MonitorPanelWidths() << 300
        << QList<QRect>{{0, 0, 250, 19},  {250, 0, 50, 19}, {300, 0, 50, 19},
                        {350, 0, 50, 19}, {400, 0, 70, 19}, {470, 0, 50, 19}};
    QTest::newRow("server bar") << MainPanelWidths() << 200
                                << QList<QRect>{{0, 0, 50, 19}, {50, 0, 50, 19}, {100, 0, 100, 19}};
}

void TestStatusBarText::panelRects() {
    QFETCH(QList<int>, widths);
    QFETCH(int, barWidth);
    QFETCH(QList<QRect>, rects);
    QCOMPARE(PanelRects(widths, barWidth, 19), rects);
}

void TestStatusBarText::colors() {
    QStringList monitor;
    for (int i = 0; i < MonitorPanelCount; ++i)
        monitor << MonitorPanelColor(i);
    QCOMPARE(monitor.join(u' '), u"#008080 #000080 #FF0000 #8080FF #FF00FF #008000"_s);
    QStringList main;
    for (int i = 0; i < MainPanelCount; ++i)
        main << MainPanelColor(i);
    QCOMPARE(main.join(u' '), u"#0000FF #008000 #FF0000"_s);
}

void TestStatusBarText::texts() {
    QCOMPARE(RowCountText(0), u"0"_s);
    QCOMPARE(RowCountText(1234), u"1234"_s);
    QCOMPARE(CountText(0), u""_s);
    QCOMPARE(CountText(3), u"3"_s);
    QCOMPARE(CountText(1234), u"1234"_s);
    QCOMPARE(PauseText(true), u"ПАУЗА"_s);
    QCOMPARE(PauseText(false), u""_s);
}

void TestStatusBarText::hints_data() {
    QTest::addColumn<QPoint>("mouse");
    QTest::addColumn<int>("panel");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QRect>("area");

    QTest::newRow("server description") << QPoint(10, 5) << 0 << u""_s << QRect(-3, -3, 256, 25);
    QTest::newRow("last pixel of panel 0")
        << QPoint(249, 5) << 0 << u""_s << QRect(-3, -3, 256, 25);
    QTest::newRow("first pixel of panel 1")
        << QPoint(250, 0) << 1 << u"Всего процессов"_s << QRect(247, -3, 56, 25);
    QTest::newRow("blocked") << QPoint(320, 18) << 2 << u"Заблокированных процессов"_s
                             << QRect(297, -3, 56, 25);
    QTest::newRow("marked") << QPoint(399, 9) << 3 << u"Отмеченных процессов"_s
                            << QRect(347, -3, 56, 25);
    QTest::newRow("pause") << QPoint(420, 9) << 4 << u""_s << QRect(397, -3, 76, 25);
    QTest::newRow("log file") << QPoint(799, 9) << 5 << u""_s << QRect(467, -3, 336, 25);
    QTest::newRow("right of the bar") << QPoint(800, 9) << -1 << u""_s << QRect();
    QTest::newRow("below the bar") << QPoint(260, 19) << -1 << u""_s << QRect();
}

void TestStatusBarText::sampleStats_data() {
    QTest::addColumn<qint64>("duration");
    QTest::addColumn<int>("rows");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("interval");
    QTest::addColumn<qint64>("chosen");
    QTest::addColumn<QString>("text");

    QTest::newRow("within the period")
        << 48LL << 10000 << 2200000LL << 1050LL << 1000LL
        << u"Последний снимок: 48 мс, строк: 10000, получено 2.1 MB.\n"
           u"Снимки приходят раз в 1.05 с."_s;
    QTest::newRow("longer than the period")
        << 1500LL << 50000 << 11000000LL << 2510LL << 1000LL
        << u"Последний снимок: 1500 мс, строк: 50000, получено 10.5 MB.\n"
           u"Снимки приходят раз в 2.51 с.\n"
           u"Снимок длится дольше выбранного периода (1 с): снимки приходят реже."_s;
    QTest::newRow("\"0 с\" has nothing to outlast")
        << 60LL << 1000 << 250000LL << 60LL << 0LL
        << u"Последний снимок: 60 мс, строк: 1000, получено 244.1 kB.\n"
           u"Снимки приходят раз в 0.06 с."_s;
    QTest::newRow("a first sample, bytes unknown")
        << 5LL << 3 << -1LL << 0LL << 100LL << u"Последний снимок: 5 мс, строк: 3."_s;
}

void TestStatusBarText::sampleStats() {
    QFETCH(qint64, duration);
    QFETCH(int, rows);
    QFETCH(qint64, bytes);
    QFETCH(qint64, interval);
    QFETCH(qint64, chosen);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale::c());
    TSampleStats stats;
    stats.DurationMs = duration;
    stats.Rows = rows;
    stats.Bytes = bytes;
    stats.IntervalMs = interval;
    QCOMPARE(SampleStatsText(stats, chosen), text);
}

void TestStatusBarText::hints() {
    QFETCH(QPoint, mouse);
    QFETCH(int, panel);
    QFETCH(QString, hint);
    QFETCH(QRect, area);

    const QList<QRect> rects = PanelRects(MonitorPanelWidths(), 800, 19);
    QCOMPARE(PanelAt(rects, mouse), panel);
    QCOMPARE(MonitorPanelHint(panel), hint);
    if (panel >= 0)
        QCOMPARE(HintArea(rects[panel]), area);
}

void TestStatusBarText::serverCounts_data() {
    QTest::addColumn<QList<int>>("states");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("no servers") << QList<int>{} << QStringList{u""_s, u""_s, u""_s};
    QTest::newRow("two disconnected") << QList<int>{0, 0} << QStringList{u"2"_s, u""_s, u""_s};
    QTest::newRow("mixed, unknown states not counted")
        << QList<int>{2, 0, 1, 2, 7, -1} << QStringList{u"1"_s, u"1"_s, u"2"_s};
}

void TestStatusBarText::serverCounts() {
    QFETCH(QList<int>, states);
    QFETCH(QStringList, texts);
    QCOMPARE(ServerStateCountTexts(states), texts);
}

QTEST_APPLESS_MAIN(TestStatusBarText)
#include "tst_statusbartext.moc"
