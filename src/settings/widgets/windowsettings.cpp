#include "settings/widgets/windowsettings.h"

#include "grid/monitorcolumns.h"
#include "grid/widgets/monitorview.h"
#include "prompts/prompts.h"
#include "registry/registry.h"
#include "sampling/querycomposition.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverpanel.h"
#include "settings/savedcols.h"
#include "settings/settingsstore.h"

#include <QCoreApplication>
#include <QToolButton>
#include <QWidget>

namespace {

void applyWindow(const TStoredWindow& w, const TWindowParts& p) {
    if (w.Width || w.Height)
        p.Window->resize(w.Width.value_or(p.Window->width()),
                         w.Height.value_or(p.Window->height()));
    if (w.HideSys)
        p.HideSys->setChecked(*w.HideSys);
    if (w.SortColumn || w.SortDirection)
        p.Grid->setSort(w.SortColumn.value_or(p.Grid->sortColumn()),
                        w.SortDirection ? *w.SortDirection != 0 : p.Grid->sortDescending());
    // A sort by a rate, written together with the sort it stands for (see the store).
    if (w.RateSortColumn)
        p.Grid->setSort(*w.RateSortColumn, w.RateSortDescending);
    if (w.Columns)
        p.Grid->LoadCols(MergeSavedCols(*w.Columns, w.RateColumns));
}

} // namespace

void ReportSettingsDamage() {
    // The store finds a damaged file whenever it reads one: at start, when a server's
    // key is deleted, when the settings are saved. Each is told where it was found.
    const QString damage = TRegistry::TakeLoadProblem();
    if (!damage.isEmpty())
        ShowError(damage);
}

void LoadWindowSettings(const TWindowParts& AParts) {
    TRegistry registry;
    const TLoadedSettings loaded = ReadSettings(registry, QueryColumnCount);
    ReportSettingsDamage();
    for (const TStoredServer& stored : loaded.Servers) {
        TServer* server = AParts.Servers->NewServer(stored.Name, stored.ConnectionString, false);
        if (!stored.ServerID.isNull())
            server->ServerID = stored.ServerID;
        server->Version = stored.Version;
        server->Order = stored.Order;
        server->SavedConnectionString = stored.ConnectionString;
    }
    if (loaded.SortServers)
        AParts.Servers->model()->sortByOrder();
    applyWindow(loaded.Window, AParts);
    if (!loaded.Error.isEmpty())
        ShowError(
            QCoreApplication::translate("WindowSettings", "Ошибка при загрузке настроек:\r\n") +
            loaded.Error);
}

void SaveWindowSettings(const TWindowParts& AParts) {
    QList<TServer*> servers;
    for (int i = 0; i < AParts.Servers->model()->rowCount(); ++i)
        servers << AParts.Servers->model()->server(i);
    const bool normal = !(AParts.Window->windowState() &
                          (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    try {
        TRegistry registry;
        WriteSettings(registry, servers, normal, AParts.Window->width(), AParts.Window->height(),
                      AParts.HideSys->isChecked(), AParts.Grid->sortColumn(),
                      AParts.Grid->sortDescending() ? 1 : 0, AParts.Grid->SaveCols());
    } catch (const ERegistryException& e) {
        ReportSettingsDamage();
        ShowError(
            QCoreApplication::translate("WindowSettings", "Ошибка при сохранении настроек:\r\n") +
            e.Message());
        return;
    }
    ReportSettingsDamage();
}

void SaveServerConnectionString(TServer& AServer) {
    try {
        TRegistry registry;
        WriteServerConnectionString(registry, AServer);
    } catch (const ERegistryException& e) {
        ShowError(
            QCoreApplication::translate("WindowSettings", "Ошибка при сохранении настроек:\r\n") +
            e.Message());
    }
    ReportSettingsDamage();
}

void DeleteServerSettings(const QUuid& AServerId) {
    // The outcome does not matter: an entry added in this run has no key yet.
    try {
        TRegistry registry;
        DeleteServerKey(registry, AServerId);
    } catch (const ERegistryException&) {
    }
    ReportSettingsDamage();
}
