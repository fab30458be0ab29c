#include "grid/statusbartext.h"

#include "sampling/monitor.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

QList<int> MonitorPanelWidths() {
    return {250, 50, 50, 50, 70, 50};
}

QList<int> MainPanelWidths() {
    return {50, 50, 50};
}

QList<QRect> PanelRects(const QList<int>& AWidths, int ABarWidth, int ABarHeight) {
    QList<QRect> rects;
    int left = 0;
    for (qsizetype i = 0; i < AWidths.size(); ++i) {
        int width = AWidths[i];
        if (i == AWidths.size() - 1)
            width = std::max(width, ABarWidth - left);
        rects << QRect(left, 0, width, ABarHeight);
        left += width;
    }
    return rects;
}

int CenteredTextX(int APanelLeft, int APanelWidth, int ATextWidth) {
    // C++ division truncates toward zero, as the offset rule asks.
    return APanelLeft + std::max(0, (APanelWidth - ATextWidth) / 2 - 1);
}

QPoint MonitorPanelTextPos(int APanel, const QRect& APanelRect, int ATextWidth) {
    if (APanel == 0 || APanel == 5)
        return {APanelRect.left() + 2, APanelRect.top()};
    return {CenteredTextX(APanelRect.left(), APanelRect.width(), ATextWidth), APanelRect.top()};
}

QPoint MainPanelTextPos(const QRect& APanelRect) {
    return {APanelRect.left() + MainPanelImageSize + 4, APanelRect.top() + 1};
}

QString MonitorPanelColor(int APanel) {
    static const QStringList colors{u"#008080"_s, u"#000080"_s, u"#FF0000"_s,
                                    u"#8080FF"_s, u"#FF00FF"_s, u"#008000"_s};
    return colors.value(APanel);
}

QString MainPanelColor(int APanel) {
    static const QStringList colors{u"#0000FF"_s, u"#008000"_s, u"#FF0000"_s};
    return colors.value(APanel);
}

QString RowCountText(int ACount) {
    return QString::number(ACount);
}

QString CountText(int ACount) {
    return ACount == 0 ? QString() : QString::number(ACount);
}

QString PauseText(bool APaused) {
    return APaused ? QCoreApplication::translate("StatusBar", "ПАУЗА") : QString();
}

QString MonitorPanelHint(int APanel) {
    switch (APanel) {
    case 1:
        return QCoreApplication::translate("StatusBar", "Всего процессов");
    case 2:
        return QCoreApplication::translate("StatusBar", "Заблокированных процессов");
    case 3:
        return QCoreApplication::translate("StatusBar", "Отмеченных процессов");
    default:
        return QString();
    }
}

QString SampleStatsText(const TSampleStats& AStats, qint64 AChosenPeriodMs) {
    const QLocale locale;
    // Seconds to the hundredth, without trailing zeros: "1", "0,1", "2,51".
    const auto seconds = [&locale](qint64 ms) {
        QString text = locale.toString(static_cast<double>(ms) / 1000.0, 'f', 2);
        const QString point = locale.decimalPoint();
        if (text.contains(point)) {
            while (text.endsWith(u'0'))
                text.chop(1);
            if (text.endsWith(point))
                text.chop(point.size());
        }
        return text;
    };
    QStringList lines;
    if (AStats.Bytes >= 0)
        lines << QCoreApplication::translate("StatusBar",
                                             "Последний снимок: %1 мс, строк: %2, получено %3.")
                     .arg(locale.toString(AStats.DurationMs), locale.toString(AStats.Rows),
                          locale.formattedDataSize(AStats.Bytes, 1,
                                                   QLocale::DataSizeTraditionalFormat));
    else
        lines << QCoreApplication::translate("StatusBar", "Последний снимок: %1 мс, строк: %2.")
                     .arg(locale.toString(AStats.DurationMs), locale.toString(AStats.Rows));
    if (AStats.IntervalMs > 0)
        lines << QCoreApplication::translate("StatusBar", "Снимки приходят раз в %1 с.")
                     .arg(seconds(AStats.IntervalMs));
    // The pause follows the sample, so a sample longer than the pause chosen at least
    // doubles the time between snapshots.
    if (AChosenPeriodMs > 0 && AStats.DurationMs > AChosenPeriodMs)
        lines << QCoreApplication::translate(
                     "StatusBar",
                     "Снимок длится дольше выбранного периода (%1 с): снимки приходят реже.")
                     .arg(seconds(AChosenPeriodMs));
    return lines.join(u'\n');
}

int PanelAt(const QList<QRect>& APanels, const QPoint& APoint) {
    for (qsizetype i = 0; i < APanels.size(); ++i)
        if (APanels[i].contains(APoint))
            return int(i);
    return -1;
}

QRect HintArea(const QRect& APanelRect) {
    return APanelRect.adjusted(-3, -3, 3, 3);
}

QStringList ServerStateCountTexts(const QList<int>& AStates) {
    int counts[MainPanelCount] = {0, 0, 0};
    for (int state : AStates)
        if (state >= 0 && state < MainPanelCount)
            ++counts[state];
    return {CountText(counts[0]), CountText(counts[1]), CountText(counts[2])};
}
