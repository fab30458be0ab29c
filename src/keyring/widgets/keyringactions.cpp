#include "keyring/widgets/keyringactions.h"

#include "keyring/keyring.h"
#include "keyring/serversecrets.h"
#include "prompts/prompts.h"
#include "servers/passwordplacement.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverpanel.h"

#include <QAction>
#include <QMenu>

TKeyringActions::TKeyringActions(TServerPanel& APanel, const QString& AService, QObject* parent)
    : QObject(parent), FPanel(APanel), FKeyring(new TKeyring(AService, this)),
      FSecrets(new TServerSecrets(*FKeyring, this)) {
    actMovePassword = new QAction(tr("Перенести пароль в связку ключей"), this);
    actMovePassword->setObjectName(QStringLiteral("actMovePassword"));
    actMoveAllPasswords = new QAction(tr("Перенести все пароли в связку ключей"), this);
    actMoveAllPasswords->setObjectName(QStringLiteral("actMoveAllPasswords"));
    connect(actMovePassword, &QAction::triggered, this, [this] {
        if (TServer* server = FPanel.SelectedServer())
            Move({server});
    });
    connect(actMoveAllPasswords, &QAction::triggered, this, [this] { Move(WithPasswords()); });
    connect(FSecrets, &TServerSecrets::ConnectionStringChanged, this,
            &TKeyringActions::ConnectionStringChanged);
    connect(FSecrets, &TServerSecrets::Settled, this, [this] { Tune(); });

    FPanel.SetSecrets(FSecrets);
    FPanel.MenuServer->addSeparator();
    FPanel.MenuServer->addAction(actMovePassword);
    FPanel.MenuServer->addAction(actMoveAllPasswords);
    // The menu is built before the keyring is asked: whether it answers is learnt
    // when the user first needs it, not at start.
    connect(FPanel.MenuServer, &QMenu::aboutToShow, this, [this] { Tune(); });
}

QList<TServer*> TKeyringActions::WithPasswords() const {
    QList<TServer*> servers;
    const TServerListModel* model = FPanel.model();
    for (int row = 0; row < model->rowCount(); ++row) {
        TServer* server = model->server(row);
        if (!PasswordInString(server->ConnectionString).isEmpty() && !FSecrets->Busy(server))
            servers << server;
    }
    return servers;
}

void TKeyringActions::Tune() {
    const TServer* focused = FPanel.SelectedServer();
    actMovePassword->setEnabled(focused && !FSecrets->Busy(focused) &&
                                !PasswordInString(focused->ConnectionString).isEmpty());
    actMoveAllPasswords->setEnabled(!WithPasswords().isEmpty());
}

void TKeyringActions::Move(const QList<TServer*>& AServers) {
    if (AServers.isEmpty())
        return;
    if (!FKeyring->Usable()) {
        FKeyring->TellUnavailable();
        return;
    }
    FSecrets->MovePasswords(AServers, [this](int moved) {
        Tune();
        if (moved > 0)
            ShowMessage(tr("Паролей перенесено в связку ключей: %1").arg(moved),
                        QStringLiteral("Dervel"), TMsgIcon::Information);
    });
    Tune();
}
