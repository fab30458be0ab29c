#include "pgstore/pgrecordingwriter.h"

#include "pgstore/pgschema.h"

#include <QCoreApplication>

namespace {

constexpr int kLockSpace = 0x44657277; // "Derw": a server's writer

QString number(qint64 AValue) {
    return QString::number(AValue);
}

} // namespace

TPgRecordingWriter::TPgRecordingWriter(const QString& AAddress, const TRecordingInfo& AInfo)
    : FDb(std::make_unique<TPgConnection>(AAddress)), FName(AInfo.Server) {
    MigratePgSchema(*FDb);
    // Like SQLite's synchronous=NORMAL for a file: a commit is acknowledged once it is in
    // the server's WAL buffers, not yet on disk. A recorder killed loses nothing it was
    // told was stored; only a crash of the database server itself may lose its last
    // fraction of a second.
    FDb->exec(QStringLiteral("SET synchronous_commit = off"));
    const TPgResult row = FDb->exec(
        QStringLiteral("INSERT INTO dervel.servers(name, connect_descr, server_version, "
                       "with_text, recorder) VALUES ($1, $2, $3, $4, $5) "
                       "ON CONFLICT (name) DO UPDATE SET connect_descr = EXCLUDED.connect_descr, "
                       "server_version = EXCLUDED.server_version RETURNING id"),
        {AInfo.Server, AInfo.ConnectDescr, AInfo.ServerVersion,
         AInfo.WithText ? QStringLiteral("true") : QStringLiteral("false"), AInfo.Recorder});
    FServerId = int(row.integer(0, 0));
    takeLock();
    FDb->exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 PARTITION OF dervel.snapshots FOR "
                             "VALUES IN (%2) PARTITION BY RANGE (time_ms)")
                  .arg(PgServerPartition(FServerId))
                  .arg(FServerId));
    const TPgResult last =
        FDb->exec(QStringLiteral("SELECT max(time_ms) FROM %1").arg(PgServerPartition(FServerId)));
    if (!last.isNull(0, 0))
        FLastTime = last.integer(0, 0);
}

TPgRecordingWriter::~TPgRecordingWriter() = default;

void TPgRecordingWriter::takeLock() {
    const TPgResult locked = FDb->exec(
        QStringLiteral("SELECT pg_try_advisory_lock(%1, %2)").arg(kLockSpace).arg(FServerId));
    if (!locked.integer(0, 0))
        throw ERecordingError(
            QCoreApplication::translate("PgStore", "Запись сервера «%1» в базу %2 уже ведёт другой "
                                                   "регистратор.")
                .arg(FName, FDb->where()));
}

QString TPgRecordingWriter::where() const {
    return FDb->where();
}

template <class F> void TPgRecordingWriter::retrying(F AStep) {
    try {
        AStep();
    } catch (const ERecordingError&) {
        if (FDb->alive() || !FDb->reset())
            throw;
        FDb->exec(QStringLiteral("SET synchronous_commit = off"));
        takeLock();
        AStep();
    }
}

void TPgRecordingWriter::ensureDay(qint64 ADay) {
    if (FDays.contains(ADay))
        return;
    // Another run may have made it, or retention of an older run dropped it: either way
    // "if not exists" is right.
    FDb->exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 PARTITION OF %2 FOR VALUES FROM "
                             "(%3) TO (%4)")
                  .arg(PgDayPartition(FServerId, ADay), PgServerPartition(FServerId),
                       number(PgDayStartMs(ADay)), number(PgDayStartMs(ADay + 1))));
    FDays.insert(ADay);
}

void TPgRecordingWriter::append(qint64 ATimeMs, const TRecordedRows& ARows) {
    const qint64 day = PgDayOf(ATimeMs);
    FEncoder.FullEvery = FullEvery;
    TEncodedSnapshot snapshot;
    try {
        // Every day begins whole, so that a day can go without taking the next with it.
        snapshot = FEncoder.encode(ARows, day != FLastDay);
    } catch (const ERecordingFormat& e) {
        throw SnapshotError(where(), FWritten + 1, e);
    }
    retrying([&] {
        ensureDay(day);
        FDb->exec(QStringLiteral("INSERT INTO %1(server_id, time_ms, is_full, row_count, data) "
                                 "VALUES (%2, $1, $2, $3, $4)")
                      .arg(PgServerPartition(FServerId))
                      .arg(FServerId),
                  {number(ATimeMs),
                   snapshot.Full ? QStringLiteral("true") : QStringLiteral("false"),
                   number(snapshot.RowCount)},
                  &snapshot.Data);
    });
    FEncoder.commit();
    FLastDay = day;
    FLastTime = ATimeMs;
    ++FWritten;
}

void TPgRecordingWriter::addGap(qint64 AStartMs, qint64 AEndMs, const QString& AReason) {
    retrying([&] {
        FDb->exec(QStringLiteral("INSERT INTO dervel.gaps(server_id, start_ms, end_ms, reason) "
                                 "VALUES ($1, $2, $3, $4)"),
                  {number(FServerId), number(AStartMs), number(AEndMs), AReason});
    });
}

void TPgRecordingWriter::addEvent(const TRecordingEvent& AEvent) {
    retrying([&] {
        FDb->exec(
            QStringLiteral("INSERT INTO dervel.events(server_id, time_ms, kind, rule, key, "
                           "subject, snapshot_time_ms, details) "
                           "VALUES ($1, $2, $3, $4, $5, $6, $7, $8)"),
            {number(FServerId), number(AEvent.Time), AEvent.Kind, AEvent.Rule, AEvent.Key,
             AEvent.Subject,
             AEvent.SnapshotTime >= 0 ? std::optional(number(AEvent.SnapshotTime)) : std::nullopt,
             AEvent.Details});
    });
}

void TPgRecordingWriter::dropBefore(qint64 ATimeMs) {
    retrying([&] {
        const TPgResult keep = FDb->exec(
            QStringLiteral("SELECT time_ms FROM %1 WHERE is_full AND time_ms <= $1 ORDER BY "
                           "time_ms DESC LIMIT 1")
                .arg(PgServerPartition(FServerId)),
            {number(ATimeMs)});
        if (keep.rows() == 0)
            return;
        const qint64 keepDay = PgDayOf(keep.integer(0, 0));
        const TPgResult days = FDb->exec(
            QStringLiteral("SELECT c.relname FROM pg_inherits i JOIN pg_class c ON c.oid = "
                           "i.inhrelid WHERE i.inhparent = $1::regclass"),
            {PgServerPartition(FServerId)});
        bool dropped = false;
        for (int i = 0; i < days.rows(); ++i) {
            const std::optional<qint64> day = PgDayOfPartition(days.text(i, 0));
            if (!day || *day >= keepDay)
                continue;
            FDb->exec(
                QStringLiteral("DROP TABLE IF EXISTS %1").arg(PgDayPartition(FServerId, *day)));
            FDays.remove(*day);
            dropped = true;
        }
        if (!dropped)
            return;
        // Gaps and events are a few rows a day: those before what is left go row by row.
        const TPgResult left = FDb->exec(
            QStringLiteral("SELECT min(time_ms) FROM %1").arg(PgServerPartition(FServerId)));
        if (left.isNull(0, 0))
            return;
        const QString first = number(left.integer(0, 0));
        FDb->exec(QStringLiteral("DELETE FROM dervel.gaps WHERE server_id = $1 AND end_ms <= $2"),
                  {number(FServerId), first});
        FDb->exec(QStringLiteral("DELETE FROM dervel.events WHERE server_id = $1 AND time_ms < $2"),
                  {number(FServerId), first});
    });
}
