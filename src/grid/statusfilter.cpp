#include "grid/statusfilter.h"

#include <QCoreApplication>
#include <QStringBuilder>

using namespace Qt::Literals::StringLiterals;

QStringList StatusNames() {
    return {u"running"_s,    u"runnable"_s, u"suspended"_s, u"rollback"_s,
            u"background"_s, u"dormant"_s,  u"sleeping"_s,  u"preconnect"_s};
}

QString StatusFilterText(const QStringList& AChecked) {
    QString filter;
    for (const QString& status : AChecked) {
        if (!filter.isEmpty())
            filter += u',';
        filter += u'\'' % status % u'\'';
    }
    return filter;
}

QString StatusSummaryText(const QStringList& AChecked) {
    switch (AChecked.size()) {
    case 0:
        return QCoreApplication::translate("Filters", "<all statuses>");
    case 1:
        return AChecked.first();
    default:
        return QCoreApplication::translate("Filters", "<%1 statuses>").arg(AChecked.size());
    }
}
