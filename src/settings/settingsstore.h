#pragma once
// Reading and writing the persistent settings under "Software\Dervel": the server list
// and the main window's size, HideSys switch, sort order and column layout. The values
// travel as plain data; the main window applies them.

#include "settings/savedcols.h"

#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

class TRegistry;
class TServer;

struct TStoredServer {
    QString Name;
    QString ConnectionString;
    QUuid ServerID; // null until read
    QString Version;
    int Order = 0;
    bool ConnectAtStart = false;  // "ConnectAtStart": connect at start if it was at exit
    bool ConnectedAtExit = false; // "ConnectedAtExit", kept only for such entries
};

struct TStoredWindow {
    std::optional<int> Width;
    std::optional<int> Height;
    std::optional<bool> HideSys;
    std::optional<int> SortColumn;
    std::optional<int> SortDirection;
    std::optional<TSavedCols> Columns; // the query columns ("Columns")
    // The rate columns' records ("RateColumns"); missing or damaged reads as none, without
    // an error: the rates then take their built-in place.
    std::optional<TSavedCols> RateColumns;
    // A sort by a rate column ("RateSort": the column, 0x100 added when descending, with
    // the "SortColumn" and "SortDirection" it was written with above); none when those
    // have changed since, as an older version changes them.
    std::optional<int> RateSortColumn;
    bool RateSortDescending = false;
    std::optional<int> EstatePeriodMs;   // "EstatePeriod", the estate summary's period
    std::optional<int> ServerPanelWidth; // "ServerPanelWidth", the widened server panel
};

// The estate's values, written only where they differ from the built-in ones or were
// written before, so that a user who never touches them keeps the file as it was.
struct TEstateSettings {
    int PeriodMs = 0;   // 0: the built-in period
    int PanelWidth = 0; // 0: the panel's original width
};

struct TLoadedSettings {
    // Entries in the order read; an entry whose reading failed midway is still here, as
    // far as it got.
    QList<TStoredServer> Servers;
    bool SortServers = false; // the server list was read completely
    TStoredWindow Window;     // what was read before any failure
    QString Error;            // the failure that ended the load, empty when none
};

// The registry's GUID text: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
QString GuidText(const QUuid& id);

// Reads everything as far as it goes; never throws.
TLoadedSettings ReadSettings(TRegistry& registry, int columnCount);

// The connection string the save at exit writes for an entry: AOurs, this window's string;
// ASaved, what the file held when this window last read or wrote it; AStored, what the file
// holds now (none for an entry new to either). A string this window left alone does not
// overwrite another window's change; and where the file's string lost its password
// meanwhile (moved to the keyring) while this window's still has the same one, it is
// written without it.
QString ConnectionStringToSave(const QString& AOurs, const std::optional<QString>& ASaved,
                               const std::optional<QString>& AStored);

// Writes the servers (renumbering their Order from the list order), then the window
// values; `columns` is the layout of all the grid's columns, split into "Columns" and
// "RateColumns". A sort by a rate column is kept in "RateSort", with "SortColumn" and
// "SortDirection" at the query's own order. Throws ERegistryException on the first
// failure.
void WriteSettings(TRegistry& registry, const QList<TServer*>& servers, bool windowNormal,
                   int width, int height, bool hideSys, int sortColumn, int sortDirection,
                   const TSavedCols& columns, const TEstateSettings& estate = {});

// The "Language" value ("ru", "en"), read before the first window; empty when it is
// missing or cannot be read (the locale decides then). Never throws.
QString ReadLanguageSetting(TRegistry& registry);

// Deletes a server's key with everything below it; false when it did not exist.
bool DeleteServerKey(TRegistry& registry, const QUuid& id);

// Writes a saved server's "ConnectionString" at once, as it stands now, and takes it as what
// the file holds; false when the server has no key yet (its first save writes it). Throws
// ERegistryException when the file cannot be written.
bool WriteServerConnectionString(TRegistry& registry, TServer& server);
