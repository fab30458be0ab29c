#include "actions/killsession.h"

#include "database/dbconnection.h"
#include "database/dberror.h"
#include "prompts/prompts.h"
#include "sampling/querycomposition.h"

#include <QCoreApplication>

QString KillQuestionText(int ASPID, const QString& ALogin) {
    return QCoreApplication::translate("KillSession", "Завершить процесс SPID=%1, Login=%2?")
        .arg(QString::number(ASPID), ALogin);
}

QString SessionCheckStatement(int ASPID, const QString& ALogin) {
    return QStringLiteral("select session_id from sys.dm_exec_sessions where session_id=%1 and "
                          "login_name=N'%2'")
        .arg(QString::number(ASPID), QuoteSqlLiteralText(ALogin));
}

QString SessionNotFoundText(int ASPID, const QString& ALogin) {
    return QCoreApplication::translate("KillSession", "Процесс SPID=%1, Login=%2 не найден.")
        .arg(QString::number(ASPID), ALogin);
}

QString KillStatement(int ASPID) {
    return QStringLiteral("kill ") + QString::number(ASPID);
}

QString KillReportLine(int ASPID, const QString& AMessage) {
    return QStringLiteral("SPID ") + QString::number(ASPID) + QStringLiteral(": ") + AMessage +
           QStringLiteral("\r\n");
}

TKillOutcome KillSession(const TMonitorRec& ARec, TDbConnection& AConnection) {
    // The values are fixed now: snapshots arriving while the box is open must not
    // change what is asked, checked and ended.
    const int spid = ARec.SPID;
    const QString login = ARec.Login;
    if (ShowMessage(KillQuestionText(spid, login),
                    QCoreApplication::translate("KillSession", "Kill process"), TMsgIcon::Question,
                    TMsgButtons::YesNo, TMsgResult::Yes) != TMsgResult::Yes)
        return TKillOutcome::Declined;
    try {
        const TDbRecordset found = AConnection.execute(SessionCheckStatement(spid, login));
        if (found.bof() && found.eof())
            throw EDbError(SessionNotFoundText(spid, login));
        AConnection.execute(KillStatement(spid));
        return TKillOutcome::Killed;
    } catch (const EDbError& e) {
        ShowError(e.message());
        return TKillOutcome::Failed;
    }
}

QString KillMarkedSessions(const QList<PMonitorRec>& ARows, const QList<int>& AMarked,
                           TDbConnection& AConnection) {
    QString report;
    // A session with several requests or connections has several rows; it is ended once,
    // and a second kill would only report that the first one worked.
    QList<int> done;
    for (const PMonitorRec rec : ARows) {
        if (!AMarked.contains(rec->SPID) || done.contains(rec->SPID))
            continue;
        done.append(rec->SPID);
        try {
            AConnection.execute(KillStatement(rec->SPID));
        } catch (const EDbError& e) {
            report += KillReportLine(rec->SPID, e.message());
        }
    }
    if (!report.isEmpty())
        ShowError(report);
    return report;
}
