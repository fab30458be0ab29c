#pragma once
// The TCP port of a named instance, as the SQL Server Browser tells it on UDP 1434.
//
// Anyone on the network can send a datagram to the port the question went out from, so an
// answer counts only when it comes from the address asked (the socket is connected to it,
// and the kernel drops every other sender's datagrams), is a server response, names the
// instance asked for and gives a TCP port.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <optional>

// The question for one instance (CLNT_UCAST_INST).
QByteArray BrowserRequest(const QString& AInstance);
// The instance's TCP port from a response (SVR_RESP); nothing when the response is
// malformed, is about other instances only, or gives no TCP port.
std::optional<int> BrowserReplyPort(const QByteArray& AReply, const QString& AInstance);

// Asks the Browser on AHost, again every second, until an answer counts or the deadline
// passes; 0 when none did.
int AskBrowserForPort(const QString& AHost, const QString& AInstance,
                      std::chrono::steady_clock::time_point ADeadline);
