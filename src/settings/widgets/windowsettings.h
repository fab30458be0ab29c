#pragma once
// The main window's settings: the server list and what is kept of the window itself (its
// size, the system sessions switch, the sort, the columns), read from the settings store
// at start and written back at the end. Failures are told to the user, never passed on.

#include <QUuid>

class QToolButton;
class QWidget;
class TMonitorView;
class TServer;
class TServerPanel;

// The parts of the window the settings go into and come from.
struct TWindowParts {
    QWidget* Window;
    TServerPanel* Servers;
    QToolButton* HideSys;
    TMonitorView* Grid;
};

void LoadWindowSettings(const TWindowParts& AParts);
void SaveWindowSettings(const TWindowParts& AParts);
// One entry's connection string at once (its password went to the keyring).
void SaveServerConnectionString(TServer& AServer);
// An entry deleted: its key goes at once.
void DeleteServerSettings(const QUuid& AServerId);
// A damaged settings file the store set aside while reading, told where it was found.
void ReportSettingsDamage();
