#pragma once
// A free port on loopback and a plain HTTP GET there, for the tests that read a recorder's
// /metrics.

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

inline quint16 FreeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The body, or nothing when there is no answer.
inline QByteArray LoopbackGet(quint16 APort, const QByteArray& APath) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, APort);
    if (!s.waitForConnected(2000))
        return {};
    s.write("GET " + APath + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray reply;
    while (s.waitForReadyRead(3000))
        reply += s.readAll();
    reply += s.readAll();
    const qsizetype body = reply.indexOf("\r\n\r\n");
    return body < 0 ? QByteArray() : reply.mid(body + 4);
}
