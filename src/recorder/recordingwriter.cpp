#include "recorder/recordingwriter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <sqlite3.h>

namespace {

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS snapshots(
  id INTEGER PRIMARY KEY,
  time INTEGER NOT NULL,
  full INTEGER NOT NULL,
  row_count INTEGER NOT NULL,
  data BLOB NOT NULL);
CREATE INDEX IF NOT EXISTS snapshots_time ON snapshots(time);
CREATE TABLE IF NOT EXISTS gaps(start INTEGER NOT NULL, end INTEGER NOT NULL, reason TEXT NOT NULL);
)sql";

// Added to a file of any age: one written before events came gains the table when it is
// written to again, and stays readable by the versions that came before.
const char* const kEvents = R"sql(
CREATE TABLE IF NOT EXISTS events(
  id INTEGER PRIMARY KEY,
  time INTEGER NOT NULL,
  kind TEXT NOT NULL,
  rule TEXT NOT NULL,
  key TEXT NOT NULL,
  subject TEXT NOT NULL,
  snapshot_time INTEGER,
  details TEXT NOT NULL);
)sql";

// Also an addition: see recordingfile.h for what the table holds.
const char* const kEpisodes = R"sql(
CREATE TABLE IF NOT EXISTS episodes(
  id INTEGER PRIMARY KEY,
  start INTEGER NOT NULL,
  end INTEGER NOT NULL,
  head_spid INTEGER NOT NULL,
  details TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS episodes_start ON episodes(start);
)sql";

} // namespace

TRecordingWriter::TRecordingWriter(const QString& APath, const TRecordingInfo& AInfo,
                                   std::unique_ptr<TWriterLock> ALock)
    : FPath(APath), FLock(ALock ? std::move(ALock) : std::make_unique<TWriterLock>(APath)) {
    FLock->makePrivate();
    // Only the holder of the lock may decide that an empty file is new.
    const bool existed = QFileInfo(APath).size() > 0;
    FFile = OpenRecordingFile(APath, true);
    try {
        if (existed) {
            // A file that is there must prove to be a recording before anything is written.
            const TRecordingInfo stored = ReadRecordingInfo(*FFile, APath);
            if (stored.Server != AInfo.Server)
                throw ERecordingError(QCoreApplication::translate(
                                          "Recording", "Файл «%1» — запись другого сервера («%2»).")
                                          .arg(APath, stored.Server));
        }
        FFile->exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
        if (existed) {
            TSqliteStatement last(*FFile, "SELECT max(time) FROM snapshots");
            if (last.step() && !last.isNull(0))
                FLastTime = last.integer(0);
        } else {
            FFile->exec("BEGIN");
            FFile->exec(kSchema);
            TSqliteStatement meta(*FFile, "INSERT INTO meta(key, value) VALUES (?, ?)");
            const QList<std::pair<QString, QString>> values = {
                {QStringLiteral("format"), QString::fromLatin1(RecordingFormatName)},
                {QStringLiteral("format_version"), QString::number(RecordingFormatVersion)},
                {QStringLiteral("recorder"), AInfo.Recorder},
                {QStringLiteral("server"), AInfo.Server},
                {QStringLiteral("connect_descr"), AInfo.ConnectDescr},
                {QStringLiteral("server_version"), AInfo.ServerVersion},
                {QStringLiteral("with_text"),
                 AInfo.WithText ? QStringLiteral("1") : QStringLiteral("0")},
                {QStringLiteral("created"),
                 QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}};
            for (const auto& [key, value] : values) {
                meta.bind(1, key).bind(2, value);
                meta.step();
                meta.reset();
            }
            FFile->exec("COMMIT");
        }
        FFile->exec(kEvents);
        FFile->exec(kEpisodes);
        {
            TSqliteStatement through(*FFile, "SELECT value FROM meta WHERE key = ?1");
            through.bind(1, QString::fromLatin1(RecordingEpisodesThroughKey));
            bool ok = false;
            if (through.step())
                FEpisodesThrough = through.text(0).toLongLong(&ok);
            if (!ok)
                FEpisodesThrough = -1;
        }
        FInsert = std::make_unique<TSqliteStatement>(
            *FFile, "INSERT INTO snapshots(time, full, row_count, data) VALUES (?, ?, ?, ?)");
    } catch (const ESqliteError& e) {
        throw RecordingError(APath, e);
    }
}

TRecordingWriter::~TRecordingWriter() = default;

void TRecordingWriter::append(qint64 ATimeMs, const TRecordedRows& ARows) {
    FEncoder.FullEvery = FullEvery;
    TEncodedSnapshot snapshot;
    try {
        snapshot = FEncoder.encode(ARows);
    } catch (const ERecordingFormat& e) {
        throw SnapshotError(FPath, FWritten + 1, e);
    }
    try {
        FInsert->bind(1, ATimeMs)
            .bind(2, qint64(snapshot.Full ? 1 : 0))
            .bind(3, snapshot.RowCount)
            .bind(4, snapshot.Data);
        FInsert->step();
        FInsert->reset();
    } catch (const ESqliteError& e) {
        FInsert->reset();
        throw RecordingError(FPath, e);
    }
    FEncoder.commit();
    FLastTime = ATimeMs;
    ++FWritten;
}

void TRecordingWriter::addGap(qint64 AStartMs, qint64 AEndMs, const QString& AReason) {
    try {
        TSqliteStatement st(*FFile, "INSERT INTO gaps(start, end, reason) VALUES (?, ?, ?)");
        st.bind(1, AStartMs).bind(2, AEndMs).bind(3, AReason);
        st.step();
    } catch (const ESqliteError& e) {
        throw RecordingError(FPath, e);
    }
}

void TRecordingWriter::addEvent(const TRecordingEvent& AEvent) {
    try {
        TSqliteStatement st(*FFile,
                            "INSERT INTO events(time, kind, rule, key, subject, snapshot_time, "
                            "details) VALUES (?, ?, ?, ?, ?, ?, ?)");
        st.bind(1, AEvent.Time)
            .bind(2, AEvent.Kind)
            .bind(3, AEvent.Rule)
            .bind(4, AEvent.Key)
            .bind(5, AEvent.Subject);
        if (AEvent.SnapshotTime >= 0)
            st.bind(6, AEvent.SnapshotTime);
        st.bind(7, AEvent.Details);
        st.step();
    } catch (const ESqliteError& e) {
        throw RecordingError(FPath, e);
    }
}

void TRecordingWriter::addEpisodes(const std::vector<TRecordedEpisode>& AEpisodes,
                                   qint64 AThroughMs) {
    try {
        FFile->exec("BEGIN");
        TSqliteStatement st(*FFile, "INSERT INTO episodes(start, end, head_spid, details) "
                                    "VALUES (?, ?, ?, ?)");
        for (const TRecordedEpisode& e : AEpisodes) {
            st.bind(1, e.Start).bind(2, e.End).bind(3, qint64(e.HeadSPID)).bind(4, e.Details);
            st.step();
            st.reset();
        }
        TSqliteStatement through(*FFile, "INSERT OR REPLACE INTO meta(key, value) VALUES (?1, ?2)");
        through.bind(1, QString::fromLatin1(RecordingEpisodesThroughKey))
            .bind(2, QString::number(AThroughMs));
        through.step();
        FFile->exec("COMMIT");
    } catch (const ESqliteError& e) {
        sqlite3_exec(FFile->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw RecordingError(FPath, e);
    }
    FEpisodesThrough = AThroughMs;
}

void TRecordingWriter::dropBefore(qint64 ATimeMs) {
    try {
        FFile->exec("BEGIN");
        TSqliteStatement keep(*FFile, "SELECT id, time FROM snapshots WHERE full = 1 AND time <= ? "
                                      "ORDER BY id DESC LIMIT 1");
        keep.bind(1, ATimeMs);
        if (keep.step()) {
            const qint64 first = keep.integer(0);
            const qint64 firstTime = keep.integer(1);
            TSqliteStatement drop(*FFile, "DELETE FROM snapshots WHERE id < ?");
            drop.bind(1, first);
            drop.step();
            // A gap before the first snapshot kept is between nothing and something.
            TSqliteStatement gaps(*FFile, "DELETE FROM gaps WHERE end <= ?");
            gaps.bind(1, firstTime);
            gaps.step();
            TSqliteStatement events(*FFile, "DELETE FROM events WHERE time < ?");
            events.bind(1, firstTime);
            events.step();
            TSqliteStatement episodes(*FFile, "DELETE FROM episodes WHERE end < ?");
            episodes.bind(1, firstTime);
            episodes.step();
        }
        FFile->exec("COMMIT");
    } catch (const ESqliteError& e) {
        sqlite3_exec(FFile->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw RecordingError(FPath, e);
    }
}
