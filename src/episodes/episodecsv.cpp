#include "episodes/episodecsv.h"

#include <QDateTime>

namespace {

QString utc(qint64 AMs) {
    return QDateTime::fromMSecsSinceEpoch(AMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

// Days since 1899-12-30, as the session record keeps a login time.
QString serverTime(double ADays) {
    if (ADays == 0)
        return {};
    const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
    return epoch.addMSecs(qRound64(ADays * 86400000.0))
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

} // namespace

QString CsvField(const QString& AText) {
    if (!AText.contains(u',') && !AText.contains(u'"') && !AText.contains(u'\n') &&
        !AText.contains(u'\r'))
        return AText;
    QString quoted = AText;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString EpisodesCsv(const std::vector<TBlockingEpisode>& AEpisodes) {
    QString csv = QStringLiteral(
        "start,end,open,cut_by_gap,duration_ms,head_spid,head_login_time,login,host,program,"
        "database,open_tran,most_waiting,all_waiting,waiters,longest_wait_ms,resources,text\r\n");
    for (const TBlockingEpisode& e : AEpisodes) {
        QStringList waiters;
        for (const int spid : e.Waiters)
            waiters << QString::number(spid);
        const QStringList fields = {utc(e.Start),
                                    utc(e.End),
                                    e.Open ? QStringLiteral("1") : QStringLiteral("0"),
                                    e.CutByGap ? QStringLiteral("1") : QStringLiteral("0"),
                                    QString::number(e.Duration()),
                                    QString::number(e.HeadSPID),
                                    serverTime(e.HeadLoginTime),
                                    e.HeadLogin,
                                    e.HeadHost,
                                    e.HeadProgram,
                                    e.HeadDatabase,
                                    QString::number(e.HeadOpenTran),
                                    QString::number(e.MostWaiting),
                                    QString::number(e.Waiters.size()),
                                    waiters.join(u' '),
                                    QString::number(e.LongestWait),
                                    e.Resources.join(QStringLiteral("; ")),
                                    e.HeadText};
        QStringList quoted;
        for (const QString& f : fields)
            quoted << CsvField(f);
        csv += quoted.join(u',') + QStringLiteral("\r\n");
    }
    return csv;
}
