#pragma once
// Reads a server's recording back from a PostgreSQL database (pgschema.h), as a file is
// read: also while recorders write it and retention drops its oldest days. The list of
// the servers recorded there, with their spans, is what the window offers to open.

#include "pgstore/pgconnection.h"
#include "recorder/recordingsource.h"

struct TPgRecordedServer {
    QString Name;
    qint64 First = -1; // the first and last snapshot's time; -1 for a recording without one
    qint64 Last = -1;
    qint64 Snapshots = 0;
    bool operator==(const TPgRecordedServer&) const = default;
};

// The servers recorded in the database, by name. Throws ERecordingError, also for a
// database without recordings or with a newer schema.
QList<TPgRecordedServer> ListPgRecordings(const QString& AAddress);

class TPgRecordingReader : public TRecordingSource {
public:
    // Connects and reads the list of the server's snapshots. Throws ERecordingError.
    TPgRecordingReader(const QString& AAddress, const QString& AServer,
                       const TRecordingLimits& ALimits = {});
    ~TPgRecordingReader() override;

protected:
    void readLists(std::vector<TListed>& ASnapshots, QList<TRecordingGap>& AGaps,
                   QList<TRecordingEvent>& AEvents) override;
    QByteArray readData(qint64 AId, qint64 ATime) override;

private:
    std::unique_ptr<TPgConnection> FDb;
    int FServerId = 0;
};
