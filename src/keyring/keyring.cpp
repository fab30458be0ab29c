#include "keyring/keyring.h"

#include "prompts/prompts.h"
#include "settings/settingsstore.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <qt6keychain/keychain.h>

TKeyring::TKeyring(const QString& AService, QObject* parent)
    : QObject(parent), FService(AService) {}

bool TKeyring::Usable() {
    if (!FUsable) {
        // The Secret Service lives on the session bus; without one every job would only
        // fail, so the run goes on without a keyring from the start.
        FUsable = QDBusConnection::sessionBus().isConnected();
        if (!*FUsable)
            FReason = QCoreApplication::translate("Keyring", "нет сеанса D-Bus.");
    }
    return *FUsable;
}

void TKeyring::TellUnavailable() {
    if (Usable() || FTold)
        return;
    FTold = true;
    ShowMessage(QCoreApplication::translate("Keyring",
                                            "Связка ключей недоступна: %1\r\nПароли хранятся "
                                            "в строке подключения или вводятся при подключении.")
                    .arg(FReason),
                QStringLiteral("Dervel"), TMsgIcon::Warning);
}

void TKeyring::Read(const QUuid& AServerID, TCallback ACallback) {
    auto* job = new QKeychain::ReadPasswordJob(FService);
    job->setKey(GuidText(AServerID));
    Run(job, std::move(ACallback));
}

void TKeyring::Write(const QUuid& AServerID, const QString& APassword, TCallback ACallback) {
    auto* job = new QKeychain::WritePasswordJob(FService);
    job->setKey(GuidText(AServerID));
    job->setTextData(APassword);
    Run(job, std::move(ACallback));
}

void TKeyring::Remove(const QUuid& AServerID, TCallback ACallback) {
    auto* job = new QKeychain::DeletePasswordJob(FService);
    job->setKey(GuidText(AServerID));
    Run(job, std::move(ACallback));
}

void TKeyring::Run(QKeychain::Job* AJob, TCallback ACallback) {
    if (!Usable()) {
        delete AJob;
        TellUnavailable();
        ACallback(TKeyringReply{});
        return;
    }
    // Never a plain-text store of QtKeychain's own: without a keyring the password stays
    // where the user would otherwise keep it.
    AJob->setInsecureFallback(false);
    AJob->setAutoDelete(true);
    // The job has no parent: it finishes and deletes itself even when this object is
    // gone, and then the connection below is gone with it and nobody is called.
    connect(AJob, &QKeychain::Job::finished, this,
            [this, callback = std::move(ACallback)](QKeychain::Job* job) {
                TKeyringReply reply;
                switch (job->error()) {
                case QKeychain::NoError:
                    reply.Status = TKeyringReply::Done;
                    if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(job))
                        reply.Password = read->textData();
                    break;
                case QKeychain::EntryNotFound:
                    reply.Status = TKeyringReply::NotFound;
                    break;
                default:
                    GiveUp(job->errorString());
                    break;
                }
                callback(reply);
            });
    AJob->start();
}

void TKeyring::GiveUp(const QString& AReason) {
    FUsable = false;
    FReason = AReason;
    TellUnavailable();
}
