// Wait resources read as SQL Server writes them, the statements that name them, and
// their names.

#include "waitresources/waitresource.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestWaitResource : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void statements();
    void anyDatabaseName_data();
    void anyDatabaseName();
    void texts();
};

void TestWaitResource::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind"); // -1: not a lock resource
    QTest::addColumn<int>("database");
    QTest::addColumn<qint64>("id"); // hobt, object or page
    QTest::newRow("key") << u"KEY: 5:72057594043236352 (8194443284a0)"_s
                         << int(TWaitResource::TKind::Key) << 5 << qint64(72057594043236352);
    QTest::newRow("page") << u"PAGE: 7:1:104"_s << int(TWaitResource::TKind::Page) << 7
                          << qint64(104);
    QTest::newRow("row") << u"RID: 5:1:2048:3"_s << int(TWaitResource::TKind::Rid) << 5
                         << qint64(2048);
    QTest::newRow("object, with the trailing blank")
        << u"OBJECT: 5:245575913:0 "_s << int(TWaitResource::TKind::Object) << 5
        << qint64(245575913);
    QTest::newRow("older table lock")
        << u"TAB: 6:565577053:0"_s << int(TWaitResource::TKind::Object) << 6 << qint64(565577053);
    QTest::newRow("a latch") << u"2:1:3"_s << -1 << 0 << qint64(0);
    QTest::newRow("an application lock")
        << u"APPLICATION: 5:0:[Nightly]:(2c93c0f8)"_s << -1 << 0 << qint64(0);
    QTest::newRow("a page without its number") << u"PAGE: 5:1"_s << -1 << 0 << qint64(0);
    QTest::newRow("empty") << QString() << -1 << 0 << qint64(0);
}

void TestWaitResource::parse() {
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(int, database);
    QFETCH(qint64, id);
    const std::optional<TWaitResource> r = ParseWaitResource(text);
    QCOMPARE(r.has_value(), kind >= 0);
    if (!r)
        return;
    QCOMPARE(int(r->Kind), kind);
    QCOMPARE(r->DatabaseId, database);
    const qint64 got = r->Kind == TWaitResource::TKind::Key      ? r->HobtId
                       : r->Kind == TWaitResource::TKind::Object ? r->ObjectId
                                                                 : r->PageId;
    QCOMPARE(got, id);
}

void TestWaitResource::statements() {
    QCOMPARE(
        WaitResourceStatement(*ParseWaitResource(u"KEY: 5:72057594043236352 (ab)"_s), u"Sales"_s),
        u"select s.name, o.name, i.name\r\nfrom [Sales].sys.objects o\r\n"
        u"join [Sales].sys.schemas s on s.schema_id = o.schema_id\r\n"
        u"join [Sales].sys.partitions p on p.object_id = o.object_id\r\n"
        u"left join [Sales].sys.indexes i on i.object_id = p.object_id and i.index_id = "
        u"p.index_id\r\nwhere p.hobt_id = 72057594043236352"_s);
    // A name with a bracket in it stays one name.
    QVERIFY(WaitResourceStatement(*ParseWaitResource(u"OBJECT: 9:77:0"_s), u"a]b"_s)
                .contains(u"from [a]]b].sys.objects o"_s));
    QVERIFY(WaitResourceStatement(*ParseWaitResource(u"PAGE: 7:1:104"_s), u"Inventory"_s)
                .contains(u"sys.dm_db_page_info(7, 1, 104, 'LIMITED')"_s));
}

// A database name is text wherever it goes, "%1" and all: the statement for it is the one
// for any other name, with that name in its place.
void TestWaitResource::anyDatabaseName_data() {
    QTest::addColumn<QString>("resource");
    QTest::addColumn<QString>("database");
    QTest::newRow("key, %1") << u"KEY: 5:72057594043236352 (ab)"_s << u"a%1b"_s;
    QTest::newRow("key, %2") << u"KEY: 5:72057594043236352 (ab)"_s << u"%2"_s;
    QTest::newRow("object, %1 and %2") << u"OBJECT: 9:77:0"_s << u"x%1y%2"_s;
    QTest::newRow("page, %1 to %4") << u"PAGE: 7:1:104"_s << u"%4%3%2%1"_s;
    QTest::newRow("row, %L1 and %%") << u"RID: 7:1:104:3"_s << u"%L1 %% 100%"_s;
}

void TestWaitResource::anyDatabaseName() {
    QFETCH(QString, resource);
    QFETCH(QString, database);
    const TWaitResource r = *ParseWaitResource(resource);
    QString statement = WaitResourceStatement(r, database);
    QVERIFY2(statement.contains(u"from ["_s + database + u"].sys.objects o"_s),
             qPrintable(statement));
    statement.replace(u"["_s + database + u']', u"[Sales]"_s);
    QCOMPARE(statement, WaitResourceStatement(r, u"Sales"_s));
}

void TestWaitResource::texts() {
    QCOMPARE(WaitResourceText(u"Sales"_s, u"dbo"_s, u"Orders"_s, u"PK_Orders"_s),
             u"Sales.dbo.Orders (PK_Orders)"_s);
    QCOMPARE(WaitResourceText(u"Sales"_s, u"dbo"_s, u"Orders"_s, QString()), u"Sales.dbo.Orders"_s);
    QCOMPARE(WaitResourceText(u"Sales"_s, QString(), QString(), QString()), u"Sales"_s);
}

QTEST_APPLESS_MAIN(TestWaitResource)
#include "tst_waitresource.moc"
