#include "recorder/rowcodec.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace {

// Every field of a row, in mask order, for a visitor that takes (index, field&).
template <typename Row, typename Visit> void visitFields(Row& r, Visit&& f) {
    auto& m = r.Rec;
    f(0, m.SPID);
    f(1, m.Login);
    f(2, m.Status);
    f(3, m.Command);
    f(4, m.DB);
    f(5, m.ProgName);
    f(6, m.LoginTime);
    f(7, m.LastTime);
    f(8, m.CPU);
    f(9, m.IO);
    f(10, m.Mem);
    f(11, m.Host);
    f(12, m.NTLogin);
    f(13, m.ClientInterface);
    f(14, m.NTDomain);
    f(15, m.ElapsedTime);
    f(16, m.Reads);
    f(17, m.Writes);
    f(18, m.LogicalReads);
    f(19, m.IsolationLevel);
    f(20, m.LockTimeout);
    f(21, m.RowCnt);
    f(22, m.OriginalLogin);
    f(23, m.OpenTran);
    f(24, m.WaitType);
    f(25, m.WaitTime);
    f(26, m.WaitResource);
    f(27, m.NestedLevel);
    f(28, m.CLR);
    f(29, m.NetTransport);
    f(30, m.Protocol);
    f(31, m.AuthScheme);
    f(32, m.ClientAddress);
    f(33, m.ClientPort);
    f(34, m.ServerAddress);
    f(35, m.ServerPort);
    f(36, m.Blocking);
    f(37, m.Blocked);
    f(38, m.IsUser);
    f(39, m.RequestID);
    f(40, m.SelfID);
    f(41, r.Text);
    f(42, r.Idx1);
    f(43, r.Idx2);
}

// The same field of two rows side by side.
template <typename Visit>
void visitFieldPairs(const TRecordedRow& a, const TRecordedRow& b, Visit&& f) {
    f(0, a.Rec.SPID, b.Rec.SPID);
    f(1, a.Rec.Login, b.Rec.Login);
    f(2, a.Rec.Status, b.Rec.Status);
    f(3, a.Rec.Command, b.Rec.Command);
    f(4, a.Rec.DB, b.Rec.DB);
    f(5, a.Rec.ProgName, b.Rec.ProgName);
    f(6, a.Rec.LoginTime, b.Rec.LoginTime);
    f(7, a.Rec.LastTime, b.Rec.LastTime);
    f(8, a.Rec.CPU, b.Rec.CPU);
    f(9, a.Rec.IO, b.Rec.IO);
    f(10, a.Rec.Mem, b.Rec.Mem);
    f(11, a.Rec.Host, b.Rec.Host);
    f(12, a.Rec.NTLogin, b.Rec.NTLogin);
    f(13, a.Rec.ClientInterface, b.Rec.ClientInterface);
    f(14, a.Rec.NTDomain, b.Rec.NTDomain);
    f(15, a.Rec.ElapsedTime, b.Rec.ElapsedTime);
    f(16, a.Rec.Reads, b.Rec.Reads);
    f(17, a.Rec.Writes, b.Rec.Writes);
    f(18, a.Rec.LogicalReads, b.Rec.LogicalReads);
    f(19, a.Rec.IsolationLevel, b.Rec.IsolationLevel);
    f(20, a.Rec.LockTimeout, b.Rec.LockTimeout);
    f(21, a.Rec.RowCnt, b.Rec.RowCnt);
    f(22, a.Rec.OriginalLogin, b.Rec.OriginalLogin);
    f(23, a.Rec.OpenTran, b.Rec.OpenTran);
    f(24, a.Rec.WaitType, b.Rec.WaitType);
    f(25, a.Rec.WaitTime, b.Rec.WaitTime);
    f(26, a.Rec.WaitResource, b.Rec.WaitResource);
    f(27, a.Rec.NestedLevel, b.Rec.NestedLevel);
    f(28, a.Rec.CLR, b.Rec.CLR);
    f(29, a.Rec.NetTransport, b.Rec.NetTransport);
    f(30, a.Rec.Protocol, b.Rec.Protocol);
    f(31, a.Rec.AuthScheme, b.Rec.AuthScheme);
    f(32, a.Rec.ClientAddress, b.Rec.ClientAddress);
    f(33, a.Rec.ClientPort, b.Rec.ClientPort);
    f(34, a.Rec.ServerAddress, b.Rec.ServerAddress);
    f(35, a.Rec.ServerPort, b.Rec.ServerPort);
    f(36, a.Rec.Blocking, b.Rec.Blocking);
    f(37, a.Rec.Blocked, b.Rec.Blocked);
    f(38, a.Rec.IsUser, b.Rec.IsUser);
    f(39, a.Rec.RequestID, b.Rec.RequestID);
    f(40, a.Rec.SelfID, b.Rec.SelfID);
    f(41, a.Text, b.Text);
    f(42, a.Idx1, b.Idx1);
    f(43, a.Idx2, b.Idx2);
}

constexpr int kFieldCount = 44;
// The key's fields: a row's key carries them.
constexpr bool isKeyField(int i) {
    return i == 0 || i == 6 || i == 39;
}

bool same(const QString& a, const QString& b) {
    return a == b;
}
bool same(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
template <typename T> bool same(const T& a, const T& b) {
    return a == b;
}

class TWriter {
public:
    void varint(quint64 v) {
        while (v >= 0x80) {
            FOut.append(char(v | 0x80));
            v >>= 7;
        }
        FOut.append(char(v));
    }
    void zigzag(qint64 v) { varint((quint64(v) << 1) ^ quint64(v >> 63)); }
    void f64(double v) {
        char bytes[8];
        qToLittleEndian(v, bytes);
        FOut.append(bytes, 8);
    }
    void field(const QString& s) {
        const QByteArray utf8 = s.toUtf8();
        varint(quint64(utf8.size()));
        FOut.append(utf8);
    }
    void field(double v) { f64(v); }
    void field(bool v) { FOut.append(char(v ? 1 : 0)); }
    void field(std::int32_t v) { zigzag(v); }
    void field(std::int64_t v) { zigzag(v); }
    void key(const TRowKey& k) {
        zigzag(k.SPID);
        zigzag(k.RequestID);
        f64(k.LoginTime);
        varint(k.Occurrence);
    }
    QByteArray& bytes() { return FOut; }

private:
    QByteArray FOut;
};

class TReader {
public:
    explicit TReader(const QByteArray& bytes)
        : FP(bytes.constData()), FEnd(bytes.constData() + bytes.size()) {}
    quint64 varint() {
        quint64 v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            const quint8 b = byte();
            v |= quint64(b & 0x7F) << shift;
            if (!(b & 0x80))
                return v;
        }
        throw ERecordingFormat();
    }
    qint64 zigzag() {
        const quint64 v = varint();
        return qint64(v >> 1) ^ -qint64(v & 1);
    }
    double f64() {
        need(8);
        const double v = qFromLittleEndian<double>(FP);
        FP += 8;
        return v;
    }
    void field(QString& s) {
        const quint64 n = varint();
        need(n);
        s = QString::fromUtf8(FP, qsizetype(n));
        FP += n;
    }
    void field(double& v) { v = f64(); }
    void field(bool& v) { v = byte() != 0; }
    void field(std::int32_t& v) {
        const qint64 z = zigzag();
        if (z < INT32_MIN || z > INT32_MAX)
            throw ERecordingFormat();
        v = std::int32_t(z);
    }
    void field(std::int64_t& v) { v = zigzag(); }
    TRowKey key() {
        TRowKey k;
        field(k.SPID);
        field(k.RequestID);
        k.LoginTime = f64();
        // Keys are ordered by their login time; a NaN has no place in an order.
        if (std::isnan(k.LoginTime))
            throw ERecordingFormat();
        const quint64 occurrence = varint();
        if (occurrence > UINT32_MAX)
            throw ERecordingFormat();
        k.Occurrence = std::uint32_t(occurrence);
        return k;
    }
    bool atEnd() const { return FP == FEnd; }

private:
    void need(quint64 n) const {
        if (quint64(FEnd - FP) < n)
            throw ERecordingFormat();
    }
    quint8 byte() {
        need(1);
        return quint8(*FP++);
    }
    const char* FP;
    const char* FEnd;
};

quint64 changedFields(const TRecordedRow& a, const TRecordedRow& b) {
    quint64 mask = 0;
    visitFieldPairs(a, b, [&](int i, const auto& x, const auto& y) {
        if (!isKeyField(i) && !same(x, y))
            mask |= quint64(1) << i;
    });
    return mask;
}

TRecordedRow emptyRow(const TRowKey& k) {
    TRecordedRow r;
    r.Rec.SPID = k.SPID;
    r.Rec.RequestID = k.RequestID;
    r.Rec.LoginTime = k.LoginTime;
    return r;
}

} // namespace

const QStringList& RecordedFieldNames() {
    static const QStringList names = {"SPID",
                                      "Login",
                                      "Status",
                                      "Command",
                                      "DB",
                                      "ProgName",
                                      "LoginTime",
                                      "LastTime",
                                      "CPU",
                                      "IO",
                                      "Mem",
                                      "Host",
                                      "NTLogin",
                                      "ClientInterface",
                                      "NTDomain",
                                      "ElapsedTime",
                                      "Reads",
                                      "Writes",
                                      "LogicalReads",
                                      "IsolationLevel",
                                      "LockTimeout",
                                      "RowCnt",
                                      "OriginalLogin",
                                      "OpenTran",
                                      "WaitType",
                                      "WaitTime",
                                      "WaitResource",
                                      "NestedLevel",
                                      "CLR",
                                      "NetTransport",
                                      "Protocol",
                                      "AuthScheme",
                                      "ClientAddress",
                                      "ClientPort",
                                      "ServerAddress",
                                      "ServerPort",
                                      "Blocking",
                                      "Blocked",
                                      "IsUser",
                                      "RequestID",
                                      "SelfID",
                                      "Text",
                                      "Idx1",
                                      "Idx2"};
    return names;
}

QVariant RecordedFieldValue(const TRecordedRow& ARow, int AField) {
    QVariant value;
    visitFields(ARow, [&](int i, const auto& field) {
        if (i == AField)
            value = QVariant::fromValue(field);
    });
    return value;
}

bool SameRecordedValues(const TRecordedRow& a, const TRecordedRow& b) {
    return a.Rec.SPID == b.Rec.SPID && a.Rec.RequestID == b.Rec.RequestID &&
           same(a.Rec.LoginTime, b.Rec.LoginTime) && changedFields(a, b) == 0;
}

bool SameRowStates(const TRowState& a, const TRowState& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
               return x.first == y.first && SameRecordedValues(x.second, y.second);
           });
}

TRowState KeyRows(const TRecordedRows& ARows) {
    TRowState state;
    for (const TRecordedRow& row : ARows) {
        TRowKey k{row.Rec.SPID, row.Rec.RequestID, row.Rec.LoginTime, 0};
        while (state.count(k))
            ++k.Occurrence;
        state.emplace(k, row);
    }
    return state;
}

QByteArray EncodeSnapshot(const TRowState& APrevious, const TRowState& ACurrent) {
    TWriter w;
    // Both maps are in key order: one walk finds what went.
    std::vector<const TRowKey*> removed;
    auto cur = ACurrent.begin();
    for (const auto& [key, row] : APrevious) {
        while (cur != ACurrent.end() && cur->first < key)
            ++cur;
        if (cur == ACurrent.end() || cur->first != key)
            removed.push_back(&key);
    }
    w.varint(removed.size());
    for (const TRowKey* k : removed)
        w.key(*k);

    struct TWritten {
        const TRowKey* Key;
        const TRecordedRow* Row;
        quint64 Mask;
    };
    std::vector<TWritten> written;
    auto prev = APrevious.begin();
    for (const auto& [key, row] : ACurrent) {
        while (prev != APrevious.end() && prev->first < key)
            ++prev;
        if (prev != APrevious.end() && prev->first == key) {
            const quint64 mask = changedFields(row, prev->second);
            if (mask)
                written.push_back({&key, &row, mask});
        } else {
            written.push_back({&key, &row, changedFields(row, emptyRow(key))});
        }
    }
    w.varint(written.size());
    for (const TWritten& x : written) {
        w.key(*x.Key);
        w.varint(x.Mask);
        visitFields(*x.Row, [&](int i, const auto& field) {
            if (x.Mask & (quint64(1) << i))
                w.field(field);
        });
    }
    return w.bytes();
}

namespace {

template <typename T> constexpr bool isText = std::is_same_v<std::decay_t<T>, QString>;

// The characters of a row's texts, in bytes as they are held.
qint64 textBytes(const TRecordedRow& ARow) {
    qint64 bytes = 0;
    visitFields(ARow, [&](int, const auto& field) {
        if constexpr (isText<decltype(field)>)
            bytes += 2 * qint64(field.size());
    });
    return bytes;
}

void spend(TRowBudget& ABudget, qint64 ABytes) {
    ABudget.Used += ABytes;
    if (ABudget.Used > ABudget.Limit)
        throw ERecordingFormat(ERecordingFormat::TWhy::TooLarge);
}

} // namespace

void ApplySnapshot(TRowState& AState, const QByteArray& ABytes, TRowBudget& ABudget) {
    TReader r(ABytes);
    for (quint64 n = r.varint(); n > 0; --n) {
        const auto it = AState.find(r.key());
        if (it == AState.end())
            continue;
        ABudget.Used -= TRowBudget::kRowCost + textBytes(it->second);
        AState.erase(it);
    }
    for (quint64 n = r.varint(); n > 0; --n) {
        const TRowKey key = r.key();
        const quint64 mask = r.varint();
        if (mask >> kFieldCount)
            throw ERecordingFormat();
        auto it = AState.find(key);
        if (it == AState.end()) {
            spend(ABudget, TRowBudget::kRowCost);
            it = AState.emplace(key, emptyRow(key)).first;
        }
        visitFields(it->second, [&](int i, auto& field) {
            if (isKeyField(i) || !(mask & (quint64(1) << i)))
                return;
            if constexpr (isText<decltype(field)>) {
                const qint64 before = field.size();
                r.field(field);
                spend(ABudget, 2 * (qint64(field.size()) - before));
            } else {
                r.field(field);
            }
        });
    }
    if (!r.atEnd())
        throw ERecordingFormat();
}

void ApplySnapshot(TRowState& AState, const QByteArray& ABytes) {
    TRowBudget unlimited;
    ApplySnapshot(AState, ABytes, unlimited);
}
