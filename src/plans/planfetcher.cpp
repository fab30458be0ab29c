#include "plans/planfetcher.h"

#include "database/dbconnection.h"

TPlanFetcher::TPlanFetcher(QObject* parent) : QObject(parent) {}

TPlanFetcher::~TPlanFetcher() {
    if (FThread.joinable())
        FThread.join();
}

bool TPlanFetcher::Read(std::shared_ptr<TDbConnection> AConnection, int ASPID, int ARequestID) {
    if (!AConnection || FBusy.exchange(true))
        return false;
    if (FThread.joinable())
        FThread.join(); // the last read's, which has posted its answer already
    FThread = std::thread([this, AConnection = std::move(AConnection), ASPID, ARequestID] {
        TPlanRead read;
        {
            // A disconnect waits for this read as for a query.
            const TDbConnection::TUse counted(*AConnection);
            read = ReadRequestPlan(*AConnection, ASPID, ARequestID);
        }
        QMetaObject::invokeMethod(
            this,
            [this, read] {
                FBusy = false;
                emit Done(read);
            },
            Qt::QueuedConnection);
    });
    return true;
}
