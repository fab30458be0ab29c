#pragma once
// Recordings in a PostgreSQL database: the schema "dervel", shared by every recorder and
// every server that writes into the database.
//
// Schema (version 1):
//   dervel.schema_version(version integer): one row, the version below.
//   dervel.servers(id integer identity PRIMARY KEY, name text UNIQUE, connect_descr text,
//                  server_version text, with_text boolean, recorder text, created timestamptz)
//     a server's recording: the name it was recorded as (--server's entry, or the
//     connection's Data Source) and the header a file keeps in its meta table.
//   dervel.snapshots(server_id integer, time_ms bigint, id bigint, is_full boolean,
//                    row_count integer, data bytea, PRIMARY KEY (server_id, time_ms, id))
//     partitioned by server (LIST), each server's partition by day (RANGE of time_ms, UTC
//     days): dervel.snapshots_s<server>, dervel.snapshots_s<server>_d<YYYYMMDD>. time_ms,
//     is_full and data as the file's time, full and data (recordingfile.h, rowcodec.h);
//     id from the sequence dervel.snapshot_ids, rising with time within a server. The
//     first snapshot of every day is a full one, so dropping a day's partition leaves
//     every later snapshot readable: retention drops whole days, never rows.
//   dervel.gaps(server_id, start_ms, end_ms, reason), dervel.events(id, server_id, time_ms,
//     kind, rule, key, subject, snapshot_time_ms, details): as the file's gaps and events.
// Every recorder brings the schema up to its version when it starts (under an advisory
// lock, so that recorders starting together do not race); a schema newer than the
// program knows is refused, by the recorder and by the window alike. One recorder at a
// time writes a server's recording: it holds an advisory lock on the server's id for
// as long as its session lasts, so a recorder killed outright lets go with its session.

#include "pgstore/pgconnection.h"

inline constexpr int PgSchemaVersion = 1;

// Brings the schema up to PgSchemaVersion. Throws ERecordingError, also for a newer one.
void MigratePgSchema(TPgConnection& AConnection);
// For reading: the schema must be there and not newer. Throws ERecordingError.
void CheckPgSchema(TPgConnection& AConnection);

// The UTC day a time falls in, as days since 1970-01-01, and where it begins.
inline qint64 PgDayOf(qint64 ATimeMs) {
    return ATimeMs >= 0 ? ATimeMs / 86400000 : (ATimeMs - 86399999) / 86400000;
}
inline qint64 PgDayStartMs(qint64 ADay) {
    return ADay * 86400000;
}
// "dervel.snapshots_s12" and "dervel.snapshots_s12_d20260115"; the day from such a
// name's suffix, nothing for a name of another form.
QString PgServerPartition(int AServerId);
QString PgDayPartition(int AServerId, qint64 ADay);
std::optional<qint64> PgDayOfPartition(const QString& ATableName);
