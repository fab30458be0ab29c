#pragma once
// What the server panel needs of the main window.

#include <QString>

class QUuid;

class TServerPanelHost {
public:
    virtual ~TServerPanelHost() = default;
    virtual void Monitoring(bool ReloadDBList) = 0;
    virtual void TuneActions() = 0;
    virtual void UnselectAll() = 0; // clears the session grid's marks
    virtual void FocusSessionGrid() = 0;
    // The connection dialog with the given caption over name and connection string;
    // true when closed with OK. With toKeyring, the dialog offers to keep a password of
    // the string in the keyring and leaves the choice there.
    virtual bool EditConnection(const QString& caption, QString& name, QString& connectionString,
                                bool* toKeyring) = 0;
    // Removes a server's settings key at once (a missing key is no error).
    virtual void DeleteServerSettings(const QUuid& serverId) = 0;
};
