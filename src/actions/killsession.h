#pragma once
// Ending sessions on a server: one session after a confirmation and a check that its
// SPID still belongs to the same login, or every marked session with one report of the
// failures. Runs on the main thread over the server entry's connection.

#include "sampling/monitorrec.h"

#include <QList>
#include <QString>

class TDbConnection;

enum class TKillOutcome { Declined, Failed, Killed };

QString KillQuestionText(int ASPID, const QString& ALogin);
// The login goes inside a string literal, its apostrophes doubled.
QString SessionCheckStatement(int ASPID, const QString& ALogin);
QString SessionNotFoundText(int ASPID, const QString& ALogin);
QString KillStatement(int ASPID);
// One line of the report of the marked sessions, CR LF included.
QString KillReportLine(int ASPID, const QString& AMessage);

// Asks "Kill process", checks the session and ends it; a failure is shown in an error
// box. Sampling is the caller's to re-arm, in every case but Declined.
TKillOutcome KillSession(const TMonitorRec& ARec, TDbConnection& AConnection);

// One kill per row, top to bottom, for each row whose SPID is marked; a row whose SPID
// recurs is killed again and reports the server's answer like any other. The failures
// are shown in one error box and returned; empty when every kill went through.
QString KillMarkedSessions(const QList<PMonitorRec>& ARows, const QList<int>& AMarked,
                           TDbConnection& AConnection);
