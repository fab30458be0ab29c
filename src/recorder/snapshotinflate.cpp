#include "recorder/snapshotinflate.h"

#include "recorder/rowcodec.h"

#include <QtEndian>
#include <zlib.h>

QByteArray InflateSnapshot(const QByteArray& ACompressed, qsizetype ALimit) {
    using TWhy = ERecordingFormat::TWhy;
    if (ACompressed.size() < 4)
        throw ERecordingFormat();
    const quint32 length = qFromBigEndian<quint32>(ACompressed.constData());
    if (qint64(length) > qint64(ALimit))
        throw ERecordingFormat(TWhy::TooLarge);
    if (ACompressed.size() == 4) {
        if (length != 0)
            throw ERecordingFormat();
        return {};
    }
    // Exactly the length given, and not a byte more: a stream that would go on is damaged.
    QByteArray out(qsizetype(length), Qt::Uninitialized);
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        throw ERecordingFormat();
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(ACompressed.constData() + 4));
    z.avail_in = uInt(ACompressed.size() - 4);
    char spare = 0;
    z.next_out = reinterpret_cast<Bytef*>(length ? out.data() : &spare);
    z.avail_out = length ? uInt(length) : 1;
    int rc = inflate(&z, Z_FINISH);
    const bool filled = z.total_out == length;
    if (rc == Z_BUF_ERROR && filled) {
        // Full at the length given: one more byte tells a stream that ends from one that
        // would go on.
        z.next_out = reinterpret_cast<Bytef*>(&spare);
        z.avail_out = 1;
        rc = inflate(&z, Z_FINISH);
    }
    const uLong produced = z.total_out;
    inflateEnd(&z);
    if (rc != Z_STREAM_END || produced != length)
        throw ERecordingFormat();
    return out;
}
