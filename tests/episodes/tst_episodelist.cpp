// The episodes' list of the replay's pane: one row an episode with its texts, an open one
// "идёт", and a header click sorting the number columns as numbers, not as texts.

#include "episodes/widgets/episodelistmodel.h"
#include "episodes/widgets/episodepane.h"
#include "replay/widgets/replaybar.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QTest>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kStart = 1765340000000;

TBlockingEpisode episode(int spid, qint64 startS, qint64 endS, int most, QList<int> waiters,
                         qint32 longest) {
    TBlockingEpisode e;
    e.Start = kStart + startS * 1000;
    e.End = kStart + endS * 1000;
    e.HeadSPID = spid;
    e.HeadLogin = u"app%1"_s.arg(spid);
    e.HeadHost = u"WS-%1"_s.arg(spid);
    e.HeadProgram = u"Склад"_s;
    e.MostWaiting = most;
    e.Waiters = waiters;
    e.LongestWait = longest;
    e.Resources = {u"Sales.dbo.Orders"_s, u"Sales.dbo.Items"_s};
    return e;
}

// Chosen so that each number column sorts otherwise as text than as a number.
std::vector<TBlockingEpisode> episodes() {
    return {episode(9, 0, 5, 2, {60, 61}, 5000),
            episode(100, 10, 100, 10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 90000),
            episode(10, 200, 220, 3, {70, 71, 72}, 12000)};
}

QStringList texts(QAbstractItemModel& AModel, int AColumn) {
    QStringList out;
    for (int r = 0; r < AModel.rowCount(); ++r)
        out << AModel.index(r, AColumn).data().toString();
    return out;
}

} // namespace

class TestEpisodeList : public QObject {
    Q_OBJECT
private slots:
    void rowsOfEpisodes();
    void numbersSortAsNumbers_data();
    void numbersSortAsNumbers();
    void aHeaderClickSortsThePane();
};

void TestEpisodeList::rowsOfEpisodes() {
    TEpisodeListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 0);
    std::vector<TBlockingEpisode> list = episodes();
    list[2].Open = true;
    list[1].CutByGap = true;
    model.setEpisodes(list);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.columnCount(), int(TEpisodeListModel::ColumnCount));
    using M = TEpisodeListModel;
    const auto cell = [&](int r, int c) { return model.index(r, c).data().toString(); };
    QCOMPARE(cell(0, M::Start), ReplayTimeText(kStart));
    QCOMPARE(cell(0, M::End), ReplayTimeText(kStart + 5000));
    QCOMPARE(cell(2, M::End), u"идёт"_s);
    QCOMPARE(cell(1, M::End), ReplayTimeText(kStart + 100000) + u" (перерыв)"_s);
    QVERIFY(!model.index(1, M::End).data(Qt::ToolTipRole).toString().isEmpty());
    QCOMPARE(cell(1, M::Duration), QLocale::system().toString(90.0, 'f', 1));
    QCOMPARE(cell(1, M::HeadSPID), u"100"_s);
    QCOMPARE(cell(1, M::Login), u"app100"_s);
    QCOMPARE(cell(1, M::Host), u"WS-100"_s);
    QCOMPARE(cell(1, M::Program), u"Склад"_s);
    QCOMPARE(cell(1, M::MostWaiting), u"10"_s);
    QCOMPARE(cell(1, M::AllWaiting), u"11"_s);
    QCOMPARE(cell(1, M::LongestWait), QLocale::system().toString(90.0, 'f', 1));
    QCOMPARE(cell(1, M::Resources), u"Sales.dbo.Orders, Sales.dbo.Items"_s);
    QCOMPARE(model.episode(1)->HeadSPID, 100);
    QCOMPARE(model.episode(3), nullptr);
    // A recording that grows: the list is replaced whole.
    list.pop_back();
    model.setEpisodes(list);
    QCOMPARE(model.rowCount(), 2);
    model.setEpisodes({});
    QCOMPARE(model.rowCount(), 0);
}

void TestEpisodeList::numbersSortAsNumbers_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QList<int>>("ascendingSpids");
    using M = TEpisodeListModel;
    QTest::newRow("start") << int(M::Start) << QList<int>{9, 100, 10};
    QTest::newRow("duration") << int(M::Duration) << QList<int>{9, 10, 100};
    QTest::newRow("head SPID") << int(M::HeadSPID) << QList<int>{9, 10, 100};
    QTest::newRow("most waiting") << int(M::MostWaiting) << QList<int>{9, 10, 100};
    QTest::newRow("all waiting") << int(M::AllWaiting) << QList<int>{9, 10, 100};
    QTest::newRow("longest wait") << int(M::LongestWait) << QList<int>{9, 10, 100};
    QTest::newRow("login as text") << int(M::Login) << QList<int>{10, 100, 9};
}

void TestEpisodeList::numbersSortAsNumbers() {
    QFETCH(int, column);
    QFETCH(QList<int>, ascendingSpids);
    TEpisodePane pane;
    pane.setEpisodes(episodes());
    QSortFilterProxyModel& sorted = *pane.sorted();
    QAbstractItemModelTester tester(&sorted,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    const auto spids = [&] {
        QList<int> out;
        for (const QString& s : texts(sorted, TEpisodeListModel::HeadSPID))
            out << s.toInt();
        return out;
    };
    sorted.sort(column, Qt::AscendingOrder);
    QCOMPARE(spids(), ascendingSpids);
    sorted.sort(column, Qt::DescendingOrder);
    std::reverse(ascendingSpids.begin(), ascendingSpids.end());
    QCOMPARE(spids(), ascendingSpids);
}

// The pane's own header: a click sorts, a second click turns the order; the episode chosen
// after the sort is the one on that row, not the one the model has there.
void TestEpisodeList::aHeaderClickSortsThePane() {
    TEpisodePane pane;
    pane.resize(900, 300);
    pane.setEpisodes(episodes());
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QHeaderView* header = pane.view()->header();
    const auto clickHeader = [&](int c) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(c) + header->sectionSize(c) / 2,
                                 header->height() / 2));
    };
    clickHeader(TEpisodeListModel::LongestWait);
    const QStringList ascending = texts(*pane.sorted(), TEpisodeListModel::HeadSPID);
    clickHeader(TEpisodeListModel::LongestWait);
    const QStringList descending = texts(*pane.sorted(), TEpisodeListModel::HeadSPID);
    QCOMPARE(ascending.size(), 3);
    QVERIFY2(ascending == (QStringList{u"9"_s, u"10"_s, u"100"_s}) ||
                 descending == (QStringList{u"9"_s, u"10"_s, u"100"_s}),
             qPrintable(ascending.join(u',')));
    QStringList reversed = ascending;
    std::reverse(reversed.begin(), reversed.end());
    QCOMPARE(descending, reversed);

    QList<int> chosen;
    connect(&pane, &TEpisodePane::episodeChosen, this,
            [&](const TBlockingEpisode& e) { chosen << e.HeadSPID; });
    QTreeView* view = pane.view();
    const QRect first = view->visualRect(pane.sorted()->index(0, TEpisodeListModel::Login));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, first.center());
    QVERIFY(!chosen.isEmpty());
    QCOMPARE(chosen.last(), descending.first().toInt());
    // Enter on the current one goes to it as well.
    chosen.clear();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(chosen, QList<int>{descending.first().toInt()});
}

QTEST_MAIN(TestEpisodeList)
#include "tst_episodelist.moc"
