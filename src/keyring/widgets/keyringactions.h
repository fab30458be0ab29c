#pragma once
// The keyring in the server panel: it hands the panel the entries' secrets and adds the
// commands that move passwords out of connection strings into the keyring, for the
// focused entry or for all of them.

#include <QObject>

class QAction;
class TKeyring;
class TServer;
class TServerPanel;
class TServerSecrets;

class TKeyringActions : public QObject {
    Q_OBJECT
public:
    // AService names this program's secrets in the keyring.
    explicit TKeyringActions(TServerPanel& APanel,
                             const QString& AService = QStringLiteral("Dervel"),
                             QObject* parent = nullptr);

    // Enables the commands for the panel's focused entry and the whole list.
    void Tune();

    TServerSecrets& Secrets() { return *FSecrets; }

    QAction* actMovePassword;
    QAction* actMoveAllPasswords;

signals:
    // An entry's connection string lost its password: the settings should follow now
    // rather than at the end of the run.
    void ConnectionStringChanged(TServer* AServer);

private:
    void Move(const QList<TServer*>& AServers);
    QList<TServer*> WithPasswords() const;

    TServerPanel& FPanel;
    TKeyring* FKeyring;
    TServerSecrets* FSecrets;
};
