#include "alerts/alert.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

QString AlertPlainText(const QString& AText, int AMaxLength) {
    QString s = AText.left(AMaxLength);
    for (QChar& c : s)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph || c.category() == QChar::Other_Format)
            c = u' ';
    return s;
}

namespace {

QString seconds(qint64 AMs) {
    return QString::number(double(AMs) / 1000.0, 'f', 0);
}

QString who(const TSummarySession& AS) {
    QStringList parts;
    for (const QString& p : {AS.Login, AS.Host, AS.Program})
        if (!p.isEmpty())
            parts << AlertPlainText(p, 128);
    return parts.isEmpty() ? QStringLiteral("SPID %1").arg(AS.Spid)
                           : QStringLiteral("SPID %1 (%2)").arg(AS.Spid).arg(parts.join(u", "));
}

} // namespace

QString AlertSubjectText(const TAlert& AAlert) {
    if (AAlert.Subject.Spid > 0)
        return who(AAlert.Subject);
    return QCoreApplication::translate("Alerts", "сервер");
}

QString AlertRuleCaptionOf(const TAlert& AAlert) {
    TAlertRule rule;
    rule.Kind = AAlert.Kind;
    rule.Threshold = AAlert.Threshold;
    return AlertRuleCaption(rule);
}

QString AlertSummaryText(const TAlert& AAlert) {
    return QStringLiteral("%1: %2").arg(AlertPlainText(AAlert.Server, 128),
                                        AlertRuleCaptionOf(AAlert));
}

QString AlertBodyText(const TAlert& AAlert) {
    const TSummarySession& s = AAlert.Subject;
    switch (AAlert.Kind) {
    case TAlertKind::Blocking:
        return QCoreApplication::translate("Alerts", "Головной SPID %1: %2, %3, %4.\n"
                                                     "Ожидание %5 с, ждут сеансов: %6.")
            .arg(s.Spid)
            .arg(AlertPlainText(s.Login, 128), AlertPlainText(s.Host, 128),
                 AlertPlainText(s.Program, 128), seconds(AAlert.WaitMs))
            .arg(AAlert.Waiting);
    case TAlertKind::LongRequest:
        return QCoreApplication::translate("Alerts", "SPID %1: %2, %3, %4, база %5.\n"
                                                     "%6 выполняется %7 мин.")
            .arg(s.Spid)
            .arg(AlertPlainText(s.Login, 128), AlertPlainText(s.Host, 128),
                 AlertPlainText(s.Program, 128), AlertPlainText(s.Database, 128),
                 AlertPlainText(s.Command, 64))
            .arg(AAlert.WaitMs / 60000);
    case TAlertKind::BlockedCount:
        return QCoreApplication::translate("Alerts", "Заблокировано сеансов: %1.")
            .arg(AAlert.Waiting);
    case TAlertKind::Unanswered:
        break;
    }
    return QCoreApplication::translate("Alerts", "Сервер не отвечает с %1.")
        .arg(QDateTime::fromMSecsSinceEpoch(AAlert.SinceMs).toString(u"HH:mm:ss"));
}

QString AlertDetailsJson(const TAlert& AAlert) {
    QJsonObject o;
    o[u"server"] = AAlert.Server;
    o[u"threshold"] = AAlert.Threshold;
    o[u"start"] = AAlert.StartMs;
    if (!AAlert.open())
        o[u"end"] = AAlert.EndMs;
    if (AAlert.Subject.Spid > 0) {
        o[u"spid"] = AAlert.Subject.Spid;
        o[u"login"] = AAlert.Subject.Login;
        o[u"host"] = AAlert.Subject.Host;
        o[u"program"] = AAlert.Subject.Program;
        o[u"database"] = AAlert.Subject.Database;
        o[u"command"] = AAlert.Subject.Command;
    }
    o[u"wait_ms"] = AAlert.WaitMs;
    o[u"waiting"] = AAlert.Waiting;
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}
