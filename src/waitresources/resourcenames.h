#pragma once
// Names of wait resources on one server, asked for when first wanted and kept for a while:
// a lock on a hot key is met in every snapshot. The window never waits for the server: a
// name not known yet is asked by a thread of its own, over the watched server's connection
// (whose command lock keeps it from running beside the sampler's query), and named() says
// when it has come. A failure costs the name, never more.

#include <QCache>
#include <QObject>
#include <QSet>
#include <QString>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class TDbConnection;

class TResourceNames : public QObject {
    Q_OBJECT
public:
    // Names kept at most; the ones least recently wanted go first.
    static constexpr int kDefaultCapacity = 1000;

    explicit TResourceNames(int ACapacity = kDefaultCapacity, QObject* parent = nullptr);
    // Waits for a statement under way, if any.
    ~TResourceNames() override;

    // The connection to ask; nullptr when no server is watched. Changing it forgets every
    // name (another server numbers its databases and objects differently) and every
    // question not asked yet.
    void setConnection(TDbConnection* AConnection);
    // "Sales.dbo.Orders (PK_Orders)" when known; empty when the text is no lock resource,
    // cannot be named, or is being asked for now.
    QString Name(const QString& AResource);
    // Returns once no statement runs on a connection other than the current one: call it
    // before such a connection is destroyed.
    void Release();

signals:
    // Names asked for have come: what shows them asks again.
    void named();

private:
    struct TRequest {
        QString Resource;
        quint64 Generation = 0;
    };
    void run(); // the asking thread
    void answered(const TRequest& ARequest, const QString& AName);

    // The window's thread only.
    TDbConnection* FConnection = nullptr;
    QCache<QString, QString> FNames;
    QSet<QString> FAsked; // waiting for their answers

    // Shared with the asking thread, under FMutex.
    std::mutex FMutex;
    std::condition_variable FWake;
    std::deque<TRequest> FQueue;
    TDbConnection* FAsking = nullptr; // the connection of the current generation
    quint64 FGeneration = 0;
    bool FStop = false;
    // Held by the asking thread while it uses a connection.
    std::mutex FUse;
    std::thread FThread; // started with the first question
};
