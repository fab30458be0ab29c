#pragma once
// Recording the session grid into the activity log: the record button is the switch,
// the sixth panel of the grid's status bar shows the file, and every snapshot the grid
// takes over is appended in the grid's display order.

#include "sampling/monitorrec.h"

#include <QString>
#include <functional>
#include <optional>

class QToolButton;
class TMonitorModel;
class TMonitorStatusBar;
class TMonitorView;

class TActivityLog {
public:
    // serverName: the focused server's name, nothing when no server is focused.
    TActivityLog(QToolButton* tbRecord, TMonitorView* grid, TMonitorStatusBar* statusBar,
                 std::function<std::optional<QString>()> serverName);

    // Starts (Start true, with a focused server) or stops recording; a stop with a message
    // tells the user why.
    void StartRecord(bool Start, const QString& Msg);
    void LogToFileFirst();
    void LogToFile(); // appends the grid's current rows
    void tbRecordClick();

    QString FileName; // empty while not recording

private:
    QList<int> visibleColumnsInDisplayOrder() const;

    QToolButton* FRecord;
    TMonitorView* FGrid;
    TMonitorStatusBar* FStatusBar;
    std::function<std::optional<QString>()> FServerName;
};
