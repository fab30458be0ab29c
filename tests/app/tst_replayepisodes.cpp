// A recording's blocking episodes in the window: opened through "Открыть запись", the pane
// shown with Ctrl+Shift+E lists the scripted chains, a click on one goes to its first
// snapshot with the blocking tree open on its head, a click on a band of the time line does
// the same, and a recording that grows while it is shown gains its new episodes.

#include "app/mainform.h"
#include "blocking/widgets/blockingpane.h"
#include "blocking/widgets/blockingtreemodel.h"
#include "episodes/widgets/episodecommands.h"
#include "episodes/widgets/episodelistmodel.h"
#include "episodes/widgets/episodepane.h"
#include "grid/widgets/monitorview.h"
#include "mainformfixture.h"
#include "recorder/recordingwriter.h"
#include "recording/logfile.h"
#include "replay/widgets/replay.h"
#include "replay/widgets/replaybar.h"
#include "replay/widgets/replaytimeline.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kStart = 1765340000000;

TRecordedRow row(int spid, const QString& login, const char* status) {
    TRecordedRow r;
    r.Rec.SPID = spid;
    r.Rec.Login = login;
    r.Rec.Host = u"WS-%1"_s.arg(spid);
    r.Rec.ProgName = u"Склад"_s;
    r.Rec.Status = QString::fromUtf8(status);
    r.Rec.DB = u"Sales"_s;
    r.Rec.LoginTime = 46000.25;
    r.Rec.IsUser = true;
    return r;
}

// A chain in a snapshot's rows: the head holding each of the waiters.
void chain(TRecordedRows& rows, int head, QList<int> waiters, int waitedMs) {
    TRecordedRow h = row(head, u"etl%1"_s.arg(head), "sleeping");
    h.Rec.Blocked = true;
    h.Rec.OpenTran = 1;
    rows.push_back(h);
    for (int w : waiters) {
        TRecordedRow r = row(w, u"app"_s, "suspended");
        r.Rec.Blocking = head;
        r.Rec.WaitType = u"LCK_M_X"_s;
        r.Rec.WaitTime = waitedMs;
        r.Rec.WaitResource = u"KEY: 5:72057594043695104 (8194443284a0)"_s;
        rows.push_back(r);
    }
}

// Snapshots a second apart from AFrom to ATo (exclusive): 60 holds 61 in the 3rd to the
// 6th, 70 holds 71 and 72 in the 10th to the 14th, 80 holds 81 from the 22nd on.
void write(const QString& path, int AFrom, int ATo) {
    TRecordingInfo info;
    info.Server = u"Прод"_s;
    TRecordingWriter w(path, info);
    for (int n = AFrom; n < ATo; ++n) {
        // Idle sessions before the chains: the grid must scroll to show a head.
        TRecordedRows rows;
        for (int spid = 10; spid < 52; ++spid)
            rows.push_back(row(spid, u"svc"_s, "sleeping"));
        rows.push_back(row(52, u"Иванов"_s, "running"));
        if (n >= 3 && n <= 6)
            chain(rows, 60, {61}, (n - 2) * 1000);
        if (n >= 10 && n <= 14)
            chain(rows, 70, {71, 72}, (n - 9) * 1000);
        if (n >= 22)
            chain(rows, 80, {81}, (n - 21) * 1000);
        w.append(kStart + n * 1000, rows);
    }
}

// The grid's focused session, when the grid shows its row.
int gridSpid(TMainForm& form) {
    const QModelIndex current = form.MonitorVT->currentIndex();
    const QRect shown = form.MonitorVT->visualRect(current);
    if (!form.FocusedRec() || !form.MonitorVT->viewport()->rect().contains(shown.center()))
        return 0;
    return form.FocusedRec()->SPID;
}

int treeSpid(TMainForm& form) {
    return form.BlockingPane->model()->spidOf(form.BlockingPane->tree()->currentIndex());
}

} // namespace

class TestReplayEpisodes : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void thePaneGoesToAnEpisode();
    void aBandOnTheTimelineGoesToItsEpisode();
    void aGrowingRecordingGainsEpisodes();

private:
    void open(TMainFormFixture& f, const QString& path);
    // The row of the pane's view with the episode of the head.
    QModelIndex rowOf(TMainForm& form, int head, int column = TEpisodeListModel::Login);
    QTemporaryDir dir;
};

void TestReplayEpisodes::init() {
    SetLogFolder(dir.path());
}

void TestReplayEpisodes::cleanup() {
    SetLogFolder(QString());
}

void TestReplayEpisodes::open(TMainFormFixture& f, const QString& path) {
    f.prompts().openFileAnswers << path;
    f.form().resize(1400, 900);
    f.form().show();
    // Under xcb the keys go only to the active window, as the user's would.
    f.form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.form()));
    QTest::keyClick(&f.form(), Qt::Key_O, Qt::ControlModifier);
    QVERIFY(f.form().Replaying());
}

QModelIndex TestReplayEpisodes::rowOf(TMainForm& form, int head, int column) {
    const QSortFilterProxyModel* sorted = form.Episodes->Pane()->sorted();
    for (int r = 0; r < sorted->rowCount(); ++r)
        if (sorted->index(r, TEpisodeListModel::HeadSPID).data().toInt() == head)
            return sorted->index(r, column);
    return {};
}

void TestReplayEpisodes::thePaneGoesToAnEpisode() {
    const QString path = dir.filePath(u"pane.dervelrec"_s);
    write(path, 0, 20);
    TMainFormFixture f;
    TMainForm& form = f.form();
    open(f, path);
    TEpisodePane* pane = form.Episodes->Pane();
    QVERIFY(!pane->isVisible());
    QTest::keyClick(&form, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(pane->isVisible());
    QVERIFY(form.Episodes->actEpisodesPane->isChecked());
    QTRY_COMPARE(pane->model()->rowCount(), 2);
    QVERIFY(!pane->notice()->isVisible());
    const QModelIndex second = rowOf(form, 70);
    QCOMPARE(second.siblingAtColumn(TEpisodeListModel::End).data().toString(),
             ReplayTimeText(kStart + 14000));
    QCOMPARE(second.siblingAtColumn(TEpisodeListModel::AllWaiting).data().toInt(), 2);
    QCOMPARE(second.siblingAtColumn(TEpisodeListModel::Login).data().toString(), u"etl70"_s);
    QVERIFY(!form.actBlockingTree->isChecked());

    QTreeView* view = pane->view();
    const int gridHeight = form.MonitorVT->viewport()->height();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(second).center());
    QCOMPARE(form.Replay->time(), kStart + 10000);
    QVERIFY(form.actBlockingTree->isChecked());
    QVERIFY(form.BlockingPane->isVisible());
    // The tree takes its height from the grid: the head stays in sight once it has.
    QTRY_VERIFY(form.MonitorVT->viewport()->height() < gridHeight);
    QCOMPARE(treeSpid(form), 70);
    QCOMPARE(gridSpid(form), 70);

    // Enter on the other one, after the list is sorted by the head's SPID.
    view->sortByColumn(TEpisodeListModel::HeadSPID, Qt::AscendingOrder);
    view->setFocus();
    view->setCurrentIndex(rowOf(form, 60));
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(form.Replay->time(), kStart + 3000);
    QCOMPARE(treeSpid(form), 60);
    QCOMPARE(gridSpid(form), 60);

    // The pane goes with the recording and its command's key hides it.
    QTest::keyClick(&form, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(!pane->isVisible());
}

void TestReplayEpisodes::aBandOnTheTimelineGoesToItsEpisode() {
    const QString path = dir.filePath(u"bands.dervelrec"_s);
    write(path, 0, 20);
    TMainFormFixture f;
    TMainForm& form = f.form();
    open(f, path);
    TReplayTimeline* line = form.Replay->bar()->Timeline;
    // The bands come without the pane: the time line marks the episodes on its own.
    QTRY_COMPARE(form.Episodes->Pane()->model()->rowCount(), 2);
    QVERIFY(!form.Episodes->Pane()->isVisible());
    const int y = line->height() - 2;
    QVERIFY(y >= line->bandTop());
    const int inside = line->xOf(kStart + 12500);
    QVERIFY(line->timeAt(inside) > kStart + 10000); // the pointer's own time is later
    QTest::mouseClick(line, Qt::LeftButton, {}, QPoint(inside, y));
    QCOMPARE(form.Replay->time(), kStart + 10000);
    QVERIFY(form.BlockingPane->isVisible());
    QCOMPARE(treeSpid(form), 70);
    QCOMPARE(gridSpid(form), 70);

    // Above the band, on the track, a click is the time under the pointer, as before.
    QTest::mouseClick(line, Qt::LeftButton, {}, QPoint(line->xOf(kStart + 5500), 7));
    QCOMPARE(form.Replay->time(), kStart + 5000);
    // Between two bands nothing but the time either.
    QTest::mouseClick(line, Qt::LeftButton, {}, QPoint(line->xOf(kStart + 8500), y));
    QCOMPARE(form.Replay->time(), kStart + 8000);
    QTest::mouseClick(line, Qt::LeftButton, {}, QPoint(line->xOf(kStart + 5000), y));
    QCOMPARE(form.Replay->time(), kStart + 3000);
    QCOMPARE(treeSpid(form), 60);
}

void TestReplayEpisodes::aGrowingRecordingGainsEpisodes() {
    const QString path = dir.filePath(u"growing.dervelrec"_s);
    write(path, 0, 20);
    TMainFormFixture f;
    TMainForm& form = f.form();
    open(f, path);
    TEpisodePane* pane = form.Episodes->Pane();
    QTest::keyClick(&form, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_COMPARE(pane->model()->rowCount(), 2);
    write(path, 20, 25);
    // Played to its end, the recording is read again and what came since goes on.
    form.Replay->Seek(form.Replay->count() - 2);
    TReplayBar* bar = form.Replay->bar();
    bar->cbSpeed->setCurrentIndex(bar->cbSpeed->count() - 1); // ×60
    QTest::keyClick(&form, Qt::Key_Space, Qt::ControlModifier);
    QTRY_VERIFY(!form.Replay->playing());
    QCOMPARE(form.Replay->count(), 25);
    QTRY_COMPARE(pane->model()->rowCount(), 3);
    const QModelIndex open = rowOf(form, 80, TEpisodeListModel::End);
    QCOMPARE(open.data().toString(), u"идёт"_s);
    QTest::mouseClick(pane->view()->viewport(), Qt::LeftButton, {},
                      pane->view()->visualRect(open).center());
    QCOMPARE(form.Replay->time(), kStart + 22000);
    QCOMPARE(treeSpid(form), 80);

    // Closed, the recording takes its episodes with it.
    form.Replay->Close();
    QVERIFY(!pane->isVisible());
    QCOMPARE(pane->model()->rowCount(), 0);
}

QTEST_MAIN(TestReplayEpisodes)
#include "tst_replayepisodes.moc"
