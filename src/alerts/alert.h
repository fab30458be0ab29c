#pragma once
// An alert: one episode of a rule's condition holding for one subject (a head blocker, a
// request, a server), from the moment it began to hold to the moment it stopped, and what
// it says to the user.

#include "alerts/alertrule.h"

#include <QString>

struct TAlert {
    qint64 Id = 0; // in the order raised
    TAlertKind Kind = TAlertKind::Blocking;
    QString ServerKey;        // the server's identity to the tracker
    QString Server;           // its name, as the user knows it
    QString Key;              // the episode's: the same while it lasts, another for the next one
    TSummarySession Subject;  // the head blocker, the request's session; Spid 0 for a server
    int Threshold = 0;        // the rule's, when it was raised
    qint64 StartMs = 0;       // ms since the epoch
    qint64 EndMs = -1;        // -1 while it lasts
    qint64 SinceMs = 0;       // a long request's start (the observer's clock); the last answer
    qint64 WaitMs = 0;        // the longest wait, or how long the request has run (the peak)
    int Waiting = 0;          // sessions waiting behind the head, or blocked in all (the peak)
    qint64 SnapshotTime = -1; // the snapshot it was raised in; -1 for none
    bool open() const { return EndMs < 0; }
};

enum class TAlertChangeKind { Raised, Cleared };
struct TAlertChange {
    TAlertChangeKind Change = TAlertChangeKind::Raised;
    TAlert Alert;
};

// What the alert is about, in a few words: "SPID 53 (sa, WS-01, Report)", or "сервер".
QString AlertSubjectText(const TAlert& AAlert);
// The rule with the threshold it had when the alert was raised: "блокировка дольше 30 с".
QString AlertRuleCaptionOf(const TAlert& AAlert);
// A notification's summary: the server and the rule.
QString AlertSummaryText(const TAlert& AAlert);
// A notification's body: the head blocker's login, host and program, the wait and the
// number waiting; a request's, how long it runs; the count; the silence.
QString AlertBodyText(const TAlert& AAlert);
// The figures as a JSON object, for a recording's events.
QString AlertDetailsJson(const TAlert& AAlert);
// Server-supplied text made fit for one line of a notification, a log or the
// environment: control characters become blanks, the length is bounded.
QString AlertPlainText(const QString& AText, int AMaxLength = 256);
