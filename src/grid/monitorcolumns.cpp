#include "grid/monitorcolumns.h"

namespace {

using enum TCellForm;
constexpr Qt::AlignmentFlag Left = Qt::AlignLeft;
constexpr Qt::AlignmentFlag Right = Qt::AlignRight;
constexpr Qt::AlignmentFlag Centre = Qt::AlignHCenter;

// Blocking holds a session id but stays left-aligned, unlike every other number.
constexpr TMonitorColumn kColumns[MonitorColumnCount] = {
    {0, u"SPID", u"sessions.session_id", Decimal, Right, 60, true},
    {1, u"Login", u"sessions.login_name", Text, Left, 100, true},
    {2, u"Status", u"requests.status,sessions.status", Text, Left, 80, true},
    {3, u"Command", u"requests.command", Text, Left, 90, true},
    {4, u"Database", u"sessions.database_id", Text, Left, 100, true},
    {5, u"Program", u"sessions.program_name", Text, Left, 100, true},
    {6, u"Login Time", u"sessions.login_time", DateTime, Centre, 130, true},
    {7, u"Last Query Time", u"sessions.last_request_end_time,sessions.last_request_start_time",
     DateTime, Centre, 130, true},
    {8, u"CPU", u"requests.cpu_time+sessions.cpu_time", Grouped, Right, 80, true},
    {9, u"I/O", u"requests.reads+requests.writes+sessions.reads+sessions.writes", Grouped, Right,
     80, true},
    {10, u"Memory", u"sessions.memory_usage", Grouped, Right, 80, true},
    {11, u"Host", u"sessions.host_name", Text, Left, 100, true},
    {12, u"NT Login", u"sessions.nt_user_name", Text, Left, 100, true},
    {13, u"Blocking", u"requests.blocking_session_id", Blocker, Left, 80, true},
    {14, u"Client Interface", u"sessions.client_interface_name", Text, Left, 120, false},
    {15, u"NT Domain", u"sessions.nt_domain", Text, Left, 120, false},
    {16, u"Elapsed Time", u"requests.total_elapsed_time,sessions.total_elapsed_time", Grouped,
     Right, 120, false},
    {17, u"I/O Reads", u"requests.reads+sessions.reads", Grouped, Right, 120, false},
    {18, u"I/O Writes", u"requests.writes+sessions.writes", Grouped, Right, 120, false},
    {19, u"Logical Reads", u"requests.logical_reads,sessions.logical_reads", Grouped, Right, 120,
     false},
    {20, u"Isolation Level",
     u"requests.transaction_isolation_level,sessions.transaction_isolation_level", Decimal, Right,
     120, false},
    {21, u"Lock Timeout", u"requests.lock_timeout,sessions.lock_timeout", Grouped, Right, 120,
     false},
    {22, u"Row Count", u"requests.row_count,sessions.row_count", Grouped, Right, 120, false},
    {23, u"Original Login", u"sessions.original_login_name", Text, Left, 120, false},
    {24, u"Open Tran", u"requests.open_transaction_count,sessions.open_transaction_count", Decimal,
     Right, 120, false},
    {25, u"Wait Type", u"requests.wait_type", Text, Left, 120, false},
    {26, u"Wait Time", u"requests.wait_time", Grouped, Right, 120, false},
    {27, u"Wait Resource", u"requests.wait_resource", Text, Left, 120, false},
    {28, u"Nested Level", u"requests.nest_level", Decimal, Right, 120, false},
    {29, u"CLR", u"requests.executing_managed_code", Flag, Left, 120, false},
    {30, u"Net Transport", u"connections.net_transport", Text, Left, 120, false},
    {31, u"Protocol", u"connections.protocol_type", Text, Left, 120, false},
    {32, u"Auth Scheme", u"connections.auth_scheme", Text, Left, 120, false},
    {33, u"Client Address", u"connections.client_net_address", Text, Left, 120, false},
    {34, u"Client Port", u"connections.client_tcp_port", Decimal, Right, 120, false},
    {35, u"Server Address", u"connections.local_net_address", Text, Left, 120, false},
    {36, u"Server Port", u"connections.local_tcp_port", Decimal, Right, 120, false},
};

} // namespace

std::span<const TMonitorColumn> MonitorColumns() {
    return kColumns;
}
