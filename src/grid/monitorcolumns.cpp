#include "grid/monitorcolumns.h"

#include <QCoreApplication>

namespace {

using enum TCellForm;
constexpr Qt::AlignmentFlag Left = Qt::AlignLeft;
constexpr Qt::AlignmentFlag Right = Qt::AlignRight;
constexpr Qt::AlignmentFlag Centre = Qt::AlignHCenter;

// Blocking holds a session id but stays left-aligned, unlike every other number.
constexpr TMonitorColumn kColumns[MonitorColumnCount] = {
    {0, QT_TRANSLATE_NOOP("MonitorColumns", "SPID"), u"sessions.session_id", Decimal, Right, 60,
     true},
    {1, QT_TRANSLATE_NOOP("MonitorColumns", "Login"), u"sessions.login_name", Text, Left, 100,
     true},
    {2, QT_TRANSLATE_NOOP("MonitorColumns", "Status"), u"requests.status,sessions.status", Text,
     Left, 80, true},
    {3, QT_TRANSLATE_NOOP("MonitorColumns", "Command"), u"requests.command", Text, Left, 90, true},
    {4, QT_TRANSLATE_NOOP("MonitorColumns", "Database"), u"sessions.database_id", Text, Left, 100,
     true},
    {5, QT_TRANSLATE_NOOP("MonitorColumns", "Program"), u"sessions.program_name", Text, Left, 100,
     true},
    {6, QT_TRANSLATE_NOOP("MonitorColumns", "Login Time"), u"sessions.login_time", DateTime, Centre,
     130, true},
    {7, QT_TRANSLATE_NOOP("MonitorColumns", "Last Query Time"),
     u"sessions.last_request_end_time,sessions.last_request_start_time", DateTime, Centre, 130,
     true},
    {8, QT_TRANSLATE_NOOP("MonitorColumns", "CPU"), u"requests.cpu_time+sessions.cpu_time", Grouped,
     Right, 80, true},
    {9, QT_TRANSLATE_NOOP("MonitorColumns", "I/O"),
     u"requests.reads+requests.writes+sessions.reads+sessions.writes", Grouped, Right, 80, true},
    {10, QT_TRANSLATE_NOOP("MonitorColumns", "Memory"), u"sessions.memory_usage", Grouped, Right,
     80, true},
    {11, QT_TRANSLATE_NOOP("MonitorColumns", "Host"), u"sessions.host_name", Text, Left, 100, true},
    {12, QT_TRANSLATE_NOOP("MonitorColumns", "NT Login"), u"sessions.nt_user_name", Text, Left, 100,
     true},
    {13, QT_TRANSLATE_NOOP("MonitorColumns", "Blocking"), u"requests.blocking_session_id", Blocker,
     Left, 80, true},
    {14, QT_TRANSLATE_NOOP("MonitorColumns", "Client Interface"), u"sessions.client_interface_name",
     Text, Left, 120, false},
    {15, QT_TRANSLATE_NOOP("MonitorColumns", "NT Domain"), u"sessions.nt_domain", Text, Left, 120,
     false},
    {16, QT_TRANSLATE_NOOP("MonitorColumns", "Elapsed Time"),
     u"requests.total_elapsed_time,sessions.total_elapsed_time", Grouped, Right, 120, false},
    {17, QT_TRANSLATE_NOOP("MonitorColumns", "I/O Reads"), u"requests.reads+sessions.reads",
     Grouped, Right, 120, false},
    {18, QT_TRANSLATE_NOOP("MonitorColumns", "I/O Writes"), u"requests.writes+sessions.writes",
     Grouped, Right, 120, false},
    {19, QT_TRANSLATE_NOOP("MonitorColumns", "Logical Reads"),
     u"requests.logical_reads,sessions.logical_reads", Grouped, Right, 120, false},
    {20, QT_TRANSLATE_NOOP("MonitorColumns", "Isolation Level"),
     u"requests.transaction_isolation_level,sessions.transaction_isolation_level", Decimal, Right,
     120, false},
    {21, QT_TRANSLATE_NOOP("MonitorColumns", "Lock Timeout"),
     u"requests.lock_timeout,sessions.lock_timeout", Grouped, Right, 120, false},
    {22, QT_TRANSLATE_NOOP("MonitorColumns", "Row Count"), u"requests.row_count,sessions.row_count",
     Grouped, Right, 120, false},
    {23, QT_TRANSLATE_NOOP("MonitorColumns", "Original Login"), u"sessions.original_login_name",
     Text, Left, 120, false},
    {24, QT_TRANSLATE_NOOP("MonitorColumns", "Open Tran"),
     u"requests.open_transaction_count,sessions.open_transaction_count", Decimal, Right, 120,
     false},
    {25, QT_TRANSLATE_NOOP("MonitorColumns", "Wait Type"), u"requests.wait_type", Text, Left, 120,
     false},
    {26, QT_TRANSLATE_NOOP("MonitorColumns", "Wait Time"), u"requests.wait_time", Grouped, Right,
     120, false},
    {27, QT_TRANSLATE_NOOP("MonitorColumns", "Wait Resource"), u"requests.wait_resource", Text,
     Left, 120, false},
    {28, QT_TRANSLATE_NOOP("MonitorColumns", "Nested Level"), u"requests.nest_level", Decimal,
     Right, 120, false},
    {29, QT_TRANSLATE_NOOP("MonitorColumns", "CLR"), u"requests.executing_managed_code", Flag, Left,
     120, false},
    {30, QT_TRANSLATE_NOOP("MonitorColumns", "Net Transport"), u"connections.net_transport", Text,
     Left, 120, false},
    {31, QT_TRANSLATE_NOOP("MonitorColumns", "Protocol"), u"connections.protocol_type", Text, Left,
     120, false},
    {32, QT_TRANSLATE_NOOP("MonitorColumns", "Auth Scheme"), u"connections.auth_scheme", Text, Left,
     120, false},
    {33, QT_TRANSLATE_NOOP("MonitorColumns", "Client Address"), u"connections.client_net_address",
     Text, Left, 120, false},
    {34, QT_TRANSLATE_NOOP("MonitorColumns", "Client Port"), u"connections.client_tcp_port",
     Decimal, Right, 120, false},
    {35, QT_TRANSLATE_NOOP("MonitorColumns", "Server Address"), u"connections.local_net_address",
     Text, Left, 120, false},
    {36, QT_TRANSLATE_NOOP("MonitorColumns", "Server Port"), u"connections.local_tcp_port", Decimal,
     Right, 120, false},
    // Computed by the window from the previous snapshot of the same session: the growth
    // of the counter divided by the time between the two samples.
    {37, QT_TRANSLATE_NOOP("MonitorColumns", "CPU/s"), u"CPU, ms per second", Rate, Right, 70,
     true},
    {38, QT_TRANSLATE_NOOP("MonitorColumns", "Reads/s"), u"I/O Reads per second", Rate, Right, 70,
     true},
    {39, QT_TRANSLATE_NOOP("MonitorColumns", "Writes/s"), u"I/O Writes per second", Rate, Right, 70,
     true},
    {40, QT_TRANSLATE_NOOP("MonitorColumns", "Logical Reads/s"), u"Logical Reads per second", Rate,
     Right, 100, true},
};

} // namespace

std::span<const TMonitorColumn> MonitorColumns() {
    return kColumns;
}

QString ColumnCaption(int AColumn) {
    return QCoreApplication::translate("MonitorColumns", kColumns[AColumn].Caption);
}

QString GrowthCaption(int ARateColumn) {
    static const char* const captions[RateColumnCount] = {
        QT_TRANSLATE_NOOP("MonitorColumns", "CPU +"),
        QT_TRANSLATE_NOOP("MonitorColumns", "Reads +"),
        QT_TRANSLATE_NOOP("MonitorColumns", "Writes +"),
        QT_TRANSLATE_NOOP("MonitorColumns", "Logical Reads +"),
    };
    return IsRateColumn(ARateColumn)
               ? QCoreApplication::translate("MonitorColumns",
                                             captions[ARateColumn - FirstRateColumn])
               : ColumnCaption(ARateColumn);
}
