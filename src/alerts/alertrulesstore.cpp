#include "alerts/alertrulesstore.h"

#include "registry/registry.h"
#include "registry/registryexception.h"

#include <QCoreApplication>

namespace {

const QString kKey = QStringLiteral("Software\\Dervel\\Alerts\\");

struct TListValue {
    const char* Name;
    QStringList TAlertRule::*Items;
};
constexpr TListValue kLists[] = {{"ExcludeLogins", &TAlertRule::ExcludeLogins},
                                 {"ExcludePrograms", &TAlertRule::ExcludePrograms},
                                 {"ExcludeDatabases", &TAlertRule::ExcludeDatabases},
                                 {"ExcludeCommands", &TAlertRule::ExcludeCommands},
                                 {"Servers", &TAlertRule::Servers}};

// The largest threshold a rule takes: a day of seconds, a week of minutes, a big server's
// sessions, an hour of periods at a second.
int maxThreshold(TAlertKind AKind) {
    switch (AKind) {
    case TAlertKind::Blocking:
        return 86400;
    case TAlertKind::LongRequest:
        return 10080;
    case TAlertKind::BlockedCount:
        return 100000;
    case TAlertKind::Unanswered:
        break;
    }
    return 3600;
}

} // namespace

TAlertRules ReadAlertRules(TRegistry& ARegistry, QString* AProblem) {
    TAlertRules rules = TAlertRules::Defaults();
    QStringList problems;
    for (TAlertKind kind : AllAlertKinds) {
        const QString key = kKey + AlertRuleKey(kind);
        try {
            if (!ARegistry.OpenKey(key, false))
                continue;
            TAlertRule& rule = rules.rule(kind);
            const auto integer = [&](const QString& AName) -> std::optional<int> {
                if (!ARegistry.ValueExists(AName))
                    return std::nullopt;
                try {
                    return ARegistry.ReadInteger(AName);
                } catch (const ERegistryException& e) {
                    problems << QStringLiteral("%1\\%2: %3").arg(key, AName, e.Message());
                    return std::nullopt;
                }
            };
            if (const auto on = integer(QStringLiteral("Enabled")))
                rule.Enabled = *on != 0;
            if (const auto n = integer(QStringLiteral("Threshold"))) {
                if (*n >= 1 && *n <= maxThreshold(kind))
                    rule.Threshold = *n;
                else
                    problems << QCoreApplication::translate("Alerts",
                                                            "%1\\Threshold: %2 вне пределов 1–%3")
                                    .arg(key)
                                    .arg(*n)
                                    .arg(maxThreshold(kind));
            }
            for (const TListValue& list : kLists) {
                const QString name = QString::fromLatin1(list.Name);
                if (!ARegistry.ValueExists(name))
                    continue;
                try {
                    rule.*list.Items = SplitAlertList(ARegistry.ReadString(name));
                } catch (const ERegistryException& e) {
                    problems << QStringLiteral("%1\\%2: %3").arg(key, name, e.Message());
                }
            }
            ARegistry.CloseKey();
        } catch (const ERegistryException& e) {
            problems << QStringLiteral("%1: %2").arg(key, e.Message());
        }
    }
    if (AProblem)
        *AProblem = problems.join(u'\n');
    return rules;
}

void WriteAlertRules(TRegistry& ARegistry, const TAlertRules& ARules) {
    for (const TAlertRule& rule : ARules.Rules) {
        const QString key = kKey + AlertRuleKey(rule.Kind);
        if (!ARegistry.OpenKey(key, true))
            throw ERegistryException::SetFailed(key);
        ARegistry.WriteInteger(QStringLiteral("Enabled"), rule.Enabled ? 1 : 0);
        ARegistry.WriteInteger(QStringLiteral("Threshold"), rule.Threshold);
        for (const TListValue& list : kLists)
            ARegistry.WriteString(QString::fromLatin1(list.Name), JoinAlertList(rule.*list.Items));
        ARegistry.CloseKey();
    }
}
