// Wait resources named through the real client stack: the statements run against the test
// server's catalog of its databases, in the database the resource names, on a thread of
// their own: the caller is told when a name has come, and only so many are kept.

#include "database/dbconnection.h"
#include "instance.h"
#include "testserverfixture.h"
#include "waitresources/resourcenames.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// The name as the window sees it: asked for (answered later, never on the caller's thread)
// unless it is known already.
QString nameAfterAsking(TResourceNames& names, const QString& resource) {
    const QString first = names.Name(resource);
    if (!first.isEmpty())
        return first;
    QSignalSpy named(&names, &TResourceNames::named);
    if (!named.wait(10000))
        return QStringLiteral("<no answer>");
    return names.Name(resource);
}

} // namespace

class TestResourceNames : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void names_data();
    void names();
    void withoutAConnectionThereIsNoName();
    void onlySoManyNamesAreKept();

private:
    TTestServer server;
    TDbConnection connection;
    int sales = 0;
    std::int64_t ordersKey = 0;   // the clustered index of Sales.dbo.Orders
    std::int64_t customersIx = 0; // IX_Customers_Name
    int orders = 0;               // Orders' object id
};

void TestResourceNames::initTestCase() {
    connection.setConnectionString(server.oledb());
    connection.open();
    testserver::Instance& instance = server.instance();
    sales = *instance.databaseId("Sales");
    const auto targets = instance.lockTargets(sales);
    QVERIFY(targets.size() >= 3);
    orders = targets[0].objectId;
    ordersKey = targets[0].hobtIds.front();
    customersIx = targets[2].hobtIds.back();
}

void TestResourceNames::names_data() {
    QTest::addColumn<QString>("resource");
    QTest::addColumn<QString>("name");
    const QString db = QString::number(sales);
    QTest::newRow("key of a clustered index")
        << QStringLiteral("KEY: %1:%2 (8194443284a0)").arg(db).arg(ordersKey)
        << QStringLiteral("Sales.dbo.Orders (PK_Orders)");
    QTest::newRow("key of another index")
        << QStringLiteral("KEY: %1:%2 (03000d8f0ecc)").arg(db).arg(customersIx)
        << QStringLiteral("Sales.dbo.Customers (IX_Customers_Name)");
    QTest::newRow("a whole table") << QStringLiteral("OBJECT: %1:%2:0 ").arg(db).arg(orders)
                                   << QStringLiteral("Sales.dbo.Orders");
    // This server has no sys.dm_db_page_info: the database is all that can be said.
    QTest::newRow("a page") << QStringLiteral("PAGE: %1:1:104").arg(db) << QStringLiteral("Sales");
    QTest::newRow("a key no index has")
        << QStringLiteral("KEY: %1:1 (8194443284a0)").arg(db) << QStringLiteral("Sales");
    QTest::newRow("a database that is not there")
        << QStringLiteral("KEY: 999:%1 (8194443284a0)").arg(ordersKey) << QString();
    QTest::newRow("an application lock")
        << QStringLiteral("APPLICATION: %1:0:[Nightly]:(2c93c0f8)").arg(db) << QString();
}

void TestResourceNames::names() {
    QFETCH(QString, resource);
    QFETCH(QString, name);
    TResourceNames names;
    names.setConnection(&connection);
    // Not known yet: asked for, and nothing said until the answer comes.
    QCOMPARE(names.Name(resource), QString());
    const bool lockResource = !resource.startsWith(QStringLiteral("APPLICATION"));
    QSignalSpy named(&names, &TResourceNames::named);
    QCOMPARE(named.wait(lockResource ? 10000 : 300), lockResource);
    QCOMPARE(names.Name(resource), name);
    QCOMPARE(names.Name(resource), name); // and again, from what it keeps
    QCOMPARE(named.count(), lockResource ? 1 : 0);
    QVERIFY(connection.connected());
}

void TestResourceNames::withoutAConnectionThereIsNoName() {
    TResourceNames names;
    const QString key = QStringLiteral("KEY: %1:%2 (8194443284a0)").arg(sales).arg(ordersKey);
    QCOMPARE(names.Name(key), QString());
    TDbConnection closed;
    closed.setConnectionString(server.oledb());
    names.setConnection(&closed);
    QSignalSpy named(&names, &TResourceNames::named);
    QCOMPARE(names.Name(key), QString());
    QVERIFY(!named.wait(300)); // nothing was asked
    // Once connected it names what it could not name before.
    closed.open();
    QCOMPARE(nameAfterAsking(names, key), QStringLiteral("Sales.dbo.Orders (PK_Orders)"));
}

void TestResourceNames::onlySoManyNamesAreKept() {
    TResourceNames names(2);
    names.setConnection(&connection);
    const QString sales = QString::number(this->sales);
    const QString key = QStringLiteral("KEY: %1:%2 (8194443284a0)").arg(sales).arg(ordersKey);
    const QString index = QStringLiteral("KEY: %1:%2 (03000d8f0ecc)").arg(sales).arg(customersIx);
    const QString table = QStringLiteral("OBJECT: %1:%2:0").arg(sales).arg(orders);
    QCOMPARE(nameAfterAsking(names, key), QStringLiteral("Sales.dbo.Orders (PK_Orders)"));
    QCOMPARE(nameAfterAsking(names, index),
             QStringLiteral("Sales.dbo.Customers (IX_Customers_Name)"));
    QCOMPARE(names.Name(key), QStringLiteral("Sales.dbo.Orders (PK_Orders)")); // wanted again
    QCOMPARE(nameAfterAsking(names, table), QStringLiteral("Sales.dbo.Orders"));
    // The one least recently wanted made room: asked for anew, and named again.
    QCOMPARE(names.Name(key), QStringLiteral("Sales.dbo.Orders (PK_Orders)"));
    QCOMPARE(names.Name(table), QStringLiteral("Sales.dbo.Orders"));
    QCOMPARE(names.Name(index), QString());
    QCOMPARE(nameAfterAsking(names, index),
             QStringLiteral("Sales.dbo.Customers (IX_Customers_Name)"));
}

QTEST_MAIN(TestResourceNames)
#include "tst_resourcenames.moc"
