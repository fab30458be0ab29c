#include "settings/settingsstore.h"

#include "grid/monitorcolumns.h"
#include "registry/registry.h"
#include "servers/passwordplacement.h"
#include "servers/server.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace {

const QString kRoot = QStringLiteral("Software\\Dervel");
const QString kServers = QStringLiteral("Software\\Dervel\\Servers");

// A name is a GUID only in the registry's own form.
QUuid guidFromText(const QString& name) {
    static const QRegularExpression form(QStringLiteral(
        "^\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\\}$"));
    if (!form.match(name).hasMatch())
        throw ERegistryException(QStringLiteral("'%1' is not a valid GUID value").arg(name));
    return QUuid::fromString(name);
}

std::optional<int> readInteger(TRegistry& reg, const QString& name) {
    if (!reg.ValueExists(name))
        return std::nullopt;
    return reg.ReadInteger(name);
}

void readServers(TRegistry& reg, TLoadedSettings& out) {
    if (reg.OpenKey(kServers, false)) {
        const QStringList names = reg.GetKeyNames();
        reg.CloseKey();
        for (const QString& name : names) {
            if (!reg.OpenKey(kServers + QLatin1Char('\\') + name, false))
                continue;
            TStoredServer s;
            s.ConnectionString = reg.ReadString(QStringLiteral("ConnectionString"));
            s.Name = reg.ReadString(QStringLiteral("Name"));
            out.Servers.append(s);
            TStoredServer& added = out.Servers.last();
            added.ServerID = guidFromText(name);
            added.Version = reg.ReadString(QStringLiteral("Version"));
            added.Order = reg.ReadInteger(QStringLiteral("Order"));
            if (const auto at = readInteger(reg, QStringLiteral("ConnectAtStart")))
                added.ConnectAtStart = *at != 0;
            if (const auto was = readInteger(reg, QStringLiteral("ConnectedAtExit")))
                added.ConnectedAtExit = *was != 0;
            reg.CloseKey();
        }
    }
    out.SortServers = true;
}

// Values a version without the rates neither writes nor reads: whatever is wrong with
// them leaves the built-in rate layout, without a message.
void readRateLayout(TRegistry& reg, TStoredWindow& w) {
    const QString rates = QStringLiteral("RateColumns");
    if (reg.GetDataType(rates) == rdBinary &&
        reg.GetDataSize(rates) == SavedColSize * RateColumnCount) {
        QByteArray bytes(SavedColSize * RateColumnCount, '\0');
        if (reg.ReadBinaryData(rates, bytes.data(), int(bytes.size())) == bytes.size())
            w.RateColumns = SavedColsFromBytes(bytes, RateColumnCount);
    }
    const QString sort = QStringLiteral("RateSort");
    if (reg.GetDataType(sort) == rdInteger) {
        const int value = reg.ReadInteger(sort);
        // A version without the rates writes its own sort over "SortColumn" and
        // "SortDirection" and leaves "RateSort" as it was: the rate sort holds only while
        // they are still what was written with it.
        const bool theSameSort = w.SortColumn && w.SortDirection &&
                                 *w.SortColumn == ((value >> 16) & 0xFF) &&
                                 (*w.SortDirection != 0) == ((value & 0x1000000) != 0);
        if (IsRateColumn(value & 0xFF) && theSameSort) {
            w.RateSortColumn = value & 0xFF;
            w.RateSortDescending = (value & 0x100) != 0;
        }
    }
}

// "RateSort": the rate column, 0x100 when descending, and the "SortColumn" (bits 16 to 23)
// and "SortDirection" (bit 24) written with it; 0 when the sort is no rate's.
int rateSortValue(int ARateColumn, bool ADescending, int ASortColumn, int ASortDirection) {
    return ARateColumn | (ADescending ? 0x100 : 0) | (ASortColumn & 0xFF) << 16 |
           (ASortDirection != 0 ? 0x1000000 : 0);
}

} // namespace

QString GuidText(const QUuid& id) {
    return id.toString(QUuid::WithBraces).toUpper();
}

TLoadedSettings ReadSettings(TRegistry& reg, int columnCount) {
    TLoadedSettings out;
    try {
        readServers(reg, out);
        if (!reg.OpenKey(kRoot, false))
            return out;
        TStoredWindow& w = out.Window;
        w.Width = readInteger(reg, QStringLiteral("Width"));
        w.Height = readInteger(reg, QStringLiteral("Height"));
        if (const auto hideSys = readInteger(reg, QStringLiteral("HideSys")))
            w.HideSys = *hideSys != 0;
        w.SortColumn = readInteger(reg, QStringLiteral("SortColumn"));
        w.SortDirection = readInteger(reg, QStringLiteral("SortDirection"));
        readRateLayout(reg, w);
        w.EstatePeriodMs = readInteger(reg, QStringLiteral("EstatePeriod"));
        w.ServerPanelWidth = readInteger(reg, QStringLiteral("ServerPanelWidth"));
        QByteArray bytes(SavedColSize * columnCount, '\0');
        const int read = reg.ReadBinaryData(QStringLiteral("Columns"), bytes.data(),
                                            static_cast<int>(bytes.size()));
        reg.CloseKey();
        const std::optional<TSavedCols> cols =
            read == bytes.size() ? SavedColsFromBytes(bytes, columnCount) : std::nullopt;
        if (!cols)
            throw ERegistryException(
                QCoreApplication::translate("Settings", "Ошибка чтения реестра."));
        w.Columns = cols;
    } catch (const ERegistryException& e) {
        out.Error = e.Message();
    }
    return out;
}

void WriteSettings(TRegistry& reg, const QList<TServer*>& servers, bool windowNormal, int width,
                   int height, bool hideSys, int sortColumn, int sortDirection,
                   const TSavedCols& columns, const TEstateSettings& estate) {
    for (int i = 0; i < servers.size(); ++i) {
        TServer* s = servers[i];
        s->Order = i;
        if (!reg.OpenKey(kServers + QLatin1Char('\\') + GuidText(s->ServerID), true))
            continue;
        // The key was read afresh as it opened: another window's change is seen here.
        const QString connectionString = QStringLiteral("ConnectionString");
        const std::optional<QString> stored =
            reg.GetDataType(connectionString) == rdString
                ? std::optional<QString>(reg.ReadString(connectionString))
                : std::nullopt;
        const QString written =
            ConnectionStringToSave(s->ConnectionString, s->SavedConnectionString, stored);
        reg.WriteString(QStringLiteral("Name"), s->Name);
        reg.WriteString(connectionString, written);
        s->SavedConnectionString = written;
        reg.WriteString(QStringLiteral("Version"), s->Version);
        reg.WriteInteger(QStringLiteral("Order"), s->Order);
        if (s->ConnectAtStart || reg.ValueExists(QStringLiteral("ConnectAtStart"))) {
            reg.WriteInteger(QStringLiteral("ConnectAtStart"), s->ConnectAtStart ? 1 : 0);
            reg.WriteInteger(QStringLiteral("ConnectedAtExit"),
                             s->ConnectAtStart && s->State == stConnected ? 1 : 0);
        }
        reg.CloseKey();
    }
    if (!reg.OpenKey(kRoot, true))
        return;
    if (windowNormal) {
        reg.WriteInteger(QStringLiteral("Width"), width);
        reg.WriteInteger(QStringLiteral("Height"), height);
    }
    reg.WriteInteger(QStringLiteral("HideSys"), hideSys ? 1 : 0);
    for (const auto& [name, value] :
         {std::pair{QStringLiteral("EstatePeriod"), estate.PeriodMs},
          std::pair{QStringLiteral("ServerPanelWidth"), estate.PanelWidth}})
        if (value > 0 || reg.ValueExists(name))
            reg.WriteInteger(name, value);
    // A version without the rates reads a rate sort as the default order.
    const bool byRate = IsRateColumn(sortColumn);
    const int querySortColumn = byRate ? 0 : sortColumn;
    const int querySortDirection = byRate ? 0 : sortDirection;
    reg.WriteInteger(QStringLiteral("SortColumn"), querySortColumn);
    reg.WriteInteger(QStringLiteral("SortDirection"), querySortDirection);
    reg.WriteInteger(
        QStringLiteral("RateSort"),
        byRate ? rateSortValue(sortColumn, sortDirection != 0, querySortColumn, querySortDirection)
               : 0);
    const TSplitCols split = SplitSavedCols(columns);
    const QByteArray bytes = SavedColsToBytes(split.Query);
    reg.WriteBinaryData(QStringLiteral("Columns"), bytes.constData(),
                        static_cast<int>(bytes.size()));
    const QByteArray rates = SavedColsToBytes(split.Rates);
    reg.WriteBinaryData(QStringLiteral("RateColumns"), rates.constData(),
                        static_cast<int>(rates.size()));
    reg.CloseKey();
}

bool DeleteServerKey(TRegistry& reg, const QUuid& id) {
    return reg.DeleteKey(kServers + QLatin1Char('\\') + GuidText(id));
}

bool WriteServerConnectionString(TRegistry& reg, TServer& server) {
    if (!reg.OpenKey(kServers + QLatin1Char('\\') + GuidText(server.ServerID), false))
        return false;
    reg.WriteString(QStringLiteral("ConnectionString"), server.ConnectionString);
    reg.CloseKey();
    server.SavedConnectionString = server.ConnectionString;
    return true;
}

QString ConnectionStringToSave(const QString& AOurs, const std::optional<QString>& ASaved,
                               const std::optional<QString>& AStored) {
    if (!ASaved || !AStored || *AStored == *ASaved)
        return AOurs;
    if (AOurs == *ASaved)
        return *AStored;
    // Both changed it: this window's edit is the later one, but a password the other one
    // moved out stays out unless this window's user typed another.
    const QString password = PasswordInString(AOurs);
    if (HoldsPassword(*ASaved) && !HoldsPassword(*AStored) && password == PasswordInString(*ASaved))
        return WithoutPassword(AOurs);
    return AOurs;
}

QString ReadLanguageSetting(TRegistry& reg) {
    try {
        if (!reg.OpenKey(kRoot, false))
            return QString();
        const QString language = reg.GetDataType(QStringLiteral("Language")) == rdString
                                     ? reg.ReadString(QStringLiteral("Language"))
                                     : QString();
        reg.CloseKey();
        return language;
    } catch (const ERegistryException&) {
        return QString();
    }
}
