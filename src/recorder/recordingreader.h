#pragma once
// Reads a recording file back (see recordingfile.h for the format), also one that is
// still being written, or shrunk by retention, while it is read.

#include "recorder/recordingsource.h"

#include <memory>

class TRecordingReader : public TRecordingSource {
public:
    // Opens read-only and reads the list of snapshots. Throws ERecordingError.
    explicit TRecordingReader(const QString& APath, const TRecordingLimits& ALimits = {});
    ~TRecordingReader() override;

    bool readEpisodes(std::vector<TRecordedEpisode>& AEpisodes, qint64& AThroughMs) override;

protected:
    void readLists(std::vector<TListed>& ASnapshots, QList<TRecordingGap>& AGaps,
                   QList<TRecordingEvent>& AEvents) override;
    QByteArray readData(qint64 AId, qint64 ATime) override;

private:
    std::unique_ptr<TSqliteFile> FFile;
    std::unique_ptr<TSqliteStatement> FData;
    bool FHasEvents = false;
};
