#pragma once
// Marking sessions in the grid (Space, Shift+Space; the marked count under the grid) and
// the grid's context menu, which holds the marks beside the session commands.

#include "sampling/monitorrec.h"

#include <QList>
#include <QObject>
#include <functional>

class QAction;
class QMenu;
class QPoint;
class QWidget;
class TMonitorStatusBar;
class TMonitorView;

class TGridMarks : public QObject {
    Q_OBJECT
public:
    // AMarked is the window's list of marked SPIDs; AChanged tells it the marks changed.
    TGridMarks(QList<int>& AMarked, std::function<PMonitorRec()> AFocused,
               std::function<void()> AChanged, QWidget* AWindow);

    QAction* const actSelRec;
    QAction* const actUnselectAll;

    // The grid, its status bar and the menu's other commands, in the menu's order:
    // view, view with the blocker, then after the marks kill and kill marked, then the
    // blocking tree after a line.
    void attach(TMonitorView* AGrid, TMonitorStatusBar* AStatusBar, QAction* AView,
                QAction* AViewBlock, QAction* AKill, QAction* AKillMarked, QAction* ATree);
    QMenu* menu() const { return FMenu; }
    QAction* menuItem() const { return FSelRecItem; } // "Пометить" in the menu

    void actSelRecExecute();
    void actUnselectAllExecute();
    // After the grid took a snapshot: marks of sessions that are gone go too.
    void Prune(const QList<PMonitorRec>& ARows);

private:
    void popup(const QPoint& APos);
    void showCount();

    QList<int>& FMarked;
    std::function<PMonitorRec()> FFocused;
    std::function<void()> FChanged;
    QWidget* FWindow;
    TMonitorView* FGrid = nullptr;
    TMonitorStatusBar* FStatusBar = nullptr;
    QMenu* FMenu = nullptr;
    QAction* FSelRecItem = nullptr;
};
