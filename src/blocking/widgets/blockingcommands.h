#pragma once
// "Дерево блокировок" (Ctrl+T): the pane below the grid with one tree per head blocker,
// its action, and how the pane meets the grid: a session chosen in the tree is focused in
// the grid, Enter and Del there open and end it as in the grid.

#include "sampling/monitorrec.h"

#include <QObject>
#include <functional>

class QAction;
class QWidget;
class TBlockingPane;
class TResourceNames;

class TBlockingCommands : public QObject {
    Q_OBJECT
public:
    struct THost {
        std::function<QList<PMonitorRec>()> Rows;    // the grid's records, as on show
        std::function<bool(int ASPID)> FocusSession; // false when the grid has no such row
        std::function<void()> Recompose;             // the tree's columns join or leave the query
        QAction* View = nullptr; // the grid's detail window, for the focused session
        QAction* Kill = nullptr; // and its kill
    };
    // The pane takes names of wait resources from ANames, which says when more have come.
    TBlockingCommands(TBlockingPane* APane, TResourceNames& ANames, THost AHost, QWidget* AWindow);

    QAction* const actBlockingTree;

    // The forest of the rows on show, while the pane is open.
    void ShowSnapshot(const QList<PMonitorRec>& ARows);

private:
    TBlockingPane* FPane;
    THost FHost;
};
