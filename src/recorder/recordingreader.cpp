#include "recorder/recordingreader.h"

TRecordingReader::TRecordingReader(const QString& APath, const TRecordingLimits& ALimits)
    : TRecordingSource(APath, ALimits) {
    FFile = OpenRecordingFile(APath, false, FLimits);
    FInfo = ReadRecordingInfo(*FFile, APath);
    try {
        FHasEvents = RecordingHasEvents(*FFile);
        FData =
            std::make_unique<TSqliteStatement>(*FFile, "SELECT data FROM snapshots WHERE id = ?1");
    } catch (const ESqliteError& e) {
        throw RecordingError(APath, e);
    }
    reload();
}

TRecordingReader::~TRecordingReader() = default;

void TRecordingReader::readLists(std::vector<TListed>& ASnapshots, QList<TRecordingGap>& AGaps,
                                 QList<TRecordingEvent>& AEvents) {
    try {
        TSqliteStatement st(*FFile, "SELECT id, time, full FROM snapshots ORDER BY id");
        while (st.step()) {
            if (qsizetype(ASnapshots.size()) >= FLimits.Snapshots)
                throw tooMany(FLimits.Snapshots);
            ASnapshots.push_back({st.integer(0), st.integer(1), st.integer(2) != 0});
        }
        TSqliteStatement g(*FFile, "SELECT start, end, substr(reason, 1, 1000) FROM gaps "
                                   "ORDER BY start");
        while (g.step()) {
            if (AGaps.size() >= FLimits.Gaps)
                throw tooMany(FLimits.Gaps);
            AGaps.append({g.integer(0), g.integer(1), g.text(2)});
        }
        if (FHasEvents) {
            TSqliteStatement e(*FFile, "SELECT time, substr(kind, 1, 16), substr(rule, 1, 64), "
                                       "substr(key, 1, 1000), substr(subject, 1, 1000), "
                                       "snapshot_time, substr(details, 1, 4000) FROM events "
                                       "ORDER BY time, id");
            while (e.step()) {
                if (AEvents.size() >= FLimits.Events)
                    throw tooMany(FLimits.Events);
                AEvents.append({e.integer(0), e.text(1), e.text(2), e.text(3), e.text(4),
                                e.isNull(5) ? -1 : e.integer(5), e.text(6)});
            }
        }
    } catch (const ESqliteError& e) {
        throw RecordingError(FPath, e);
    }
}

QByteArray TRecordingReader::readData(qint64 AId, qint64) {
    QByteArray data;
    try {
        FData->bind(1, AId);
        if (FData->step())
            data = FData->blob(0);
        FData->reset();
    } catch (const ESqliteError& err) {
        FData->reset();
        throw RecordingError(FPath, err);
    }
    return data;
}
