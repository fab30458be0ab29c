#include "grid/statusbartext.h"

#include <QCoreApplication>
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
