#pragma once
// Texts, colours, tooltips and placement arithmetic of the two status bars: the
// session bar under the grid (six panels) and the server bar (three panels).

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

inline constexpr int MonitorPanelCount = 6;
inline constexpr int MainPanelCount = 3;
inline constexpr int MainPanelImageSize = 16;

// Declared panel widths in pixels; the last panel reaches to the bar's right edge.
QList<int> MonitorPanelWidths();
QList<int> MainPanelWidths();

// Panel rectangles side by side from the bar's left edge; the last one is widened
// to the bar's width, never narrowed below its declared width.
QList<QRect> PanelRects(const QList<int>& AWidths, int ABarWidth, int ABarHeight);

// x of a text of width ATextWidth centred in a panel: never left of the panel.
int CenteredTextX(int APanelLeft, int APanelWidth, int ATextWidth);

// Where the text of a session bar panel starts: panels 0 and 5 two pixels in from
// the left, the others centred; always at the panel's top.
QPoint MonitorPanelTextPos(int APanel, const QRect& APanelRect, int ATextWidth);

// The server bar draws its image at the panel's top-left corner and the text after it.
QPoint MainPanelTextPos(const QRect& APanelRect);

// Text colours as "#RRGGBB".
QString MonitorPanelColor(int APanel);
QString MainPanelColor(int APanel);

// Panel 1: the row count, "0" included.
QString RowCountText(int ACount);
// Panels 2 and 3 and the server bar: empty for 0.
QString CountText(int ACount);
// Panel 4.
QString PauseText(bool APaused);

// Tooltip of a session bar panel; empty for panels without one.
QString MonitorPanelHint(int APanel);

struct TSampleStats;
// What the last sample cost, for the row count's tooltip: its time, rows and bytes, how
// often snapshots really come, and a warning when a sample outlasts the chosen period.
QString SampleStatsText(const TSampleStats& AStats, qint64 AChosenPeriodMs);
// The first panel containing the point, or -1.
int PanelAt(const QList<QRect>& APanels, const QPoint& APoint);
// Where a panel's tooltip stays valid.
QRect HintArea(const QRect& APanelRect);

// The server bar's three texts from the servers' states (ordinals 0 disconnected,
// 1 connected, 2 error; any other value is not counted).
QStringList ServerStateCountTexts(const QList<int>& AStates);
