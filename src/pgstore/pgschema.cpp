#include "pgstore/pgschema.h"

#include <QCoreApplication>
#include <QDate>
#include <QRegularExpression>

namespace {

// Whatever else lives in the database: the lock is ours alone by its first key.
constexpr int kLockSpace = 0x44657276; // "Derv"
constexpr int kMigrationLock = 0;

// Migration n brings version n-1 to n. Only ever appended to: a database at version n
// has run the first n exactly as they stand here.
const char* const kMigrations[] = {
    R"sql(
CREATE TABLE dervel.servers(
  id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  name text NOT NULL UNIQUE,
  connect_descr text NOT NULL DEFAULT '',
  server_version text NOT NULL DEFAULT '',
  with_text boolean NOT NULL DEFAULT false,
  recorder text NOT NULL DEFAULT '',
  created timestamptz NOT NULL DEFAULT now());
CREATE SEQUENCE dervel.snapshot_ids;
CREATE TABLE dervel.snapshots(
  server_id integer NOT NULL,
  time_ms bigint NOT NULL,
  id bigint NOT NULL DEFAULT nextval('dervel.snapshot_ids'),
  is_full boolean NOT NULL,
  row_count integer NOT NULL,
  data bytea NOT NULL,
  PRIMARY KEY (server_id, time_ms, id)) PARTITION BY LIST (server_id);
-- The data is compressed already: another pass of PostgreSQL's own would cost CPU for
-- nothing.
ALTER TABLE dervel.snapshots ALTER COLUMN data SET STORAGE EXTERNAL;
CREATE TABLE dervel.gaps(
  server_id integer NOT NULL REFERENCES dervel.servers ON DELETE CASCADE,
  start_ms bigint NOT NULL,
  end_ms bigint NOT NULL,
  reason text NOT NULL);
CREATE INDEX gaps_by_server ON dervel.gaps(server_id, start_ms);
CREATE TABLE dervel.events(
  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  server_id integer NOT NULL REFERENCES dervel.servers ON DELETE CASCADE,
  time_ms bigint NOT NULL,
  kind text NOT NULL,
  rule text NOT NULL,
  key text NOT NULL,
  subject text NOT NULL,
  snapshot_time_ms bigint,
  details text NOT NULL);
CREATE INDEX events_by_server ON dervel.events(server_id, time_ms);
)sql",
};
static_assert(std::size(kMigrations) == PgSchemaVersion);

// The version in the database: 0 where there is no schema of ours yet.
int storedVersion(TPgConnection& AConnection) {
    const TPgResult exists =
        AConnection.exec(QStringLiteral("SELECT to_regclass('dervel.schema_version') IS NOT NULL"));
    if (!exists.integer(0, 0))
        return 0;
    const TPgResult v = AConnection.exec(
        QStringLiteral("SELECT coalesce(max(version), 0) FROM dervel.schema_version"));
    return int(v.integer(0, 0));
}

void refuseNewer(TPgConnection& AConnection, int AVersion) {
    if (AVersion > PgSchemaVersion)
        throw ERecordingError(QCoreApplication::translate(
                                  "PgStore", "Записи в базе %1 хранятся в схеме версии %2, более "
                                             "новой, чем знает эта версия Dervel (до %3). Обновите "
                                             "Dervel.")
                                  .arg(AConnection.where())
                                  .arg(AVersion)
                                  .arg(PgSchemaVersion));
}

} // namespace

void MigratePgSchema(TPgConnection& AConnection) {
    AConnection.exec(QStringLiteral("BEGIN"));
    try {
        AConnection.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1, %2)")
                             .arg(kLockSpace)
                             .arg(kMigrationLock));
        const int version = storedVersion(AConnection);
        refuseNewer(AConnection, version);
        if (version == 0)
            AConnection.exec(
                QStringLiteral("CREATE SCHEMA IF NOT EXISTS dervel;"
                               "CREATE TABLE dervel.schema_version(version integer NOT NULL);"
                               "INSERT INTO dervel.schema_version VALUES (0)"));
        for (int v = version; v < PgSchemaVersion; ++v)
            AConnection.exec(QString::fromUtf8(kMigrations[v]));
        if (version < PgSchemaVersion)
            AConnection.exec(QStringLiteral("UPDATE dervel.schema_version SET version = %1")
                                 .arg(PgSchemaVersion));
        AConnection.exec(QStringLiteral("COMMIT"));
    } catch (...) {
        try {
            AConnection.exec(QStringLiteral("ROLLBACK"));
        } catch (const ERecordingError&) {
        }
        throw;
    }
}

void CheckPgSchema(TPgConnection& AConnection) {
    const int version = storedVersion(AConnection);
    if (version == 0)
        throw ERecordingError(
            QCoreApplication::translate("PgStore", "В базе %1 нет записей Dervel.")
                .arg(AConnection.where()));
    refuseNewer(AConnection, version);
}

QString PgServerPartition(int AServerId) {
    return QStringLiteral("dervel.snapshots_s%1").arg(AServerId);
}

QString PgDayPartition(int AServerId, qint64 ADay) {
    return QStringLiteral("dervel.snapshots_s%1_d%2")
        .arg(AServerId)
        .arg(QDate(1970, 1, 1).addDays(ADay).toString(QStringLiteral("yyyyMMdd")));
}

std::optional<qint64> PgDayOfPartition(const QString& ATableName) {
    static const QRegularExpression form(QStringLiteral("^snapshots_s\\d+_d(\\d{8})$"));
    const QRegularExpressionMatch m = form.match(ATableName);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate day = QDate::fromString(m.captured(1), QStringLiteral("yyyyMMdd"));
    if (!day.isValid())
        return std::nullopt;
    return QDate(1970, 1, 1).daysTo(day);
}
