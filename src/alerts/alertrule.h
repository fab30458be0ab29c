#pragma once
// The alert rules: what is worth telling the user about, its threshold, the sessions it
// passes over (a nightly BACKUP, a known long report) and the servers it watches. The
// window and dervel-record read the same rules from the same place.

#include "estate/serversummary.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

enum class TAlertKind {
    Blocking,     // a blocking wait longer than N s
    LongRequest,  // a user request running longer than N min
    BlockedCount, // more than N sessions blocked at once
    Unanswered,   // a server that did not answer for N of its periods
};
inline constexpr std::array<TAlertKind, 4> AllAlertKinds{
    TAlertKind::Blocking, TAlertKind::LongRequest, TAlertKind::BlockedCount,
    TAlertKind::Unanswered};

struct TAlertRule {
    TAlertKind Kind = TAlertKind::Blocking;
    bool Enabled = true;
    int Threshold = 30; // in the rule's unit: s, min, sessions, periods
    // Sessions passed over, by patterns matched without regard to case; "*" stands for any
    // text and "?" for one character. For the blocking rules the head blocker is matched.
    QStringList ExcludeLogins;
    QStringList ExcludePrograms;
    QStringList ExcludeDatabases;
    QStringList ExcludeCommands;
    QStringList Servers; // names of the servers watched; empty: every server
    bool operator==(const TAlertRule&) const = default;
};

struct TAlertRules {
    std::array<TAlertRule, 4> Rules; // in AllAlertKinds' order
    static TAlertRules Defaults();
    const TAlertRule& rule(TAlertKind AKind) const { return Rules[std::size_t(AKind)]; }
    TAlertRule& rule(TAlertKind AKind) { return Rules[std::size_t(AKind)]; }
    bool operator==(const TAlertRules&) const = default;
};

// The rule's name in the settings, the recording and the environment of --on-alert:
// "blocking", "long-request", "blocked-count", "unanswered".
QString AlertRuleKey(TAlertKind AKind);
std::optional<TAlertKind> AlertKindOfKey(const QString& AKey);
// What the rule is called in the dialog: "Долгая блокировка", ...
QString AlertRuleName(TAlertKind AKind);
// The rule with its threshold, as a notification's summary says it: "блокировка дольше 30 с".
QString AlertRuleCaption(const TAlertRule& ARule);
// The threshold's unit: "с", "мин", "сеансов", "периодов".
QString AlertThresholdUnit(TAlertKind AKind);

bool AlertExcludes(const TAlertRule& ARule, const TSummarySession& ASession);
bool AlertAppliesTo(const TAlertRule& ARule, const QString& AServer);
// A list as the settings and the dialog write it: items separated by ";", blanks trimmed.
QStringList SplitAlertList(const QString& AText);
QString JoinAlertList(const QStringList& AItems);
