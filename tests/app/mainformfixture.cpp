#include "mainformfixture.h"

#include "registry/registry.h"
#include "sampling/monitor.h"
#include "servers/server.h"
#include "servers/widgets/serverpanel.h"

TMainFormFixture::TMainFormFixture(bool startNow) {
    TRegistry::SetDefaultLocation(FSettings.path());
    if (startNow)
        start();
}

void TMainFormFixture::start() {
    FForm = std::make_unique<TMainForm>();
    FForm->show();
}

TMainFormFixture::~TMainFormFixture() {
    if (FForm)
        FForm->close();
    FForm.reset();
    TRegistry::SetDefaultLocation(QString());
}

TServer* TMainFormFixture::addConnectedServer(const QString& name) {
    FPrompts.connectionAnswers << TScriptedPrompts::TConnectionAnswer{true, name, FServer.oledb()};
    FForm->ServerPanel->actAddConnection->trigger();
    return FForm->SelectedServer();
}

void TMainFormFixture::restart() {
    finish();
    start();
}

void TMainFormFixture::finish() {
    if (FForm && FForm->isVisible())
        FForm->close();
    FForm.reset();
}

void TMainFormFixture::arrive(const QList<TMonitorRec>& records, qint64 sampleTimeMs) {
    {
        std::lock_guard lock(FForm->CS);
        ClearRecList(FForm->Dervel->Buffer);
        FForm->Dervel->BufferHandOver = FForm->CurrentHandOver();
        FForm->Dervel->BufferTime = sampleTimeMs;
        for (const TMonitorRec& r : records)
            FForm->Dervel->Buffer.append(new TMonitorRec(r));
    }
    FForm->OnDataArrive();
}

TMonitorRec Rec(int spid, int request, const QString& status, int blocking, bool blocked) {
    TMonitorRec r;
    r.SPID = spid;
    r.RequestID = request;
    r.Status = status;
    r.Login = QStringLiteral("user%1").arg(spid);
    r.Blocking = blocking;
    r.Blocked = blocked;
    r.IsUser = true;
    return r;
}
