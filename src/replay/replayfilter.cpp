#include "replay/replayfilter.h"

#include "grid/monitorcolumns.h"

#include <QStringList>
#include <algorithm>
#include <variant>

namespace {

using TSortValue = std::variant<qint64, double, QString>;

// The value the server sorts by for a grid column.
TSortValue sortValue(const TMonitorRec& r, int AColumn) {
    switch (AColumn) {
    case 0:
        return qint64(r.SPID);
    case 1:
        return r.Login;
    case 2:
        return r.Status;
    case 3:
        return r.Command;
    case 4:
        return r.DB;
    case 5:
        return r.ProgName;
    case 6:
        return r.LoginTime;
    case 7:
        return r.LastTime;
    case 8:
        return qint64(r.CPU);
    case 9:
        return qint64(r.IO);
    case 10:
        return qint64(r.Mem);
    case 11:
        return r.Host;
    case 12:
        return r.NTLogin;
    case 13:
        return qint64(r.Blocking);
    case 14:
        return r.ClientInterface;
    case 15:
        return r.NTDomain;
    case 16:
        return qint64(r.ElapsedTime);
    case 17:
        return qint64(r.Reads);
    case 18:
        return qint64(r.Writes);
    case 19:
        return qint64(r.LogicalReads);
    case 20:
        return qint64(r.IsolationLevel);
    case 21:
        return qint64(r.LockTimeout);
    case 22:
        return qint64(r.RowCnt);
    case 23:
        return r.OriginalLogin;
    case 24:
        return qint64(r.OpenTran);
    case 25:
        return r.WaitType;
    case 26:
        return qint64(r.WaitTime);
    case 27:
        return r.WaitResource;
    case 28:
        return qint64(r.NestedLevel);
    case 29:
        return qint64(r.CLR ? 1 : 0);
    case 30:
        return r.NetTransport;
    case 31:
        return r.Protocol;
    case 32:
        return r.AuthScheme;
    case 33:
        return r.ClientAddress;
    case 34:
        return qint64(r.ClientPort);
    case 35:
        return r.ServerAddress;
    case 36:
        return qint64(r.ServerPort);
    default:
        return qint64(0);
    }
}

int compare(const TSortValue& a, const TSortValue& b) {
    if (const auto* s = std::get_if<QString>(&a))
        return s->compare(std::get<QString>(b), Qt::CaseInsensitive);
    if (const auto* d = std::get_if<double>(&a)) {
        const double e = std::get<double>(b);
        return *d < e ? -1 : *d > e ? 1 : 0;
    }
    const qint64 i = std::get<qint64>(a), j = std::get<qint64>(b);
    return i < j ? -1 : i > j ? 1 : 0;
}

// 'running','sleeping' as the query composition writes it.
QStringList statuses(const QString& AFilter) {
    QStringList out;
    for (QString item : AFilter.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        item = item.trimmed();
        if (item.size() >= 2 && item.startsWith(QLatin1Char('\'')) &&
            item.endsWith(QLatin1Char('\'')))
            item = item.mid(1, item.size() - 2).replace(QLatin1String("''"), QLatin1String("'"));
        out << item;
    }
    return out;
}

bool same(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

bool PassesFilters(const TMonitorRec& r, const TQueryFilters& f) {
    if (f.DBIndex == 1 && !r.DB.isEmpty())
        return false;
    if (f.DBIndex > 1 && !same(r.DB, f.DBName))
        return false;
    if (!f.StatusFilter.isEmpty()) {
        const QStringList wanted = statuses(f.StatusFilter);
        if (std::none_of(wanted.begin(), wanted.end(),
                         [&r](const QString& s) { return same(s, r.Status); }))
            return false;
    }
    if (!f.Login.isEmpty() && !same(r.Login, f.Login))
        return false;
    if (f.HideSys && !r.IsUser)
        return false;
    if (f.ShowBlocked && r.Blocking == 0 && !r.Blocked)
        return false;
    return true;
}

TRecList ReplayRows(const TRowState& ARows, const TQueryFilters& AFilters, int ASortColumn,
                    bool ADescending) {
    TRecList rows;
    rows.reserve(qsizetype(ARows.size()));
    for (const auto& [key, row] : ARows)
        if (PassesFilters(row.Rec, AFilters))
            rows << new TMonitorRec(row.Rec);
    if (ASortColumn > 0 && ASortColumn < QueryColumnCount) {
        std::stable_sort(rows.begin(), rows.end(), [&](const PMonitorRec a, const PMonitorRec b) {
            const int c = compare(sortValue(*a, ASortColumn), sortValue(*b, ASortColumn));
            return ADescending ? c > 0 : c < 0;
        });
    } else if (ASortColumn == 0 && ADescending) {
        std::stable_sort(rows.begin(), rows.end(), [](const PMonitorRec a, const PMonitorRec b) {
            return a->SPID > b->SPID;
        });
    }
    return rows;
}
