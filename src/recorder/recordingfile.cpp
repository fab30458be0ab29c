#include "recorder/recordingfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <sqlite3.h>

namespace {

ERecordingError notARecording(const QString& APath) {
    return ERecordingError(
        QCoreApplication::translate("Recording", "Файл «%1» не является записью Dervel.")
            .arg(APath));
}

// A view would be a query of the file's author's, run by us; a virtual table a module's,
// a generated column an expression's. Only a plain table is one pass over stored rows.
void checkPlainTable(TSqliteFile& AFile, const QString& APath, const char* ATable) {
    TSqliteStatement kind(AFile, "SELECT type, sql FROM sqlite_schema WHERE name = ?1 "
                                 "COLLATE NOCASE");
    kind.bind(1, QString::fromLatin1(ATable));
    if (!kind.step() || kind.text(0) != QLatin1String("table") ||
        !kind.text(1).startsWith(QLatin1String("CREATE TABLE"), Qt::CaseInsensitive) || kind.step())
        throw notARecording(APath);
    TSqliteStatement columns(AFile, "SELECT count(*) FROM pragma_table_xinfo(?1) WHERE hidden");
    columns.bind(1, QString::fromLatin1(ATable));
    if (!columns.step() || columns.integer(0) != 0)
        throw notARecording(APath);
}

QString metaValue(TSqliteFile& AFile, const char* AKey) {
    // One row per key, whatever the table allows, and no value longer than a header's.
    TSqliteStatement st(AFile, "SELECT substr(value, 1, 4096) FROM meta WHERE key = ?1 LIMIT 1");
    st.bind(1, QString::fromLatin1(AKey));
    return st.step() ? st.text(0) : QString();
}

} // namespace

bool RecordingHasEvents(TSqliteFile& AFile) {
    TSqliteStatement st(AFile, "SELECT 1 FROM sqlite_schema WHERE name = 'events' COLLATE NOCASE");
    return st.step();
}

bool RecordingHasEpisodes(TSqliteFile& AFile) {
    TSqliteStatement st(AFile,
                        "SELECT 1 FROM sqlite_schema WHERE name = 'episodes' COLLATE NOCASE");
    return st.step();
}

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

ERecordingError SnapshotError(const QString& APath, qint64 AId, const ERecordingFormat& AError) {
    if (AError.Why == ERecordingFormat::TWhy::TooLarge)
        return ERecordingError(
            QCoreApplication::translate("Recording",
                                        "Файл записи «%1»: снимок %2 занял бы больше памяти, "
                                        "чем отводится на снимок. Такого Dervel не записывает: "
                                        "файл повреждён или подделан.")
                .arg(APath)
                .arg(AId));
    return ERecordingError(QCoreApplication::translate(
                               "Recording", "Файл записи «%1» повреждён: снимок %2 не читается.")
                               .arg(APath)
                               .arg(AId));
}

std::unique_ptr<TSqliteFile> OpenRecordingFile(const QString& APath, bool AWritable,
                                               const TRecordingLimits& ALimits) {
    if (!AWritable && !QFileInfo(APath).isFile())
        throw ERecordingError(
            QCoreApplication::translate("Recording", "Файл записи «%1» не найден.").arg(APath));
    try {
        auto file = std::make_unique<TSqliteFile>(APath, AWritable, AWritable);
        // A snapshot's compressed data is never longer than what it inflates to, give or
        // take zlib's few bytes per block.
        file->guardAgainstHostileFile(int(ALimits.SnapshotBytes + (ALimits.SnapshotBytes >> 8)));
        return file;
    } catch (const ESqliteError& e) {
        throw RecordingError(APath, e);
    }
}

TRecordingInfo ReadRecordingInfo(TSqliteFile& AFile, const QString& APath) {
    QString format, version;
    TRecordingInfo info;
    try {
        for (const char* table : {"meta", "snapshots", "gaps"})
            checkPlainTable(AFile, APath, table);
        if (RecordingHasEvents(AFile))
            checkPlainTable(AFile, APath, "events");
        if (RecordingHasEpisodes(AFile))
            checkPlainTable(AFile, APath, "episodes");
        format = metaValue(AFile, "format");
        version = metaValue(AFile, "format_version");
        info.Server = metaValue(AFile, "server");
        info.ConnectDescr = metaValue(AFile, "connect_descr");
        info.ServerVersion = metaValue(AFile, "server_version");
        info.WithText = metaValue(AFile, "with_text") == QLatin1String("1");
        info.Recorder = metaValue(AFile, "recorder");
        info.Created = QDateTime::fromString(metaValue(AFile, "created"), Qt::ISODate);
    } catch (const ESqliteError& e) {
        if (e.Code == SQLITE_ERROR) // a table without the columns of a recording
            throw notARecording(APath);
        throw RecordingError(APath, e);
    }
    if (format != QLatin1String(RecordingFormatName))
        throw notARecording(APath);
    bool ok = false;
    info.FormatVersion = version.toInt(&ok);
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
    return info;
}
