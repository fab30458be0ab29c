#include "settings/savedcols.h"

#include <QTest>
#include <numeric>

Q_DECLARE_METATYPE(TSavedCols)

namespace {

TSavedCols cols(std::initializer_list<TSavedCol> list) {
    return TSavedCols(list);
}

// Records that differ only in their positions.
TSavedCols atPositions(const QList<int>& positions) {
    TSavedCols list;
    for (int p : positions)
        list << TSavedCol{1, std::uint16_t(p), 100};
    return list;
}

bool sameCols(const TSavedCols& a, const TSavedCols& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].ColVisible != b[i].ColVisible || a[i].ColPosition != b[i].ColPosition ||
            a[i].ColWidth != b[i].ColWidth)
            return false;
    return true;
}

} // namespace

class TestSavedCols : public QObject {
    Q_OBJECT
private slots:
    void toBytes_data();
    void toBytes();
    void fromBytes_data();
    void fromBytes();
    void builtIn();
    void makeSavedCol_data();
    void makeSavedCol();
    void shown_data();
    void shown();
    void displayOrder_data();
    void displayOrder();
    void splitKeepsTheQueryColumnsForm_data();
    void splitKeepsTheQueryColumnsForm();
    void rateColumnsWithoutTheirValue();
};

void TestSavedCols::toBytes_data() {
    QTest::addColumn<TSavedCols>("cols");
    QTest::addColumn<QByteArray>("hex");

    QTest::newRow("none") << TSavedCols{} << QByteArray();
    QTest::newRow("two columns") << cols({{1, 0, 60}, {0, 1, 300}})
                                 << QByteArray("010000003c00"
                                               "000001002c01");
    QTest::newRow("high bytes little-endian")
        << cols({{256, 0xFFFF, 0x1234}}) << QByteArray("0001ffff3412");
}

void TestSavedCols::toBytes() {
    QFETCH(TSavedCols, cols);
    QFETCH(QByteArray, hex);
    QCOMPARE(SavedColsToBytes(cols).toHex(), hex);
}

void TestSavedCols::fromBytes_data() {
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<TSavedCols>("cols");

    QTest::newRow("two columns") << QByteArray("010000003c00"
                                               "000001002c01")
                                 << 2 << true << cols({{1, 0, 60}, {0, 1, 300}});
    QTest::newRow("high bytes") << QByteArray("0001ffff3412") << 1 << true
                                << cols({{256, 0xFFFF, 0x1234}});
    QTest::newRow("one byte short") << QByteArray("010000003c00"
                                                  "000001002c")
                                    << 2 << false << TSavedCols{};
    QTest::newRow("one byte over") << QByteArray("010000003c00"
                                                 "000001002c0100")
                                   << 2 << false << TSavedCols{};
    QTest::newRow("a whole record over") << QByteArray("010000003c00"
                                                       "000001002c01")
                                         << 1 << false << TSavedCols{};
    QTest::newRow("missing value") << QByteArray() << 37 << false << TSavedCols{};
    QTest::newRow("no columns") << QByteArray() << 0 << true << TSavedCols{};
}

void TestSavedCols::fromBytes() {
    QFETCH(QByteArray, hex);
    QFETCH(int, count);
    QFETCH(bool, valid);
    QFETCH(TSavedCols, cols);

    const std::optional<TSavedCols> read = SavedColsFromBytes(QByteArray::fromHex(hex), count);
    QCOMPARE(read.has_value(), valid);
    if (valid)
        QVERIFY(sameCols(*read, cols));
}

void TestSavedCols::builtIn() {
    const TSavedCols all = BuiltInSavedCols();
    QCOMPARE(all.size(), 41);
    // The rates follow Blocking; the hidden columns after them.
    QCOMPARE(SavedColsDisplayOrder(all).mid(12, 7), (QList<int>{12, 13, 37, 38, 39, 40, 14}));
    // What "Columns" holds is the layout a version without the rates wrote, byte for byte.
    const TSavedCols cols = SplitSavedCols(all).Query;
    const QByteArray bytes = SavedColsToBytes(cols);
    QCOMPARE(bytes.size(), 222);
    // SPID, Login, then Blocking (the last shown) and Client Interface (the first hidden).
    QCOMPARE(bytes.left(12).toHex(), QByteArray("010000003c00"
                                                "010001006400"));
    QCOMPARE(bytes.mid(13 * 6, 12).toHex(), QByteArray("01000d005000"
                                                       "00000e007800"));
    QCOMPARE(bytes.right(6).toHex(), QByteArray("000024007800"));

    const std::optional<TSavedCols> back = SavedColsFromBytes(bytes, 37);
    QVERIFY(back.has_value());
    QVERIFY(sameCols(*back, cols));
}

void TestSavedCols::makeSavedCol_data() {
    QTest::addColumn<bool>("visible");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("hex");

    QTest::newRow("shown") << true << 3 << 120 << QByteArray("010003007800");
    QTest::newRow("hidden") << false << 0 << 0 << QByteArray("000000000000");
    QTest::newRow("low 16 bits kept") << true << 70000 << 65541 << QByteArray("010070110500");
    QTest::newRow("widest 16-bit width") << true << 36 << 65535 << QByteArray("01002400ffff");
}

void TestSavedCols::makeSavedCol() {
    QFETCH(bool, visible);
    QFETCH(int, position);
    QFETCH(int, width);
    QFETCH(QByteArray, hex);
    QCOMPARE(SavedColsToBytes({MakeSavedCol(visible, position, width)}).toHex(), hex);
}

void TestSavedCols::shown_data() {
    QTest::addColumn<int>("colVisible");
    QTest::addColumn<bool>("shown");

    QTest::newRow("1") << 1 << true;
    QTest::newRow("0") << 0 << false;
    QTest::newRow("2") << 2 << true;
    QTest::newRow("255") << 255 << true;
    QTest::newRow("256, low byte 0") << 256 << false;
    QTest::newRow("257") << 257 << true;
    QTest::newRow("0xFF00") << 0xFF00 << false;
}

void TestSavedCols::shown() {
    QFETCH(int, colVisible);
    QFETCH(bool, shown);
    QCOMPARE(SavedColShown(TSavedCol{std::uint16_t(colVisible), 0, 0}), shown);
}

void TestSavedCols::displayOrder_data() {
    QTest::addColumn<QList<int>>("positions");
    QTest::addColumn<QList<int>>("order");

    QTest::newRow("none") << QList<int>{} << QList<int>{};
    QTest::newRow("by index") << QList<int>{0, 1, 2, 3} << QList<int>{0, 1, 2, 3};
    QTest::newRow("dragged") << QList<int>{2, 0, 1, 3} << QList<int>{1, 2, 0, 3};
    QTest::newRow("reversed") << QList<int>{3, 2, 1, 0} << QList<int>{3, 2, 1, 0};
    QTest::newRow("login first") << QList<int>{1, 0, 2} << QList<int>{1, 0, 2};
    QTest::newRow("tie broken by index") << QList<int>{1, 0, 1} << QList<int>{1, 0, 2};
    QTest::newRow("all equal") << QList<int>{0, 0, 0} << QList<int>{0, 1, 2};
    QTest::newRow("gaps") << QList<int>{10, 5, 7} << QList<int>{1, 2, 0};
    QTest::newRow("beyond the column count") << QList<int>{100, 3, 0} << QList<int>{2, 1, 0};
    QTest::newRow("largest 16-bit position last")
        << QList<int>{0xFFFF, 1, 0} << QList<int>{2, 1, 0};
}

void TestSavedCols::displayOrder() {
    QFETCH(QList<int>, positions);
    QFETCH(QList<int>, order);
    QCOMPARE(SavedColsDisplayOrder(atPositions(positions)), order);
}

// A whole layout as the grid has it: the query columns in the order given, the rates
// placed at the given display positions.
TSavedCols layout(const QList<int>& queryOrder, const QList<int>& ratePositions,
                  const QList<bool>& rateShown) {
    QList<int> order = queryOrder;
    for (int i = 0; i < 4; ++i)
        order.insert(ratePositions[i], 37 + i);
    TSavedCols all(41);
    for (int position = 0; position < order.size(); ++position) {
        const int column = order[position];
        const bool shown = column >= 37 ? rateShown[column - 37] : column < 14;
        all[column] = MakeSavedCol(shown, position, 60 + column);
    }
    return all;
}

void TestSavedCols::splitKeepsTheQueryColumnsForm_data() {
    QTest::addColumn<QList<int>>("queryOrder");
    QTest::addColumn<QList<int>>("ratePositions"); // inserted in turn, so in increasing order
    QTest::addColumn<QList<bool>>("rateShown");

    QList<int> byIndex(37);
    std::iota(byIndex.begin(), byIndex.end(), 0);
    QTest::newRow("built-in places")
        << byIndex << QList<int>{14, 15, 16, 17} << QList<bool>{true, true, true, true};
    QTest::newRow("rates moved and hidden")
        << byIndex << QList<int>{0, 3, 20, 40} << QList<bool>{true, false, true, false};
    QList<int> dragged = byIndex;
    dragged.move(13, 1); // Blocking second
    dragged.move(5, 30);
    QTest::newRow("query columns dragged too")
        << dragged << QList<int>{2, 3, 4, 5} << QList<bool>{true, true, false, true};
}

void TestSavedCols::splitKeepsTheQueryColumnsForm() {
    QFETCH(QList<int>, queryOrder);
    QFETCH(QList<int>, ratePositions);
    QFETCH(QList<bool>, rateShown);
    const TSavedCols all = layout(queryOrder, ratePositions, rateShown);
    const TSplitCols split = SplitSavedCols(all);
    // Exactly what the version without the rates writes for the same query columns: ranks.
    TSavedCols expected(37);
    for (int rank = 0; rank < 37; ++rank) {
        const int column = queryOrder[rank];
        expected[column] = MakeSavedCol(column < 14, rank, 60 + column);
    }
    QCOMPARE(SavedColsToBytes(split.Query), SavedColsToBytes(expected));
    QCOMPARE(split.Rates.size(), 4);
    QVERIFY(sameCols(MergeSavedCols(split.Query, split.Rates), all));
}

// Settings of a version without the rates, or a damaged rate value: the rates take their
// built-in place after Blocking, wherever the user put Blocking.
void TestSavedCols::rateColumnsWithoutTheirValue() {
    QList<int> order(37);
    std::iota(order.begin(), order.end(), 0);
    order.move(13, 2);
    TSavedCols query(37);
    for (int position = 0; position < 37; ++position)
        query[order[position]] = MakeSavedCol(true, position, 80);
    for (const std::optional<TSavedCols>& rates :
         {std::optional<TSavedCols>{}, std::optional<TSavedCols>{TSavedCols(3)}}) {
        const TSavedCols all = MergeSavedCols(query, rates);
        QCOMPARE(all.size(), 41);
        QCOMPARE(SavedColsDisplayOrder(all).mid(0, 8), (QList<int>{0, 1, 13, 37, 38, 39, 40, 2}));
        QVERIFY(SavedColShown(all[37]));
        QCOMPARE(int(all[40].ColWidth), 100);
    }
}

QTEST_APPLESS_MAIN(TestSavedCols)
#include "tst_savedcols.moc"
