#pragma once
// Connects many entries at once without holding the window up: each open and the
// description that follows run on a thread of their own, with the connection string's own
// timeout; an entry whose login needs a password nobody has is queued for the login dialog,
// one dialog at a time. Failures are not shown in message boxes (fifty of them would bury
// the user): the entry turns to the error state with the driver's text in its tooltip.

#include <QList>
#include <QObject>
#include <memory>

class TServer;
class TServerPanel;

class TEstateConnector : public QObject {
    Q_OBJECT
public:
    explicit TEstateConnector(TServerPanel& APanel, QObject* parent = nullptr);
    // Waits about a second for opens still under way, then leaves them to end on their own.
    ~TEstateConnector() override;

    // Every given entry that is neither connected nor busy.
    void Connect(const QList<TServer*>& AServers);

private:
    struct TShared;
    void start(TServer* AServer);
    void open(TServer* AServer, const QString& AUser, const QString& APassword, bool AWithLogin);
    void askNextLogin();
    void finished(TServer* AServer, bool AOk, const QString& AError, const void* ADescription);

    TServerPanel& FPanel;
    std::shared_ptr<TShared> FShared;
    QList<TServer*> FLoginQueue;
    bool FAsking = false;
};
