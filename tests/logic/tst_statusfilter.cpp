#include "grid/statusfilter.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestStatusFilter : public QObject {
    Q_OBJECT
private slots:
    void names();
    void filter_data();
    void filter();
};

void TestStatusFilter::names() {
    QCOMPARE(StatusNames().join(u','),
             u"running,runnable,suspended,rollback,background,dormant,sleeping,preconnect"_s);
}

void TestStatusFilter::filter_data() {
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<QString>("filterText");
    QTest::addColumn<QString>("summary");

    QTest::newRow("none") << QStringList{} << u""_s << u"<all statuses>"_s;
    QTest::newRow("one") << QStringList{u"sleeping"_s} << u"'sleeping'"_s << u"sleeping"_s;
    QTest::newRow("two") << QStringList{u"running"_s, u"sleeping"_s} << u"'running','sleeping'"_s
                         << u"<2 statuses>"_s;
    QTest::newRow("three") << QStringList{u"running"_s, u"suspended"_s, u"dormant"_s}
                           << u"'running','suspended','dormant'"_s << u"<3 statuses>"_s;
    QTest::newRow("all eight")
        << StatusNames()
        << u"'running','runnable','suspended','rollback','background','dormant','sleeping',"
           u"'preconnect'"_s
        << u"<8 statuses>"_s;
}

void TestStatusFilter::filter() {
    QFETCH(QStringList, checked);
    QFETCH(QString, filterText);
    QFETCH(QString, summary);
    QCOMPARE(StatusFilterText(checked), filterText);
    QCOMPARE(StatusSummaryText(checked), summary);
}

QTEST_APPLESS_MAIN(TestStatusFilter)
#include "tst_statusfilter.moc"
