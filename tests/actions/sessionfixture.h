#pragma once
// The main window watching the loopback test server, for the session commands: the
// settings store in a temporary folder, prompts answered in advance, and the sampler
// paused after the first snapshot, so that only the commands' own re-arming brings new
// snapshots.

#include "actions/widgets/modalrun.h"
#include "actions/widgets/sessioncommands.h"
#include "app/mainform.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorview.h"
#include "registry/registry.h"
#include "sampling/monitor.h"
#include "sampling/widgets/samplingcommands.h"
#include "scriptedprompts.h"
#include "scripting.h"
#include "servers/server.h"
#include "servers/widgets/serverpanel.h"
#include "testserverfixture.h"

#include <QDialog>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

class TSessionFixture {
public:
    TSessionFixture() {
        TRegistry::SetDefaultLocation(FDir.path());
        SetModalRunner([this](QDialog* d) {
            Opened.append(d);
            d->show();
        });
    }
    ~TSessionFixture() {
        Form.reset(); // while the server and the settings folder are still there
        SetModalRunner({});
        TRegistry::SetDefaultLocation(QString());
    }

    testserver::Instance& instance() { return FServer.instance(); }

    // Scripted sessions first, then this: the form connects and shows the first snapshot.
    bool start() {
        Form = std::make_unique<TMainForm>();
        Server = Form->ServerPanel->NewServer(QStringLiteral("Test"), FServer.oledb(), true);
        Form->ServerPanel->actConnectExecute();
        if (Server->State != stConnected)
            return false;
        if (!QTest::qWaitFor([this] { return selfSpid() != 0; }))
            return false;
        Form->Sampling->actPauseExecute();
        return true;
    }

    int rowOf(int spid) const {
        for (int row = 0; row < Form->MonitorModel->rowCount(); ++row)
            if (Form->MonitorModel->record(row)->SPID == spid)
                return row;
        return -1;
    }

    int selfSpid() const {
        for (int row = 0; row < Form->MonitorModel->rowCount(); ++row)
            if (Form->MonitorModel->record(row)->SelfID)
                return Form->MonitorModel->record(row)->SPID;
        return 0;
    }

    void focus(int spid) {
        const QModelIndex index = Form->MonitorModel->index(rowOf(spid), 0);
        Form->MonitorVT->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    // The last batch the form's own session sent, as the server saw it.
    QString lastBatchOfTheForm() {
        TDbConnection probe;
        probe.setConnectionString(FServer.oledb());
        probe.open();
        const TDbRecordset rs =
            probe.execute(QStringLiteral("DBCC INPUTBUFFER(%1)").arg(selfSpid()));
        return rs.fieldByName(QStringLiteral("EventInfo")).asString();
    }

    std::unique_ptr<TMainForm> Form;
    TServer* Server = nullptr;
    TScriptedPrompts Prompts;
    QList<QPointer<QDialog>> Opened; // windows the commands ran modally

private:
    QTemporaryDir FDir;
    TTestServer FServer;
};
