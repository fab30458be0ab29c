#include "episodes/episodecodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

TRecordedEpisode RecordedEpisodeOf(const TBlockingEpisode& AEpisode) {
    QJsonArray waiters;
    for (const int spid : AEpisode.Waiters)
        waiters.append(spid);
    QJsonObject o{{QStringLiteral("head_login_time"), AEpisode.HeadLoginTime},
                  {QStringLiteral("login"), AEpisode.HeadLogin},
                  {QStringLiteral("host"), AEpisode.HeadHost},
                  {QStringLiteral("program"), AEpisode.HeadProgram},
                  {QStringLiteral("database"), AEpisode.HeadDatabase},
                  {QStringLiteral("open_tran"), AEpisode.HeadOpenTran},
                  {QStringLiteral("most_waiting"), AEpisode.MostWaiting},
                  {QStringLiteral("waiters"), waiters},
                  {QStringLiteral("longest_wait_ms"), AEpisode.LongestWait},
                  {QStringLiteral("resources"), QJsonArray::fromStringList(AEpisode.Resources)}};
    if (!AEpisode.HeadText.isEmpty())
        o.insert(QStringLiteral("text"), AEpisode.HeadText);
    if (AEpisode.CutByGap)
        o.insert(QStringLiteral("cut_by_gap"), true);
    return {AEpisode.Start, AEpisode.End, AEpisode.HeadSPID,
            QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact))};
}

TBlockingEpisode EpisodeOfRecorded(const TRecordedEpisode& ARecorded) {
    TBlockingEpisode e;
    e.Start = ARecorded.Start;
    e.End = std::max(ARecorded.Start, ARecorded.End);
    e.HeadSPID = ARecorded.HeadSPID;
    const QJsonObject o = QJsonDocument::fromJson(ARecorded.Details.toUtf8()).object();
    e.HeadLoginTime = o.value(QStringLiteral("head_login_time")).toDouble();
    e.HeadLogin = o.value(QStringLiteral("login")).toString();
    e.HeadHost = o.value(QStringLiteral("host")).toString();
    e.HeadProgram = o.value(QStringLiteral("program")).toString();
    e.HeadDatabase = o.value(QStringLiteral("database")).toString();
    e.HeadOpenTran = o.value(QStringLiteral("open_tran")).toInt();
    e.HeadText = o.value(QStringLiteral("text")).toString();
    e.CutByGap = o.value(QStringLiteral("cut_by_gap")).toBool();
    e.MostWaiting = o.value(QStringLiteral("most_waiting")).toInt();
    for (const QJsonValue v : o.value(QStringLiteral("waiters")).toArray())
        e.Waiters.append(v.toInt());
    e.LongestWait = qint32(o.value(QStringLiteral("longest_wait_ms")).toInteger());
    for (const QJsonValue v : o.value(QStringLiteral("resources")).toArray())
        e.Resources.append(v.toString());
    return e;
}
