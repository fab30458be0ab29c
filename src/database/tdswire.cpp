#include "database/tdswire.h"

#include <array>

namespace tds {

namespace {

quint16 bigEndian16(const QByteArray& b, qsizetype at) {
    return quint16((quint8(b[at]) << 8) | quint8(b[at + 1]));
}

quint16 littleEndian16(const QByteArray& b, qsizetype at) {
    return quint16(quint8(b[at]) | (quint8(b[at + 1]) << 8));
}

quint32 littleEndian32(const QByteArray& b, qsizetype at) {
    return quint32(littleEndian16(b, at)) | (quint32(littleEndian16(b, at + 2)) << 16);
}

void putLittleEndian16(QByteArray& b, qsizetype at, quint16 v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}

void putLittleEndian32(QByteArray& b, qsizetype at, quint32 v) {
    putLittleEndian16(b, at, quint16(v & 0xFFFF));
    putLittleEndian16(b, at + 2, quint16(v >> 16));
}

constexpr quint8 kTerminator = 0xFF;
constexpr quint8 kOptionEncryption = 0x01;

// Where the ENCRYPTION option's byte is; -1 when the message has none or is malformed. An
// option's data lies after the list of options, never inside it.
qsizetype encryptionAt(const QByteArray& m) {
    qsizetype terminator = 0;
    while (terminator < m.size() && quint8(m[terminator]) != kTerminator)
        terminator += 5;
    if (terminator >= m.size())
        return -1;
    for (qsizetype at = 0; at < terminator; at += 5) {
        if (quint8(m[at]) != kOptionEncryption)
            continue;
        const qsizetype offset = bigEndian16(m, at + 1);
        return bigEndian16(m, at + 3) >= 1 && offset > terminator && offset < m.size() ? offset
                                                                                       : -1;
    }
    return -1;
}

// LOGIN7's fixed part: the offset/length pairs of its variable fields, and where its data
// begins. The lengths of the name fields count UTF-16 characters; the extension's and the
// SSPI token's count bytes.
constexpr int kLoginFixedSize = 94;
constexpr int kServerNameAt = 52;
constexpr int kExtensionAt = 56;
constexpr int kOptionFlags3At = 27;
constexpr quint8 kExtensionFlag = 0x10;
constexpr std::array<int, 11> kOffsetFields{36, 40, 44, 48, 56, 60, 64, 68, 78, 82, 86};

// The bytes a field's length stands for: characters of UTF-16 for the names, bytes for the
// extension and the SSPI token.
qsizetype fieldBytes(const QByteArray& m, int field) {
    const qsizetype length = littleEndian16(m, field + 2);
    if (field == 56 || field == 78)
        return field == 78 && length == 0xFFFF ? qsizetype(littleEndian32(m, 90)) : length;
    return length * 2;
}

} // namespace

std::optional<TPacketHeader> ReadPacketHeader(const QByteArray& b) {
    if (b.size() < kHeaderSize)
        return std::nullopt;
    TPacketHeader h{b[0], quint8(b[1]), bigEndian16(b, 2)};
    if (h.Length < kHeaderSize)
        return std::nullopt;
    return h;
}

QByteArray Packet(char AType, const QByteArray& AData, bool ALast, quint8 APacketId) {
    const int length = int(AData.size()) + kHeaderSize;
    QByteArray p;
    p.reserve(length);
    p += AType;
    p += char(ALast ? kStatusEndOfMessage : 0);
    p += char(length >> 8);
    p += char(length & 0xFF);
    p += '\0';
    p += '\0';
    p += char(APacketId);
    p += '\0';
    return p + AData;
}

QByteArray Packets(char AType, const QByteArray& AMessage, int APacketSize) {
    const qsizetype chunk = APacketSize - kHeaderSize;
    QByteArray out;
    quint8 id = 1;
    qsizetype at = 0;
    do {
        const QByteArray part = AMessage.mid(at, chunk);
        at += part.size();
        out += Packet(AType, part, at >= AMessage.size(), id++);
    } while (at < AMessage.size());
    return out;
}

QByteArray PreloginRequest(quint8 AEncryption, const QString& AInstance) {
    const QByteArray values[] = {
        QByteArray::fromHex("0c0000000000"), // a client version, for the server's logs only
        QByteArray(1, char(AEncryption)),
        AInstance.toLocal8Bit() + '\0',
        QByteArray(4, '\0'), // THREADID
        QByteArray(1, '\0'), // MARS off
    };
    const qsizetype base = 5 * qsizetype(std::size(values)) + 1;
    QByteArray head, body;
    for (std::size_t i = 0; i < std::size(values); ++i) {
        const qsizetype offset = base + body.size();
        head += char(i);
        head += char(offset >> 8);
        head += char(offset & 0xFF);
        head += char(values[i].size() >> 8);
        head += char(values[i].size() & 0xFF);
        body += values[i];
    }
    return head + char(kTerminator) + body;
}

std::optional<quint8> PreloginEncryption(const QByteArray& APrelogin) {
    const qsizetype at = encryptionAt(APrelogin);
    if (at < 0)
        return std::nullopt;
    return quint8(APrelogin[at]);
}

std::optional<QByteArray> WithPreloginEncryption(const QByteArray& APrelogin, quint8 AValue) {
    const qsizetype at = encryptionAt(APrelogin);
    if (at < 0)
        return std::nullopt;
    QByteArray m = APrelogin;
    m[at] = char(AValue);
    return m;
}

std::optional<QString> Login7ServerName(const QByteArray& m) {
    if (m.size() < kLoginFixedSize)
        return std::nullopt;
    const qsizetype at = littleEndian16(m, kServerNameAt);
    const qsizetype bytes = qsizetype(littleEndian16(m, kServerNameAt + 2)) * 2;
    if (at + bytes > m.size())
        return std::nullopt;
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(m.constData() + at), bytes / 2);
}

std::optional<QByteArray> WithLogin7ServerName(const QByteArray& ALogin7, const QString& AName) {
    const QByteArray& m = ALogin7;
    if (m.size() < kLoginFixedSize || littleEndian32(m, 0) != quint32(m.size()) ||
        AName.size() > 128)
        return std::nullopt;
    const qsizetype at = littleEndian16(m, kServerNameAt);
    const qsizetype oldBytes = qsizetype(littleEndian16(m, kServerNameAt + 2)) * 2;
    if (at < kLoginFixedSize || at + oldBytes > m.size())
        return std::nullopt;
    QByteArray name(reinterpret_cast<const char*>(AName.utf16()), AName.size() * 2);
    const qsizetype delta = name.size() - oldBytes;
    const qsizetype end = at + oldBytes; // whatever starts here or later moves by delta

    // No other field may share the name's bytes: a message where one does is no driver's.
    for (int field : kOffsetFields) {
        const qsizetype from = littleEndian16(m, field);
        const qsizetype to = from + fieldBytes(m, field);
        if (field != kServerNameAt && from < to && from < end && at < to)
            return std::nullopt;
    }
    QByteArray out = m.left(at) + name + m.mid(end);
    for (int field : kOffsetFields) {
        if (field == kServerNameAt)
            continue;
        const qsizetype offset = littleEndian16(m, field);
        if (offset < end)
            continue;
        if (offset + delta > 0xFFFF)
            return std::nullopt;
        putLittleEndian16(out, field, quint16(offset + delta));
    }
    putLittleEndian16(out, kServerNameAt + 2, quint16(AName.size()));
    // The extension field holds the absolute offset of the feature data, which may lie
    // behind the server name too.
    if (quint8(m[kOptionFlags3At]) & kExtensionFlag) {
        const qsizetype pointerAt = littleEndian16(out, kExtensionAt);
        if (littleEndian16(m, kExtensionAt + 2) >= 4 && pointerAt + 4 <= out.size()) {
            const quint32 features = littleEndian32(out, pointerAt);
            if (features >= quint32(end))
                putLittleEndian32(out, pointerAt, quint32(qint64(features) + delta));
        }
    }
    putLittleEndian32(out, 0, quint32(out.size()));
    return out;
}

} // namespace tds
