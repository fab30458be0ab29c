#include "sampling/querycomposition.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(TQueryFilters)

namespace {

// The template as the server must receive it, written out line by line.
const char* const kTemplate[] = {
    "select SPID            = S.session_id,",
    "       Login           = S.login_name,",
    "       StatusAux       = isnull(R.status,S.status),",
    "       Command         = isnull(R.command,''),",
    "       DB              = isnull(db_name(nullif(S.database_id,0)),''),",
    "       ProgName        = isnull(S.program_name,''),",
    "       LoginTime       = S.login_time,",
    "       LastTime        = isnull(isnull(S.last_request_end_time,S.last_request_start_time),0),",
    "       CPU             = isnull(R.cpu_time,0)+S.cpu_time,",
    "       IO              = isnull(R.reads+R.writes,0)+S.reads+S.writes,",
    "       Mem             = S.memory_usage,",
    "       Host            = isnull(S.host_name,''),",
    "       NTLogin         = isnull(S.nt_user_name,''),",
    "       BlockingAux     = isnull(R.blocking_session_id,0),",
    "       ClientInterface = isnull(S.client_interface_name,''),",
    "       NTDomain        = isnull(S.nt_domain,''),",
    "       ElapsedTime     = isnull(R.total_elapsed_time,S.total_elapsed_time),",
    "       Reads           = isnull(R.reads,0)+S.reads,",
    "       Writes          = isnull(R.writes,0)+S.writes,",
    "       LogicalReads    = isnull(R.logical_reads,S.logical_reads),",
    "       IsolationLevel  = isnull(R.transaction_isolation_level,S.transaction_isolation_level),",
    "       LockTimeout     = isnull(R.lock_timeout,S.lock_timeout),",
    "       RowCnt          = isnull(R.row_count,S.row_count),",
    "       OriginalLogin   = S.original_login_name,",
    "       OpenTran        = isnull(R.open_transaction_count,S.open_transaction_count),",
    "       WaitType        = isnull(R.wait_type,''),",
    "       WaitTime        = isnull(R.wait_time,0),",
    "       WaitResource    = isnull(R.wait_resource,''),",
    "       NestedLevel     = isnull(R.nest_level,0),",
    "       CLR             = isnull(R.executing_managed_code,0),",
    "       NetTransport    = isnull(C.net_transport,''),",
    "       Protocol        = isnull(C.protocol_type,''),",
    "       AuthScheme      = isnull(C.auth_scheme,''),",
    "       ClientAddress   = isnull(C.client_net_address,''),",
    "       ClientPort      = isnull(C.client_tcp_port,0),",
    "       ServerAddress   = isnull(C.local_net_address,''),",
    "       ServerPort      = isnull(C.local_tcp_port,0),",
    "       Status          = isnull(R.status,S.status),",
    "       Blocking        = isnull(R.blocking_session_id,0),",
    "       Blocked         = case when exists(select * from sys.dm_exec_requests where "
    "blocking_session_id=S.session_id) then 1 else 0 end,",
    "       IsUser          = S.is_user_process,",
    "       RequestID       = isnull(R.request_id,0),",
    "       SelfID          = case when S.session_id=@@spid then 1 else 0 end",
    "from sys.dm_exec_sessions S",
    "left join sys.dm_exec_requests R on R.session_id=S.session_id",
    "left join sys.dm_exec_connections C on C.session_id=S.session_id",
    "where 1=1",
};

// The full text: the template with the given lines commented out, then the tail
// (filter lines and the order line), every line ended by CR LF.
QString expectedText(const QList<int>& commentedOut, const QString& tail) {
    QString text;
    for (int i = 0; i < int(std::size(kTemplate)); ++i)
        text += (commentedOut.contains(i) ? u"--"_s : QString()) + QString::fromUtf8(kTemplate[i]) +
                u"\r\n"_s;
    return text + tail;
}

QList<bool> allVisible() {
    return QList<bool>(37, true);
}

QList<bool> hiding(const QList<int>& hidden) {
    QList<bool> visible = allVisible();
    for (int i : hidden)
        visible[i] = false;
    return visible;
}

// The grid's built-in layout: columns 14 to 36 hidden.
QList<bool> builtInVisibility() {
    QList<bool> visible(37, false);
    for (int i = 0; i <= 13; ++i)
        visible[i] = true;
    return visible;
}

QList<int> range(int from, int to) {
    QList<int> list;
    for (int i = from; i <= to; ++i)
        list << i;
    return list;
}

} // namespace

class TestQueryComposition : public QObject {
    Q_OBJECT
private slots:
    void templateIsTheFullNeutralQuery();
    void compose_data();
    void compose();
    void dbFilterItems();
    void dbReselect_data();
    void dbReselect();
};

void TestQueryComposition::templateIsTheFullNeutralQuery() {
    const QString expected =
        u"select SPID            = S.session_id,\r\n"
        u"       Login           = S.login_name,\r\n"
        u"       StatusAux       = isnull(R.status,S.status),\r\n"
        u"       Command         = isnull(R.command,''),\r\n"
        u"       DB              = isnull(db_name(nullif(S.database_id,0)),''),\r\n"
        u"       ProgName        = isnull(S.program_name,''),\r\n"
        u"       LoginTime       = S.login_time,\r\n"
        u"       LastTime        = "
        u"isnull(isnull(S.last_request_end_time,S.last_request_start_time),0),\r\n"
        u"       CPU             = isnull(R.cpu_time,0)+S.cpu_time,\r\n"
        u"       IO              = isnull(R.reads+R.writes,0)+S.reads+S.writes,\r\n"
        u"       Mem             = S.memory_usage,\r\n"
        u"       Host            = isnull(S.host_name,''),\r\n"
        u"       NTLogin         = isnull(S.nt_user_name,''),\r\n"
        u"       BlockingAux     = isnull(R.blocking_session_id,0),\r\n"
        u"       ClientInterface = isnull(S.client_interface_name,''),\r\n"
        u"       NTDomain        = isnull(S.nt_domain,''),\r\n"
        u"       ElapsedTime     = isnull(R.total_elapsed_time,S.total_elapsed_time),\r\n"
        u"       Reads           = isnull(R.reads,0)+S.reads,\r\n"
        u"       Writes          = isnull(R.writes,0)+S.writes,\r\n"
        u"       LogicalReads    = isnull(R.logical_reads,S.logical_reads),\r\n"
        u"       IsolationLevel  = "
        u"isnull(R.transaction_isolation_level,S.transaction_isolation_level),\r\n"
        u"       LockTimeout     = isnull(R.lock_timeout,S.lock_timeout),\r\n"
        u"       RowCnt          = isnull(R.row_count,S.row_count),\r\n"
        u"       OriginalLogin   = S.original_login_name,\r\n"
        u"       OpenTran        = isnull(R.open_transaction_count,S.open_transaction_count),\r\n"
        u"       WaitType        = isnull(R.wait_type,''),\r\n"
        u"       WaitTime        = isnull(R.wait_time,0),\r\n"
        u"       WaitResource    = isnull(R.wait_resource,''),\r\n"
        u"       NestedLevel     = isnull(R.nest_level,0),\r\n"
        u"       CLR             = isnull(R.executing_managed_code,0),\r\n"
        u"       NetTransport    = isnull(C.net_transport,''),\r\n"
        u"       Protocol        = isnull(C.protocol_type,''),\r\n"
        u"       AuthScheme      = isnull(C.auth_scheme,''),\r\n"
        u"       ClientAddress   = isnull(C.client_net_address,''),\r\n"
        u"       ClientPort      = isnull(C.client_tcp_port,0),\r\n"
        u"       ServerAddress   = isnull(C.local_net_address,''),\r\n"
        u"       ServerPort      = isnull(C.local_tcp_port,0),\r\n"
        u"       Status          = isnull(R.status,S.status),\r\n"
        u"       Blocking        = isnull(R.blocking_session_id,0),\r\n"
        u"       Blocked         = case when exists(select * from sys.dm_exec_requests where "
        u"blocking_session_id=S.session_id) then 1 else 0 end,\r\n"
        u"       IsUser          = S.is_user_process,\r\n"
        u"       RequestID       = isnull(R.request_id,0),\r\n"
        u"       SelfID          = case when S.session_id=@@spid then 1 else 0 end\r\n"
        u"from sys.dm_exec_sessions S\r\n"
        u"left join sys.dm_exec_requests R on R.session_id=S.session_id\r\n"
        u"left join sys.dm_exec_connections C on C.session_id=S.session_id\r\n"
        u"where 1=1\r\n"
        u"order by 1\r\n"_s;
    const TComposedQuery q =
        ComposeQuery(QueryTemplateLines(), allVisible(), 0, false, TQueryFilters{});
    QCOMPARE(q.Text, expected);
    QCOMPARE(q.SortColumn, 0);
}

void TestQueryComposition::compose_data() {
    QTest::addColumn<QList<bool>>("visible");
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<bool>("descending");
    QTest::addColumn<TQueryFilters>("filters");
    QTest::addColumn<QList<int>>("commentedOut");
    QTest::addColumn<QString>("tail");
    QTest::addColumn<int>("newSortColumn");

    const TQueryFilters none;
    const QString blockedClause =
        u"  and (isnull(R.blocking_session_id,0)<>0 or case when exists(select * from "
        u"sys.dm_exec_requests where blocking_session_id=S.session_id) then 1 else 0 end=1)\r\n"_s;

    QTest::newRow("all visible, SPID ascending")
        << allVisible() << 0 << false << none << QList<int>{} << u"order by 1\r\n"_s << 0;
    QTest::newRow("SPID descending")
        << allVisible() << 0 << true << none << QList<int>{} << u"order by 1 desc\r\n"_s << 0;
    QTest::newRow("Login and Status hidden, Command descending")
        << hiding({1, 2}) << 3 << true << none << QList<int>{1, 2} << u"order by 2 desc\r\n"_s << 3;
    QTest::newRow("hidden column after the sort column keeps the ordinal")
        << hiding({1, 12}) << 10 << false << none << QList<int>{1, 12} << u"order by 10\r\n"_s
        << 10;
    QTest::newRow("last column, all visible")
        << allVisible() << 36 << false << none << QList<int>{} << u"order by 37\r\n"_s << 36;
    QTest::newRow("built-in layout, Blocking") << builtInVisibility() << 13 << true << none
                                               << range(14, 36) << u"order by 14 desc\r\n"_s << 13;
    QTest::newRow("hidden sort column falls back to SPID, ascending")
        << hiding({10}) << 10 << false << none << QList<int>{10} << u"order by 1\r\n"_s << 0;
    QTest::newRow("hidden sort column falls back to SPID, descending kept")
        << hiding({10}) << 10 << true << none << QList<int>{10} << u"order by 1 desc\r\n"_s << 0;
    QTest::newRow("hidden sort column in the built-in layout")
        << builtInVisibility() << 36 << false << none << range(14, 36) << u"order by 1\r\n"_s << 0;
    QTest::newRow("no sort column reads as SPID")
        << hiding({1}) << -1 << true << none << QList<int>{1} << u"order by 1 desc\r\n"_s << 0;
    QTest::newRow("sort column beyond the grid reads as SPID")
        << allVisible() << 37 << false << none << QList<int>{} << u"order by 1\r\n"_s << 0;
    QTest::newRow("column 0 is never left out")
        << hiding({0}) << 0 << false << none << QList<int>{} << u"order by 1\r\n"_s << 0;

    TQueryFilters f;
    f.Login = u"O'Brien"_s;
    QTest::newRow("login with a quote")
        << allVisible() << 0 << false << f << QList<int>{}
        << u"  and S.login_name=N'O''Brien'\r\norder by 1\r\n"_s << 0;

    f = {};
    f.DBIndex = 1;
    f.DBName = u"<empty>"_s;
    QTest::newRow("database <empty>")
        << allVisible() << 0 << false << f << QList<int>{}
        << u"  and isnull(db_name(nullif(S.database_id,0)),'')=''\r\norder by 1\r\n"_s << 0;

    f.DBIndex = 2;
    f.DBName = u"Bob's ''DB'"_s;
    QTest::newRow("database name with quotes")
        << allVisible() << 0 << false << f << QList<int>{}
        << u"  and isnull(db_name(nullif(S.database_id,0)),'')=N'Bob''s ''''DB'''\r\n"
           u"order by 1\r\n"_s
        << 0;

    f.DBIndex = 0;
    f.DBName = u"<all databases>"_s;
    QTest::newRow("database <all databases>")
        << allVisible() << 0 << false << f << QList<int>{} << u"order by 1\r\n"_s << 0;

    f.DBIndex = -1;
    f.DBName.clear();
    QTest::newRow("no database selected")
        << allVisible() << 0 << false << f << QList<int>{} << u"order by 1\r\n"_s << 0;

    f = {};
    f.StatusFilter = u"'running','sleeping'"_s;
    QTest::newRow("statuses")
        << allVisible() << 0 << false << f << QList<int>{}
        << u"  and isnull(R.status,S.status) in('running','sleeping')\r\norder by 1\r\n"_s << 0;

    f = {};
    f.HideSys = true;
    QTest::newRow("user sessions only") << allVisible() << 0 << false << f << QList<int>{}
                                        << u"  and S.is_user_process=1\r\norder by 1\r\n"_s << 0;

    f = {};
    f.ShowBlocked = true;
    QTest::newRow("blocking only") << allVisible() << 0 << false << f << QList<int>{}
                                   << blockedClause + u"order by 1\r\n"_s << 0;

    f.DBIndex = 3;
    f.DBName = u"Склад"_s;
    f.StatusFilter = u"'suspended'"_s;
    f.Login = u"sa"_s;
    f.HideSys = true;
    QTest::newRow("every filter, in order, with a hidden sort column")
        << hiding({5, 8}) << 8 << true << f << QList<int>{5, 8}
        << u"  and isnull(db_name(nullif(S.database_id,0)),'')=N'Склад'\r\n"
           u"  and isnull(R.status,S.status) in('suspended')\r\n"
           u"  and S.login_name=N'sa'\r\n"
           u"  and S.is_user_process=1\r\n"_s +
               blockedClause + u"order by 1 desc\r\n"_s
        << 0;
}

void TestQueryComposition::compose() {
    QFETCH(QList<bool>, visible);
    QFETCH(int, sortColumn);
    QFETCH(bool, descending);
    QFETCH(TQueryFilters, filters);
    QFETCH(QList<int>, commentedOut);
    QFETCH(QString, tail);
    QFETCH(int, newSortColumn);

    const TComposedQuery q =
        ComposeQuery(QueryTemplateLines(), visible, sortColumn, descending, filters);
    QCOMPARE(q.Text, expectedText(commentedOut, tail));
    QCOMPARE(q.SortColumn, newSortColumn);
}

void TestQueryComposition::dbFilterItems() {
    QCOMPARE(DBFilterItems({}), (QStringList{u"<all databases>"_s, u"<empty>"_s}));
    QCOMPARE(DBFilterItems({u"master"_s, u"tempdb"_s}),
             (QStringList{u"<all databases>"_s, u"<empty>"_s, u"master"_s, u"tempdb"_s}));
}

void TestQueryComposition::dbReselect_data() {
    QTest::addColumn<int>("current");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("newList");
    QTest::addColumn<int>("expected"); // -1: nothing to select

    const QStringList dbs{u"master"_s, u"Sales"_s, u"tempdb"_s};
    QTest::newRow("all databases stays") << 0 << u"<all databases>"_s << dbs << 0;
    QTest::newRow("all databases stays on an empty list")
        << 0 << u"<all databases>"_s << QStringList{} << 0;
    QTest::newRow("<empty> stays") << 1 << u"<empty>"_s << dbs << 1;
    QTest::newRow("nothing selected") << -1 << QString() << dbs << -1;
    QTest::newRow("same name at its new position") << 4 << u"Sales"_s << dbs << 3;
    QTest::newRow("other letter case") << 2 << u"SALES"_s << dbs << 3;
    QTest::newRow("Cyrillic, other letter case")
        << 2 << u"склад"_s << QStringList{u"master"_s, u"СКЛАД"_s} << 3;
    QTest::newRow("name missing") << 2 << u"Archive"_s << dbs << -1;
    QTest::newRow("prefix is no match") << 2 << u"Sale"_s << dbs << -1;
    QTest::newRow("longer name is no match") << 2 << u"Sales2"_s << dbs << -1;
    QTest::newRow("first of two matches")
        << 5 << u"sales"_s << QStringList{u"a"_s, u"SALES"_s, u"sales"_s} << 3;
    QTest::newRow("empty new list") << 2 << u"Sales"_s << QStringList{} << -1;
}

void TestQueryComposition::dbReselect() {
    QFETCH(int, current);
    QFETCH(QString, name);
    QFETCH(QStringList, newList);
    QFETCH(int, expected);

    const std::optional<int> index = DBReselectIndex(current, name, newList);
    QCOMPARE(index.value_or(-1), expected);
}

QTEST_APPLESS_MAIN(TestQueryComposition)
#include "tst_querycomposition.moc"
