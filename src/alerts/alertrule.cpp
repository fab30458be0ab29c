#include "alerts/alertrule.h"

#include <QCoreApplication>
#include <QRegularExpression>

TAlertRules TAlertRules::Defaults() {
    TAlertRules r;
    const std::array<int, 4> thresholds{30, 10, 10, 3};
    for (TAlertKind kind : AllAlertKinds) {
        r.rule(kind).Kind = kind;
        r.rule(kind).Threshold = thresholds[std::size_t(kind)];
    }
    return r;
}

QString AlertRuleKey(TAlertKind AKind) {
    switch (AKind) {
    case TAlertKind::Blocking:
        return QStringLiteral("blocking");
    case TAlertKind::LongRequest:
        return QStringLiteral("long-request");
    case TAlertKind::BlockedCount:
        return QStringLiteral("blocked-count");
    case TAlertKind::Unanswered:
        break;
    }
    return QStringLiteral("unanswered");
}

std::optional<TAlertKind> AlertKindOfKey(const QString& AKey) {
    for (TAlertKind kind : AllAlertKinds)
        if (AlertRuleKey(kind) == AKey)
            return kind;
    return std::nullopt;
}

QString AlertRuleName(TAlertKind AKind) {
    switch (AKind) {
    case TAlertKind::Blocking:
        return QCoreApplication::translate("Alerts", "Долгая блокировка");
    case TAlertKind::LongRequest:
        return QCoreApplication::translate("Alerts", "Долгий запрос");
    case TAlertKind::BlockedCount:
        return QCoreApplication::translate("Alerts", "Много заблокированных");
    case TAlertKind::Unanswered:
        break;
    }
    return QCoreApplication::translate("Alerts", "Сервер не отвечает");
}

QString AlertRuleCaption(const TAlertRule& ARule) {
    const int n = ARule.Threshold;
    switch (ARule.Kind) {
    case TAlertKind::Blocking:
        return QCoreApplication::translate("Alerts", "блокировка дольше %1 с").arg(n);
    case TAlertKind::LongRequest:
        return QCoreApplication::translate("Alerts", "запрос дольше %1 мин").arg(n);
    case TAlertKind::BlockedCount:
        return QCoreApplication::translate("Alerts", "заблокировано больше %1 сеансов").arg(n);
    case TAlertKind::Unanswered:
        break;
    }
    return QCoreApplication::translate("Alerts", "не отвечает %1 периодов").arg(n);
}

QString AlertThresholdUnit(TAlertKind AKind) {
    switch (AKind) {
    case TAlertKind::Blocking:
        return QCoreApplication::translate("Alerts", "с");
    case TAlertKind::LongRequest:
        return QCoreApplication::translate("Alerts", "мин");
    case TAlertKind::BlockedCount:
        return QCoreApplication::translate("Alerts", "сеансов");
    case TAlertKind::Unanswered:
        break;
    }
    return QCoreApplication::translate("Alerts", "периодов");
}

namespace {

bool matchesAny(const QStringList& APatterns, const QString& AText) {
    for (const QString& p : APatterns) {
        // "*" and "?" alone are special: a login's "\\" or a program's "/" or "[" is itself.
        QString pattern = QRegularExpression::escape(p);
        pattern.replace(QLatin1String("\\*"), QLatin1String(".*"));
        pattern.replace(QLatin1String("\\?"), QLatin1String("."));
        const QRegularExpression re(QRegularExpression::anchoredPattern(pattern),
                                    QRegularExpression::CaseInsensitiveOption);
        if (re.match(AText).hasMatch())
            return true;
    }
    return false;
}

} // namespace

bool AlertExcludes(const TAlertRule& ARule, const TSummarySession& ASession) {
    return matchesAny(ARule.ExcludeLogins, ASession.Login) ||
           matchesAny(ARule.ExcludePrograms, ASession.Program) ||
           matchesAny(ARule.ExcludeDatabases, ASession.Database) ||
           matchesAny(ARule.ExcludeCommands, ASession.Command);
}

bool AlertAppliesTo(const TAlertRule& ARule, const QString& AServer) {
    return ARule.Servers.isEmpty() || ARule.Servers.contains(AServer, Qt::CaseInsensitive);
}

QStringList SplitAlertList(const QString& AText) {
    QStringList items;
    for (const QString& part : AText.split(u';')) {
        const QString item = part.trimmed();
        if (!item.isEmpty())
            items << item;
    }
    return items;
}

QString JoinAlertList(const QStringList& AItems) {
    return AItems.join(QStringLiteral("; "));
}
