#include "recorder/recordingreader.h"

#include <sqlite3.h>

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

bool TRecordingReader::readEpisodes(std::vector<TRecordedEpisode>& AEpisodes, qint64& AThroughMs) {
    try {
        // A writer may have added the table since the file was opened.
        if (!RecordingHasEpisodes(*FFile))
            return false;
        // The reach and the rows in one read transaction: a writer adds both at once.
        FFile->exec("BEGIN");
        TSqliteStatement through(*FFile,
                                 "SELECT substr(value, 1, 32) FROM meta WHERE key = ?1 LIMIT 1");
        through.bind(1, QString::fromLatin1(RecordingEpisodesThroughKey));
        bool ok = false;
        if (through.step())
            AThroughMs = through.text(0).toLongLong(&ok);
        if (!ok) {
            FFile->exec("COMMIT");
            return false;
        }
        TSqliteStatement st(*FFile, "SELECT start, end, head_spid, substr(details, 1, 1000000) "
                                    "FROM episodes WHERE start <= ?1 ORDER BY start, id");
        st.bind(1, AThroughMs);
        AEpisodes.clear();
        while (st.step()) {
            if (qsizetype(AEpisodes.size()) >= FLimits.Episodes) {
                FFile->exec("COMMIT");
                throw tooMany(FLimits.Episodes);
            }
            AEpisodes.push_back({st.integer(0), st.integer(1), int(st.integer(2)), st.text(3)});
        }
        FFile->exec("COMMIT");
    } catch (const ESqliteError& e) {
        sqlite3_exec(FFile->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw RecordingError(FPath, e);
    }
    return true;
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
