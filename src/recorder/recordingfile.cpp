#include "recorder/recordingfile.h"

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

const QString kFormat = QStringLiteral("dervel-recording");

ERecordingError notARecording(const QString& APath) {
    return ERecordingError(
        QCoreApplication::translate("Recording", "Файл «%1» не является записью Dervel.")
            .arg(APath));
}

} // namespace

ERecordingError RecordingError(const QString& APath, const ESqliteError& AError) {
    switch (AError.Code) {
    case SQLITE_NOTADB:
        return notARecording(APath);
    case SQLITE_CORRUPT:
        return ERecordingError(
            QCoreApplication::translate("Recording", "Файл записи «%1» повреждён или обрезан: %2")
                .arg(APath, AError.Message));
    case SQLITE_CANTOPEN:
        return ERecordingError(
            QCoreApplication::translate("Recording", "Не удалось открыть файл записи «%1»: %2")
                .arg(APath, AError.Message));
    default:
        return ERecordingError(
            QCoreApplication::translate("Recording", "Ошибка файла записи «%1»: %2")
                .arg(APath, AError.Message));
    }
}

std::unique_ptr<TSqliteFile> OpenRecordingFile(const QString& APath, bool AWritable) {
    if (!AWritable && !QFileInfo(APath).isFile())
        throw ERecordingError(
            QCoreApplication::translate("Recording", "Файл записи «%1» не найден.").arg(APath));
    try {
        return std::make_unique<TSqliteFile>(APath, AWritable, AWritable);
    } catch (const ESqliteError& e) {
        throw RecordingError(APath, e);
    }
}

TRecordingInfo ReadRecordingInfo(TSqliteFile& AFile, const QString& APath) {
    QHash<QString, QString> meta;
    try {
        TSqliteStatement st(AFile, "SELECT key, value FROM meta");
        while (st.step())
            meta.insert(st.text(0), st.text(1));
    } catch (const ESqliteError& e) {
        if (e.Code == SQLITE_ERROR) // no meta table: some other database
            throw notARecording(APath);
        throw RecordingError(APath, e);
    }
    if (meta.value(QStringLiteral("format")) != kFormat)
        throw notARecording(APath);
    TRecordingInfo info;
    bool ok = false;
    info.FormatVersion = meta.value(QStringLiteral("format_version")).toInt(&ok);
    if (!ok || info.FormatVersion < 1)
        throw notARecording(APath);
    if (info.FormatVersion > RecordingFormatVersion)
        throw ERecordingError(QCoreApplication::translate(
                                  "Recording",
                                  "Запись «%1» сделана более новой версией Dervel (формат %2); "
                                  "эта версия читает формат %3.")
                                  .arg(APath)
                                  .arg(info.FormatVersion)
                                  .arg(RecordingFormatVersion));
    info.Server = meta.value(QStringLiteral("server"));
    info.ConnectDescr = meta.value(QStringLiteral("connect_descr"));
    info.ServerVersion = meta.value(QStringLiteral("server_version"));
    info.WithText = meta.value(QStringLiteral("with_text")) == QLatin1String("1");
    info.Recorder = meta.value(QStringLiteral("recorder"));
    info.Created = QDateTime::fromString(meta.value(QStringLiteral("created")), Qt::ISODate);
    return info;
}

// --- writing ---------------------------------------------------------------------------

TRecordingWriter::TRecordingWriter(const QString& APath, const TRecordingInfo& AInfo)
    : FPath(APath) {
    const bool existed = QFileInfo::exists(APath) && QFileInfo(APath).size() > 0;
    FFile = OpenRecordingFile(APath, true);
    try {
        // A file that is there must prove to be a recording before anything is written.
        if (existed)
            ReadRecordingInfo(*FFile, APath);
        FFile->exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
        if (existed) {
            const TRecordingInfo stored = ReadRecordingInfo(*FFile, APath);
            if (stored.Server != AInfo.Server)
                throw ERecordingError(QCoreApplication::translate(
                                          "Recording", "Файл «%1» — запись другого сервера («%2»).")
                                          .arg(APath, stored.Server));
            TSqliteStatement last(*FFile, "SELECT max(time) FROM snapshots");
            if (last.step() && !last.isNull(0))
                FLastTime = last.integer(0);
        } else {
            FFile->exec("BEGIN");
            FFile->exec(kSchema);
            TSqliteStatement meta(*FFile, "INSERT INTO meta(key, value) VALUES (?, ?)");
            const QList<std::pair<QString, QString>> values = {
                {QStringLiteral("format"), kFormat},
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
        FInsert = std::make_unique<TSqliteStatement>(
            *FFile, "INSERT INTO snapshots(time, full, row_count, data) VALUES (?, ?, ?, ?)");
    } catch (const ESqliteError& e) {
        throw RecordingError(APath, e);
    }
}

TRecordingWriter::~TRecordingWriter() = default;

void TRecordingWriter::append(qint64 ATimeMs, const TRecordedRows& ARows) {
    TRowState current = KeyRows(ARows);
    const bool full = !FHavePrevious || FSinceFull + 1 >= FullEvery;
    static const TRowState none;
    const QByteArray data = qCompress(EncodeSnapshot(full ? none : FPrevious, current));
    try {
        FInsert->bind(1, ATimeMs)
            .bind(2, qint64(full ? 1 : 0))
            .bind(3, qint64(ARows.size()))
            .bind(4, data);
        FInsert->step();
        FInsert->reset();
    } catch (const ESqliteError& e) {
        FInsert->reset();
        throw RecordingError(FPath, e);
    }
    FPrevious = std::move(current);
    FHavePrevious = true;
    FSinceFull = full ? 0 : FSinceFull + 1;
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
        }
        FFile->exec("COMMIT");
    } catch (const ESqliteError& e) {
        sqlite3_exec(FFile->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw RecordingError(FPath, e);
    }
}

// --- reading ---------------------------------------------------------------------------

TRecordingReader::TRecordingReader(const QString& APath) : FPath(APath) {
    FFile = OpenRecordingFile(APath, false);
    FInfo = ReadRecordingInfo(*FFile, APath);
    try {
        FData =
            std::make_unique<TSqliteStatement>(*FFile, "SELECT data FROM snapshots WHERE id = ?");
    } catch (const ESqliteError& e) {
        throw RecordingError(APath, e);
    }
    reload();
}

TRecordingReader::~TRecordingReader() = default;

void TRecordingReader::reload() {
    std::vector<TEntry> index;
    QList<TRecordingGap> gaps;
    try {
        TSqliteStatement st(*FFile, "SELECT id, time, full FROM snapshots ORDER BY id");
        int full = -1;
        while (st.step()) {
            if (st.integer(2))
                full = int(index.size());
            index.push_back({st.integer(0), st.integer(1), full});
        }
        TSqliteStatement g(*FFile, "SELECT start, end, reason FROM gaps ORDER BY start");
        while (g.step())
            gaps.append({g.integer(0), g.integer(1), g.text(2)});
    } catch (const ESqliteError& e) {
        throw RecordingError(FPath, e);
    }
    // The ids stay the same when the file grows: what was read stays valid.
    if (FStateAt >= 0 && (std::size_t(FStateAt) >= index.size() ||
                          index[std::size_t(FStateAt)].Id != FIndex[std::size_t(FStateAt)].Id))
        FStateAt = -1;
    FIndex = std::move(index);
    FGaps = std::move(gaps);
}

int TRecordingReader::indexAt(qint64 ATimeMs) const {
    if (FIndex.empty())
        return -1;
    const auto after = std::upper_bound(FIndex.begin(), FIndex.end(), ATimeMs,
                                        [](qint64 t, const TEntry& e) { return t < e.Time; });
    return after == FIndex.begin() ? 0 : int(after - FIndex.begin()) - 1;
}

std::optional<TRecordingGap> TRecordingReader::gapBefore(int AIndex) const {
    if (AIndex <= 0 || AIndex >= count())
        return std::nullopt;
    const qint64 from = timeAt(AIndex - 1);
    const qint64 to = timeAt(AIndex);
    for (const TRecordingGap& g : FGaps)
        if (g.End > from && g.Start < to)
            return g;
    return std::nullopt;
}

void TRecordingReader::applyEntry(int AIndex) {
    const TEntry& e = FIndex[std::size_t(AIndex)];
    QByteArray data;
    try {
        FData->bind(1, e.Id);
        if (FData->step())
            data = FData->blob(0);
        FData->reset();
    } catch (const ESqliteError& err) {
        FData->reset();
        FStateAt = -1;
        throw RecordingError(FPath, err);
    }
    const QByteArray bytes = qUncompress(data);
    try {
        if (bytes.isEmpty() && !data.isEmpty())
            throw ERecordingFormat();
        if (e.Full == AIndex)
            FState.clear();
        ApplySnapshot(FState, bytes);
    } catch (const ERecordingFormat&) {
        FStateAt = -1;
        throw ERecordingError(QCoreApplication::translate(
                                  "Recording", "Файл записи «%1» повреждён: снимок %2 не читается.")
                                  .arg(FPath)
                                  .arg(e.Id));
    }
    FStateAt = AIndex;
}

const TRowState& TRecordingReader::rowsAt(int AIndex) {
    const TEntry& e = FIndex.at(std::size_t(AIndex));
    if (e.Full < 0)
        throw ERecordingError(QCoreApplication::translate(
                                  "Recording", "Файл записи «%1» повреждён: снимок %2 не читается.")
                                  .arg(FPath)
                                  .arg(e.Id));
    const bool onTheWay = FStateAt >= e.Full && FStateAt <= AIndex;
    for (int i = onTheWay ? FStateAt + 1 : e.Full; i <= AIndex; ++i)
        applyEntry(i);
    return FState;
}
