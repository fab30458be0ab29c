#pragma once
// The main window's server list as a window test finds its way in it: an entry by its
// name, and where its row is to be clicked.

#include "app/mainform.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverlistview.h"
#include "servers/widgets/serverpanel.h"

#include <QPoint>

inline TServer* entry(TMainForm& form, const QString& name) {
    TServerListModel* list = form.ServerPanel->model();
    for (int row = 0; row < list->rowCount(); ++row)
        if (list->server(row)->Name == name)
            return list->server(row);
    return nullptr;
}

inline QPoint listRowCentre(TMainForm& form, const QString& name) {
    TServerListModel* list = form.ServerPanel->model();
    return form.ServerPanel->ServerVT->visualRect(list->index(list->rowOf(entry(form, name))))
        .center();
}
