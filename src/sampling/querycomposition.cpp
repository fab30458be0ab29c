#include "sampling/querycomposition.h"

#include <QCoreApplication>
#include <QStringBuilder>

using namespace Qt::Literals::StringLiterals;

QStringList QueryTemplateLines() {
    return {
        u"select SPID            = S.session_id,"_s,
        u"       Login           = S.login_name,"_s,
        u"       StatusAux       = isnull(R.status,S.status),"_s,
        u"       Command         = isnull(R.command,''),"_s,
        u"       DB              = isnull(db_name(nullif(S.database_id,0)),''),"_s,
        u"       ProgName        = isnull(S.program_name,''),"_s,
        u"       LoginTime       = S.login_time,"_s,
        u"       LastTime        = isnull(isnull(S.last_request_end_time,S.last_request_start_time),0),"_s,
        u"       CPU             = isnull(R.cpu_time,0)+S.cpu_time,"_s,
        u"       IO              = isnull(R.reads+R.writes,0)+S.reads+S.writes,"_s,
        u"       Mem             = S.memory_usage,"_s,
        u"       Host            = isnull(S.host_name,''),"_s,
        u"       NTLogin         = isnull(S.nt_user_name,''),"_s,
        u"       BlockingAux     = isnull(R.blocking_session_id,0),"_s,
        u"       ClientInterface = isnull(S.client_interface_name,''),"_s,
        u"       NTDomain        = isnull(S.nt_domain,''),"_s,
        u"       ElapsedTime     = isnull(R.total_elapsed_time,S.total_elapsed_time),"_s,
        u"       Reads           = isnull(R.reads,0)+S.reads,"_s,
        u"       Writes          = isnull(R.writes,0)+S.writes,"_s,
        u"       LogicalReads    = isnull(R.logical_reads,S.logical_reads),"_s,
        u"       IsolationLevel  = isnull(R.transaction_isolation_level,S.transaction_isolation_level),"_s,
        u"       LockTimeout     = isnull(R.lock_timeout,S.lock_timeout),"_s,
        u"       RowCnt          = isnull(R.row_count,S.row_count),"_s,
        u"       OriginalLogin   = S.original_login_name,"_s,
        u"       OpenTran        = isnull(R.open_transaction_count,S.open_transaction_count),"_s,
        u"       WaitType        = isnull(R.wait_type,''),"_s,
        u"       WaitTime        = isnull(R.wait_time,0),"_s,
        u"       WaitResource    = isnull(R.wait_resource,''),"_s,
        u"       NestedLevel     = isnull(R.nest_level,0),"_s,
        u"       CLR             = isnull(R.executing_managed_code,0),"_s,
        u"       NetTransport    = isnull(C.net_transport,''),"_s,
        u"       Protocol        = isnull(C.protocol_type,''),"_s,
        u"       AuthScheme      = isnull(C.auth_scheme,''),"_s,
        u"       ClientAddress   = isnull(C.client_net_address,''),"_s,
        u"       ClientPort      = isnull(C.client_tcp_port,0),"_s,
        u"       ServerAddress   = isnull(C.local_net_address,''),"_s,
        u"       ServerPort      = isnull(C.local_tcp_port,0),"_s,
        u"       Status          = isnull(R.status,S.status),"_s,
        u"       Blocking        = isnull(R.blocking_session_id,0),"_s,
        u"       Blocked         = case when exists(select * from sys.dm_exec_requests where blocking_session_id=S.session_id) then 1 else 0 end,"_s,
        u"       IsUser          = S.is_user_process,"_s,
        u"       RequestID       = isnull(R.request_id,0),"_s,
        u"       SelfID          = case when S.session_id=@@spid then 1 else 0 end"_s,
        u"from sys.dm_exec_sessions S"_s,
        u"left join sys.dm_exec_requests R on R.session_id=S.session_id"_s,
        u"left join sys.dm_exec_connections C on C.session_id=S.session_id"_s,
        u"where 1=1"_s,
    };
}

QString QuoteSqlLiteralText(const QString& AText) {
    QString result = AText;
    return result.replace(u'\'', u"''"_s);
}

int ShownSortColumn(const QList<bool>& AShown, int ASortColumn) {
    return AShown.value(ASortColumn, false) ? ASortColumn : 0;
}

TComposedQuery ComposeQuery(const QStringList& ATemplate, const QList<bool>& AVisible,
                            int ASortColumn, bool ADescending, const TQueryFilters& AFilters) {
    QStringList lines = ATemplate;
    QList<bool> visible = AVisible;
    const int columnCount = int(visible.size());
    if (!AFilters.WithConnections) {
        for (int i = FirstConnectionColumn; i <= LastConnectionColumn && i < columnCount; ++i)
            visible[i] = false;
        for (QString& line : lines)
            if (line.startsWith(u"left join sys.dm_exec_connections"_s))
                line.prepend(u"--"_s);
    }

    // A sort column outside the grid's columns (-1, "none", can only come from a
    // hand-edited setting) has no visibility to test; it is taken as column 0 (SPID),
    // the column that is always selected, so the order line stays valid.
    int sortColumn = ASortColumn;
    if (sortColumn < 0 || sortColumn >= columnCount || !visible[sortColumn])
        sortColumn = 0;

    // Hidden columns are commented out of the select list, so the ordinal of the
    // sort column drops by one for every hidden column before it.
    int ordinal = sortColumn + 1;
    for (int i = 1; i < columnCount && i < lines.size(); ++i) {
        if (visible[i])
            continue;
        lines[i].prepend(u"--"_s);
        if (i < sortColumn)
            --ordinal;
    }

    // Names are compared as national text: a plain '...' literal is converted to the
    // server's code page first, and a Cyrillic login on a Latin server would match nothing.
    const QString dbExpr = u"  and isnull(db_name(nullif(S.database_id,0)),'')="_s;
    if (AFilters.DBIndex == 1)
        lines << dbExpr % u"''"_s;
    else if (AFilters.DBIndex > 1)
        lines << dbExpr % u"N'"_s % QuoteSqlLiteralText(AFilters.DBName) % u'\'';
    if (!AFilters.StatusFilter.isEmpty())
        lines << u"  and isnull(R.status,S.status) in("_s % AFilters.StatusFilter % u')';
    if (!AFilters.Login.isEmpty())
        lines << u"  and S.login_name=N'"_s % QuoteSqlLiteralText(AFilters.Login) % u'\'';
    if (AFilters.HideSys)
        lines << u"  and S.is_user_process=1"_s;
    if (AFilters.ShowBlocked)
        lines << u"  and (isnull(R.blocking_session_id,0)<>0 or case when exists(select * from "
                 u"sys.dm_exec_requests where blocking_session_id=S.session_id) then 1 else 0 "
                 u"end=1)"_s;
    lines << u"order by "_s % QString::number(ordinal) % (ADescending ? u" desc"_s : QString());

    QString text;
    for (const QString& line : lines)
        text += line % u"\r\n";
    return {text, sortColumn};
}

QStringList DBFilterItems(const QStringList& ADBList) {
    return QStringList{QCoreApplication::translate("Filters", "<all databases>"),
                       QCoreApplication::translate("Filters", "<empty>")} +
           ADBList;
}

std::optional<int> DBReselectIndex(int ACurrentIndex, const QString& ASelectedName,
                                   const QStringList& ANewDBList) {
    if (ACurrentIndex == 0 || ACurrentIndex == 1)
        return ACurrentIndex;
    if (ACurrentIndex < 0)
        return std::nullopt;
    for (int i = 0; i < ANewDBList.size(); ++i)
        if (ANewDBList[i].compare(ASelectedName, Qt::CaseInsensitive) == 0)
            return i + 2;
    return std::nullopt;
}
