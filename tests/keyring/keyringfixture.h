#pragma once
// What the keyring tests share: the main window over settings of its own, entries saved
// as an earlier run would have left them, the keyring read and written behind the
// window's back, and the settings file as text to search for a password.

#include "keyring/keyring.h"
#include "mainformfixture.h"

#include <QUuid>

class QMenu;

namespace keyringtest {

inline const QString kPassword = QStringLiteral("Dervel-2026");

// Everything the settings folder holds, as text.
QString SettingsText(const TMainFormFixture& f);

// A run that starts and ends, leaving the complete settings file a later run expects.
void FirstRun(TMainFormFixture& f);
// A server key as a run before this one saved it.
void SaveServer(const QUuid& id, const QString& name, const QString& connectionString, int order);

// The keyring's answer for the entry, waited for.
TKeyringReply Secret(const QUuid& id);
// Puts a password into the keyring for the entry; false when the keyring refused.
bool SetSecret(const QUuid& id, const QString& password);

// The entry in the server list by name.
TServer* Entry(TMainFormFixture& f, const QString& name);
// Clicks the entry's row, as the user picks a server.
void Pick(TMainFormFixture& f, const QString& name);
// Double-clicks the entry's row: Connect.
void DoubleClick(TMainFormFixture& f, const QString& name);
// A key pressed at the window, wherever its focus is.
void Key(TMainFormFixture& f, Qt::Key key, Qt::KeyboardModifiers mods = {});
// Opens the server list's context menu over the entry and clicks the item of that action.
void ChooseFromMenu(TMainFormFixture& f, const QString& name, QAction* action);

} // namespace keyringtest
