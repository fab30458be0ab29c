// The bytes of recorded snapshots: full ones and deltas read back to the same rows, a
// delta holds only what changed, a reused SPID is another row, and damaged bytes are
// refused rather than misread; what the rows take is counted and capped, and so is what
// the compressed data may inflate to.

#include "recorder/rowcodec.h"
#include "recorder/snapshotinflate.h"

#include <QTest>
#include <QtEndian>

using namespace Qt::Literals::StringLiterals;

namespace {

TRecordedRow row(int spid, int request = 0, double login = 45000.5) {
    TRecordedRow r;
    r.Rec.SPID = spid;
    r.Rec.RequestID = request;
    r.Rec.LoginTime = login;
    r.Rec.Login = u"user%1"_s.arg(spid);
    r.Rec.Status = u"sleeping"_s;
    r.Rec.IsUser = true;
    return r;
}

// Every field set to something other than its default.
TRecordedRow busyRow() {
    TRecordedRow r = row(77, 3, 45123.25);
    TMonitorRec& m = r.Rec;
    m.Login = u"Иванов"_s;
    m.Status = u"running"_s;
    m.Command = u"SELECT"_s;
    m.DB = u"Склад"_s;
    m.ProgName = u"1С:Предприятие"_s;
    m.LastTime = 45123.5;
    m.CPU = -2147483647 - 1;
    m.IO = 9223372036854775807LL;
    m.Mem = 12;
    m.Host = u"WS01"_s;
    m.NTLogin = u"ivanov"_s;
    m.ClientInterface = u"ODBC"_s;
    m.NTDomain = u"CORP"_s;
    m.ElapsedTime = 1000;
    m.Reads = -5;
    m.Writes = 6;
    m.LogicalReads = 7;
    m.IsolationLevel = 2;
    m.LockTimeout = -1;
    m.RowCnt = 4294967296LL;
    m.OriginalLogin = u"orig"_s;
    m.OpenTran = 1;
    m.WaitType = u"LCK_M_X"_s;
    m.WaitTime = 1500;
    m.WaitResource = u"KEY: 5:72057594038321152 (8194443284a0)"_s;
    m.NestedLevel = 3;
    m.CLR = true;
    m.NetTransport = u"TCP"_s;
    m.Protocol = u"TSQL"_s;
    m.AuthScheme = u"NTLM"_s;
    m.ClientAddress = u"10.0.0.5"_s;
    m.ClientPort = 50123;
    m.ServerAddress = u"10.0.0.1"_s;
    m.ServerPort = 1433;
    m.Blocking = 61;
    m.Blocked = true;
    m.SelfID = true;
    r.Text = u"select 1;\r\nupdate t set a = 'ё'"_s;
    r.Idx1 = 12;
    r.Idx2 = -1;
    return r;
}

TRowState roundTrip(const TRowState& before, const TRowState& after, QByteArray* bytes = nullptr) {
    const QByteArray encoded = EncodeSnapshot(before, after);
    if (bytes)
        *bytes = encoded;
    TRowState state = before;
    ApplySnapshot(state, encoded);
    return state;
}

} // namespace

class TestRowCodec : public QObject {
    Q_OBJECT
private slots:
    void everyFieldSurvivesAFullSnapshot();
    void deltaHoldsOnlyTheChanges();
    void rowsComeAndGo();
    void aReusedSpidIsAnotherRow();
    void equalKeysAreKeptApart();
    void damagedBytesAreRefused_data();
    void damagedBytesAreRefused();
    void theBudgetFollowsTheRows();
    void inflating_data();
    void inflating();
};

void TestRowCodec::everyFieldSurvivesAFullSnapshot() {
    const TRowState rows = KeyRows({busyRow(), row(51)});
    const TRowState back = roundTrip({}, rows);
    QVERIFY(SameRowStates(back, rows));
    const TRecordedRow& r = back.begin()->second.Rec.SPID == 51 ? std::next(back.begin())->second
                                                                : back.begin()->second;
    QCOMPARE(r.Rec.IO, 9223372036854775807LL);
    QCOMPARE(r.Rec.CPU, -2147483647 - 1);
    QCOMPARE(r.Rec.DB, u"Склад"_s);
    QCOMPARE(r.Text, busyRow().Text);
    QCOMPARE(RecordedFieldNames().size(), 44);
}

void TestRowCodec::deltaHoldsOnlyTheChanges() {
    TRecordedRows rows;
    for (int spid = 51; spid < 251; ++spid)
        rows.push_back(busyRow()), rows.back().Rec.SPID = spid;
    const TRowState before = KeyRows(rows);
    rows[10].Rec.CPU += 100;
    rows[10].Rec.LastTime += 0.001;
    rows[20].Rec.Status = u"suspended"_s;
    const TRowState after = KeyRows(rows);
    QByteArray delta, full;
    QVERIFY(SameRowStates(roundTrip(before, after, &delta), after));
    roundTrip({}, after, &full);
    // Two changed rows: their keys, masks and three values, nothing of the other 198.
    QVERIFY2(delta.size() < 60, qPrintable(QString::number(delta.size())));
    QVERIFY(full.size() > 100 * delta.size());
    QByteArray none;
    QVERIFY(SameRowStates(roundTrip(after, after, &none), after));
    QCOMPARE(none.size(), 2); // nothing gone, nothing written
}

void TestRowCodec::rowsComeAndGo() {
    const TRowState before = KeyRows({row(51), row(52), row(53)});
    TRecordedRow changed = row(53);
    changed.Rec.Command = u"UPDATE"_s;
    const TRowState after = KeyRows({row(52), changed, row(60), row(51, 1)});
    QVERIFY(SameRowStates(roundTrip(before, after), after));
}

void TestRowCodec::aReusedSpidIsAnotherRow() {
    TRecordedRow first = row(70, 0, 45000.5);
    first.Rec.CPU = 9000;
    TRecordedRow second = row(70, 0, 45000.75); // another login behind SPID 70
    second.Rec.Login = u"other"_s;
    const TRowState before = KeyRows({first});
    const TRowState after = KeyRows({second});
    const TRowState back = roundTrip(before, after);
    QCOMPARE(back.size(), std::size_t(1));
    QCOMPARE(back.begin()->second.Rec.CPU, 0); // nothing carried over from the old login
    QCOMPARE(back.begin()->second.Rec.Login, u"other"_s);
}

void TestRowCodec::equalKeysAreKeptApart() {
    // A session with two connections has two rows with the same key.
    TRecordedRow a = row(80), b = row(80);
    a.Rec.ClientPort = 1;
    b.Rec.ClientPort = 2;
    const TRowState rows = KeyRows({a, b});
    QCOMPARE(rows.size(), std::size_t(2));
    TRecordedRow b2 = b;
    b2.Rec.ClientPort = 3;
    const TRowState after = KeyRows({a, b2});
    const TRowState back = roundTrip(rows, after);
    QVERIFY(SameRowStates(back, after));
    QCOMPARE(std::prev(back.end())->second.Rec.ClientPort, 3);
}

void TestRowCodec::damagedBytesAreRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = EncodeSnapshot({}, KeyRows({busyRow(), row(51)}));
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("cut in the middle") << good.left(good.size() / 2);
    QTest::newRow("one byte short") << good.left(good.size() - 1);
    QTest::newRow("trailing bytes") << good + QByteArray(1, '\0');
    // No removals, one row: key 51/0/0.0/0, then a mask with a bit past the last field.
    QByteArray beyond;
    beyond.append('\0').append('\1').append(char(102)).append('\0').append(8, '\0').append('\0');
    beyond.append(QByteArray::fromHex("80808080808080808001"));
    QTest::newRow("a field that does not exist") << beyond;
    QTest::newRow("a varint that never ends") << QByteArray(12, char(0xFF));
    // A key whose login time is no number: keys could not be ordered.
    QByteArray nan;
    nan.append('\0').append('\1').append(char(102)).append('\0');
    nan.append(QByteArray::fromHex("000000000000F87F")).append('\0').append('\0');
    QTest::newRow("a login time that is no number") << nan;
}

void TestRowCodec::damagedBytesAreRefused() {
    QFETCH(QByteArray, bytes);
    TRowState state;
    QVERIFY_THROWS_EXCEPTION(ERecordingFormat, ApplySnapshot(state, bytes));
}

void TestRowCodec::theBudgetFollowsTheRows() {
    // Rows come, go and change their texts; whatever the way a state was reached, it
    // counts as much as the same state read whole.
    TRecordedRow grown = busyRow();
    grown.Text = QString(5000, u'x');
    TRecordedRow shrunk = busyRow();
    shrunk.Text.clear();
    shrunk.Rec.Login.clear();
    const QList<TRowState> states = {KeyRows({row(51), row(52), busyRow()}),
                                     KeyRows({row(52), grown, row(60), row(61)}),
                                     KeyRows({shrunk, row(61), row(62, 1)}),
                                     {},
                                     KeyRows({busyRow()})};
    TRowState state;
    TRowBudget budget;
    TRowState previous;
    for (const TRowState& next : states) {
        ApplySnapshot(state, EncodeSnapshot(previous, next), budget);
        previous = next;
        TRowState whole;
        TRowBudget fresh;
        ApplySnapshot(whole, EncodeSnapshot({}, next), fresh);
        QCOMPARE(budget.Used, fresh.Used);
        QVERIFY(next.empty() == (budget.Used == 0));
        if (&next == &states[1]) // the grown text counts, two bytes a character
            QVERIFY(fresh.Used >= qint64(next.size()) * TRowBudget::kRowCost + 2 * 5000);
        // What the state takes is just within a budget of that much, and a byte less is
        // refused.
        TRowState within, beyond;
        TRowBudget exact{fresh.Used, 0}, short_{fresh.Used - 1, 0};
        ApplySnapshot(within, EncodeSnapshot({}, next), exact);
        if (!next.empty()) {
            try {
                ApplySnapshot(beyond, EncodeSnapshot({}, next), short_);
                QFAIL("a state over its budget was read");
            } catch (const ERecordingFormat& e) {
                QCOMPARE(e.Why, ERecordingFormat::TWhy::TooLarge);
            }
        }
    }
}

void TestRowCodec::inflating_data() {
    enum { ok, damaged, tooLarge };
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QByteArray>("inflated");
    QByteArray text;
    for (int i = 0; text.size() < (1 << 20); ++i)
        text += "select * from t where id = " + QByteArray::number(i) + ";\n";
    const QByteArray thousand = text.left(1000);
    const auto declaring = [](QByteArray data, quint32 length) {
        qToBigEndian(length, data.data());
        return data;
    };
    QTest::newRow("what qCompress wrote") << qCompress(text) << (2 << 20) << int(ok) << text;
    QTest::newRow("nothing") << qCompress(QByteArray()) << 10 << int(ok) << QByteArray();
    QTest::newRow("just within the limit") << qCompress(thousand) << 1000 << int(ok) << thousand;
    QTest::newRow("a byte over the limit")
        << qCompress(thousand) << 999 << int(tooLarge) << QByteArray();
    QTest::newRow("a length over the limit, whatever follows")
        << declaring(qCompress(thousand), 0x7FFFFFFF) << (1 << 20) << int(tooLarge) << QByteArray();
    QTest::newRow("a stream that goes on past its length")
        << declaring(qCompress(text), 1000) << (2 << 20) << int(damaged) << QByteArray();
    QTest::newRow("a stream that ends before its length")
        << declaring(qCompress(thousand), 1001) << (2 << 20) << int(damaged) << QByteArray();
    QTest::newRow("cut short") << qCompress(text).left(5000) << (2 << 20) << int(damaged)
                               << QByteArray();
    QTest::newRow("no length") << QByteArray("\0\0\1") << 10 << int(damaged) << QByteArray();
    QTest::newRow("not zlib") << declaring(QByteArray(64, 'x'), 10) << 100 << int(damaged)
                              << QByteArray();
}

void TestRowCodec::inflating() {
    QFETCH(QByteArray, data);
    QFETCH(int, limit);
    QFETCH(int, outcome);
    QFETCH(QByteArray, inflated);
    try {
        QCOMPARE(InflateSnapshot(data, limit), inflated);
        QCOMPARE(outcome, 0);
    } catch (const ERecordingFormat& e) {
        QCOMPARE(int(e.Why) + 1, outcome);
    }
}

QTEST_APPLESS_MAIN(TestRowCodec)
#include "tst_rowcodec.moc"
