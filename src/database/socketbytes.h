#pragma once
// Bytes that came in over a connection's TCP socket, as the kernel counts them: what the
// sampling costs on the wire. The ODBC driver does not tell its socket, so a connection
// finds it as the one TCP socket that appeared while it connected.

#include <QList>
#include <QtGlobal>

// The descriptors of this process's open TCP sockets.
QList<int> OpenTcpSockets();
// The socket among `after` that is not in `before`, when there is exactly one; else -1.
int NewSocket(const QList<int>& before, const QList<int>& after);
// Payload bytes received on the socket so far; -1 when the kernel does not say.
qint64 TcpBytesReceived(int fd);
