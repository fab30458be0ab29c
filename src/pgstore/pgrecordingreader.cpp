#include "pgstore/pgrecordingreader.h"

#include "pgstore/pgschema.h"

#include <QCoreApplication>

namespace {

QString number(qint64 AValue) {
    return QString::number(AValue);
}

} // namespace

QList<TPgRecordedServer> ListPgRecordings(const QString& AAddress) {
    TPgConnection db(AAddress);
    CheckPgSchema(db);
    // Each server's span from its own partitions' primary key: a few index probes.
    const TPgResult r = db.exec(QStringLiteral(
        "SELECT s.name, x.first, x.last, x.n FROM dervel.servers s "
        "LEFT JOIN LATERAL (SELECT min(time_ms) AS first, max(time_ms) AS last, count(*) AS n "
        "FROM dervel.snapshots WHERE server_id = s.id) x ON true ORDER BY s.name"));
    QList<TPgRecordedServer> servers;
    for (int i = 0; i < r.rows(); ++i)
        servers.append({r.text(i, 0), r.isNull(i, 1) ? -1 : r.integer(i, 1),
                        r.isNull(i, 2) ? -1 : r.integer(i, 2), r.integer(i, 3)});
    return servers;
}

TPgRecordingReader::TPgRecordingReader(const QString& AAddress, const QString& AServer,
                                       const TRecordingLimits& ALimits)
    : TRecordingSource(AServer, ALimits), FDb(std::make_unique<TPgConnection>(AAddress)) {
    CheckPgSchema(*FDb);
    FPath = QCoreApplication::translate("PgStore", "%1 в %2").arg(AServer, FDb->where());
    const TPgResult s = FDb->exec(
        QStringLiteral("SELECT id, connect_descr, server_version, with_text, recorder, "
                       "to_char(created AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"') "
                       "FROM dervel.servers WHERE name = $1"),
        {AServer});
    if (s.rows() == 0)
        throw ERecordingError(
            QCoreApplication::translate("PgStore", "В базе %1 нет записи сервера «%2».")
                .arg(FDb->where(), AServer));
    FServerId = int(s.integer(0, 0));
    FInfo.Server = AServer;
    FInfo.ConnectDescr = s.text(0, 1);
    FInfo.ServerVersion = s.text(0, 2);
    FInfo.WithText = s.integer(0, 3) != 0;
    FInfo.Recorder = s.text(0, 4);
    FInfo.Created = QDateTime::fromString(s.text(0, 5), Qt::ISODateWithMs);
    reload();
}

TPgRecordingReader::~TPgRecordingReader() = default;

void TPgRecordingReader::readLists(std::vector<TListed>& ASnapshots, QList<TRecordingGap>& AGaps,
                                   QList<TRecordingEvent>& AEvents) {
    const QString server = number(FServerId);
    // The caps go into the statements: a database holds what anyone on the team wrote.
    const TPgResult s = FDb->exec(
        QStringLiteral("SELECT id, time_ms, is_full FROM dervel.snapshots WHERE server_id = $1 "
                       "ORDER BY time_ms, id LIMIT $2"),
        {server, number(FLimits.Snapshots + 1)});
    if (s.rows() > FLimits.Snapshots)
        throw tooMany(FLimits.Snapshots);
    ASnapshots.reserve(std::size_t(s.rows()));
    for (int i = 0; i < s.rows(); ++i)
        ASnapshots.push_back({s.integer(i, 0), s.integer(i, 1), s.integer(i, 2) != 0});
    const TPgResult g =
        FDb->exec(QStringLiteral("SELECT start_ms, end_ms, left(reason, 1000) FROM dervel.gaps "
                                 "WHERE server_id = $1 ORDER BY start_ms LIMIT $2"),
                  {server, number(FLimits.Gaps + 1)});
    if (g.rows() > FLimits.Gaps)
        throw tooMany(FLimits.Gaps);
    for (int i = 0; i < g.rows(); ++i)
        AGaps.append({g.integer(i, 0), g.integer(i, 1), g.text(i, 2)});
    const TPgResult e = FDb->exec(
        QStringLiteral("SELECT time_ms, left(kind, 16), left(rule, 64), left(key, 1000), "
                       "left(subject, 1000), snapshot_time_ms, left(details, 4000) "
                       "FROM dervel.events WHERE server_id = $1 ORDER BY time_ms, id LIMIT $2"),
        {server, number(FLimits.Events + 1)});
    if (e.rows() > FLimits.Events)
        throw tooMany(FLimits.Events);
    for (int i = 0; i < e.rows(); ++i)
        AEvents.append({e.integer(i, 0), e.text(i, 1), e.text(i, 2), e.text(i, 3), e.text(i, 4),
                        e.isNull(i, 5) ? -1 : e.integer(i, 5), e.text(i, 6)});
}

QByteArray TPgRecordingReader::readData(qint64 AId, qint64 ATime) {
    // By the whole key, so that only the day's partition is looked at.
    const TPgResult r = FDb->exec(
        QStringLiteral("SELECT data FROM dervel.snapshots WHERE server_id = $1 AND time_ms = $2 "
                       "AND id = $3"),
        {number(FServerId), number(ATime), number(AId)}, nullptr, true);
    // A snapshot gone since the list was read (retention) reads as damaged: the caller
    // reloads the list.
    return r.rows() ? r.bytes(0, 0) : QByteArray();
}
