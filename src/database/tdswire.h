#pragma once
// The few pieces of the TDS wire format that Dervel's own TLS layer reads and writes: the
// packet header, the PRELOGIN message and the server name inside LOGIN7. Plain functions
// of bytes, so that every rule is tested without a socket.

#include <QByteArray>
#include <QString>
#include <optional>

namespace tds {

inline constexpr int kHeaderSize = 8;
inline constexpr char kPrelogin = 0x12;
inline constexpr char kLogin7 = 0x10;
inline constexpr char kReply = 0x04;
inline constexpr quint8 kStatusEndOfMessage = 0x01;

// The ENCRYPTION option of PRELOGIN.
inline constexpr quint8 kEncryptOff = 0x00;    // the login packet only
inline constexpr quint8 kEncryptOn = 0x01;     // everything
inline constexpr quint8 kEncryptNotSup = 0x02; // nothing
inline constexpr quint8 kEncryptReq = 0x03;    // everything, the server insists

struct TPacketHeader {
    char Type = 0;
    quint8 Status = 0;
    int Length = 0; // header included
    bool endOfMessage() const { return Status & kStatusEndOfMessage; }
};

// Nothing when the bytes are too few or the length is smaller than a header.
std::optional<TPacketHeader> ReadPacketHeader(const QByteArray& ABytes);
// One packet: the header (SPID 0, the packet id given) and the data.
QByteArray Packet(char AType, const QByteArray& AData, bool ALast, quint8 APacketId = 1);
// A message cut into packets of at most APacketSize bytes each, numbered from 1.
QByteArray Packets(char AType, const QByteArray& AMessage, int APacketSize);

// The client's PRELOGIN: VERSION, ENCRYPTION, INSTOPT (the instance's name, empty for any),
// THREADID and MARS off.
QByteArray PreloginRequest(quint8 AEncryption, const QString& AInstance);
// The ENCRYPTION option of a PRELOGIN message; nothing when it has none or is malformed.
std::optional<quint8> PreloginEncryption(const QByteArray& APrelogin);
// The same message with its ENCRYPTION option set; nothing when it has no such option.
std::optional<QByteArray> WithPreloginEncryption(const QByteArray& APrelogin, quint8 AValue);

// LOGIN7 with its ServerName field replaced and every offset behind it moved; nothing when
// the message is malformed (an offset or a length outside it).
std::optional<QByteArray> WithLogin7ServerName(const QByteArray& ALogin7, const QString& AName);
// The ServerName field of LOGIN7; nothing when the message is malformed.
std::optional<QString> Login7ServerName(const QByteArray& ALogin7);

} // namespace tds
