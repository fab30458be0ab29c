// A recording in the window, driven by keys and clicks: opened with Ctrl+O, stepped,
// played, filtered and sorted in the window, a gap shown, the detail window of a recorded
// session, commands that act on a server disabled; a bad or hostile file refused, a
// snapshot that does not read said so; a recording that retention shrinks while it is
// followed; and the window recording its watched server in the same format.

#include "actions/widgets/modalrun.h"
#include "actions/widgets/namevaluegrid.h"
#include "actions/widgets/viewform.h"
#include "app/mainform.h"
#include "grid/monitorcolumns.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorstatusbar.h"
#include "grid/widgets/monitorview.h"
#include "mainformfixture.h"
#include "recorder/recordingreader.h"
#include "recorder/recordingwriter.h"
#include "recording/logfile.h"
#include "replay/widgets/replay.h"
#include "replay/widgets/replaybar.h"
#include "replay/widgets/replaytimeline.h"
#include "servers/widgets/serverpanel.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <sqlite3.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kStart = 1765340000000;

TRecordedRow row(int spid, const char* login, const char* status, int cpu,
                 const char* db = "Sales") {
    TRecordedRow r;
    r.Rec.SPID = spid;
    r.Rec.Login = QString::fromUtf8(login);
    r.Rec.Status = QString::fromUtf8(status);
    r.Rec.DB = QString::fromUtf8(db);
    r.Rec.CPU = cpu;
    r.Rec.LoginTime = 46000.25;
    r.Rec.IsUser = spid > 50;
    return r;
}

// Five snapshots a second apart, then a gap of a minute, then two more. A chain forms in
// the third: 60 (sleeping, a transaction open) holds 61.
QString makeRecording(const QString& path) {
    TRecordingInfo info;
    info.Server = u"Прод"_s;
    info.ConnectDescr = u"PROD-SQL (sa)"_s;
    info.WithText = true;
    TRecordingWriter w(path, info);
    for (int n = 0; n < 7; ++n) {
        TRecordedRows rows{row(1, "sa", "background", 10, "master"),
                           row(52, "Иванов", "running", 1000 + 500 * n, "Склад"),
                           row(53, "app", "sleeping", 200 + 10 * n),
                           row(60, "app", "sleeping", 50)};
        if (n >= 2) {
            TRecordedRow waiter = row(61, "app", "suspended", 300);
            waiter.Rec.Command = u"UPDATE"_s;
            waiter.Rec.Blocking = 60;
            waiter.Rec.WaitType = u"LCK_M_X"_s;
            waiter.Text = u"begin tran\r\nupdate Orders set state = 2 where id = 7\r\ncommit"_s;
            waiter.Idx1 = 13;
            waiter.Idx2 = 52;
            rows[3].Rec.Blocked = true;
            rows[3].Rec.OpenTran = 1;
            rows.push_back(waiter);
        }
        const qint64 at = kStart + (n < 5 ? n * 1000 : 64000 + (n - 5) * 1000);
        if (n == 5)
            w.addGap(kStart + 4000, at, u"Adaptive Server connection failed"_s);
        w.append(at, rows);
    }
    return path;
}

// Twelve snapshots a second apart, a full one every fourth: SPID 52 works a little more
// in each, SPID 53 logs in at the tenth.
QString makeLongRecording(const QString& path) {
    TRecordingInfo info;
    info.Server = u"Прод"_s;
    TRecordingWriter w(path, info);
    w.FullEvery = 4;
    for (int n = 0; n < 12; ++n) {
        TRecordedRows rows{row(1, "sa", "background", 10, "master"),
                           row(52, "Иванов", "running", 1000 + 500 * n)};
        if (n >= 10)
            rows.push_back(row(53, "app", "sleeping", 5));
        w.append(kStart + n * 1000, rows);
    }
    return path;
}

// Runs one statement on a recording behind the window's back.
void sql(const QString& path, const char* statement) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, statement, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

QList<int> gridSpids(TMainForm& form) {
    QList<int> out;
    for (int r = 0; r < form.MonitorModel->rowCount(); ++r)
        out << form.MonitorModel->record(r)->SPID;
    return out;
}

} // namespace

class TestReplay : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void steppingPlayingAndAGap();
    void alertMarksOnTheTimeline();
    void filtersAndSortApplyInTheWindow();
    void detailsAreTheRecordedOnes();
    void serverCommandsAreOffUntilClosed();
    void aBadFileIsRefused_data();
    void aBadFileIsRefused();
    void aSnapshotThatDoesNotReadIsSaidSo();
    void aRecordingShrunkWhileFollowedKeepsItsPlace();
    void theWindowRecordsTheWatchedServer();

private:
    void open(TMainFormFixture& f, const QString& path);
    QTemporaryDir dir;
    QList<QPointer<QDialog>> opened;
};

void TestReplay::init() {
    SetLogFolder(dir.path());
    SetModalRunner([this](QDialog* d) {
        opened << d;
        d->show();
    });
}

void TestReplay::cleanup() {
    for (const QPointer<QDialog>& d : opened)
        delete d.data();
    opened.clear();
    SetModalRunner({});
    SetLogFolder(QString());
}

void TestReplay::open(TMainFormFixture& f, const QString& path) {
    f.prompts().openFileAnswers << path;
    f.form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form()));
    QTest::keyClick(&f.form(), Qt::Key_O, Qt::ControlModifier);
    QVERIFY(f.form().Replaying());
}

void TestReplay::steppingPlayingAndAGap() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    open(f, makeRecording(dir.filePath(u"steps.dervelrec"_s)));
    TReplayBar* bar = form.Replay->bar();
    QVERIFY(bar->isVisible());
    QCOMPARE(gridSpids(form), (QList<int>{1, 52, 53, 60}));
    QCOMPARE(form.MonitorStatusBar->panelText(0), u"Прод: PROD-SQL (sa)"_s);
    QVERIFY(form.MonitorStatusBar->panelText(5).startsWith(ReplayTimeText(kStart)));
    QCOMPARE(bar->lbTime->text(), ReplayTimeText(kStart));

    form.MonitorVT->setFocus();
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(form.Replay->index(), 2);
    QCOMPARE(gridSpids(form), (QList<int>{1, 52, 53, 60, 61}));
    // CPU/s of 52 from the recorded times: 500 ms of CPU a second.
    const int row52 = int(gridSpids(form).indexOf(52));
    QCOMPARE(form.MonitorModel->index(row52, FirstRateColumn).data().toString(), u"500"_s);
    QCOMPARE(form.MonitorStatusBar->panelText(2), u"1"_s); // one blocked session

    // Stepping over the gap says so, with the reason as its hint.
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    QVERIFY(bar->lbGap->text().isEmpty());
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(form.Replay->index(), 5);
    QVERIFY2(bar->lbGap->text().startsWith(u"перерыв"_s), qPrintable(bar->lbGap->text()));
    QCOMPARE(bar->lbGap->toolTip(), u"Adaptive Server connection failed"_s);
    QTest::keyClick(&form, Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(form.Replay->index(), 4);

    // A click on the time line goes to that time; playing fast runs to the end.
    TReplayTimeline* line = bar->Timeline;
    QTest::mouseClick(line, Qt::LeftButton, {},
                      QPoint(line->xOf(kStart + 1500), line->height() / 2));
    QCOMPARE(form.Replay->index(), 1);
    bar->cbSpeed->setCurrentIndex(bar->cbSpeed->count() - 1); // ×60
    QTest::keyClick(&form, Qt::Key_Space, Qt::ControlModifier);
    QVERIFY(form.Replay->playing());
    QTRY_COMPARE_WITH_TIMEOUT(form.Replay->index(), 6, 10000);
    QTRY_VERIFY(!form.Replay->playing());
}

// An alert of the recording is a mark on the time line: a click beside it goes to the
// snapshot it was raised in, not to the time under the pointer.
void TestReplay::alertMarksOnTheTimeline() {
    const QString path = makeRecording(dir.filePath(u"alerts.dervelrec"_s));
    {
        TRecordingInfo info;
        info.Server = u"Прод"_s;
        TRecordingWriter w(path, info);
        w.addEvent({kStart + 3000, u"raised"_s, u"blocking"_s, u"blocking/60/1"_s,
                    u"Прод: блокировка дольше 30 с — SPID 60"_s, kStart + 3000, u"{}"_s});
        w.addEvent({kStart + 64000, u"cleared"_s, u"blocking"_s, u"blocking/60/1"_s,
                    u"Прод: блокировка дольше 30 с — SPID 60"_s, -1, u"{}"_s});
    }
    TMainFormFixture f;
    TMainForm& form = f.form();
    open(f, path);
    TReplayTimeline* line = form.Replay->bar()->Timeline;
    const int mark = line->xOf(kStart + 3000);
    QVERIFY(line->timeAt(mark - 3) < kStart + 3000); // the pointer's own time is before it
    QTest::mouseClick(line, Qt::LeftButton, {}, QPoint(mark - 3, line->height() / 2));
    QCOMPARE(form.Replay->index(), 3);
    // Away from the mark a click is the time under the pointer, as before.
    QTest::mouseClick(line, Qt::LeftButton, {},
                      QPoint(line->xOf(kStart + 1500), line->height() / 2));
    QCOMPARE(form.Replay->index(), 1);
}

void TestReplay::filtersAndSortApplyInTheWindow() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    open(f, makeRecording(dir.filePath(u"filters.dervelrec"_s)));
    form.Replay->Seek(3);
    // The login filter applies when the field is left, as live.
    form.edLogin->setFocus();
    QTest::keyClicks(form.edLogin, u"APP"_s);
    QTest::keyClick(form.edLogin, Qt::Key_Return);
    QCOMPARE(gridSpids(form), (QList<int>{53, 60, 61}));
    QTest::keyClick(form.MonitorVT, Qt::Key_B, Qt::ControlModifier); // blocking only
    QCOMPARE(gridSpids(form), (QList<int>{60, 61}));
    QTest::keyClick(&form, Qt::Key_Y, Qt::ControlModifier); // clears the filters
    QCOMPARE(gridSpids(form), (QList<int>{1, 52, 53, 60, 61}));
    form.tbHideSys->click();
    QCOMPARE(gridSpids(form), (QList<int>{52, 53, 60, 61}));
    // The databases met so far fill the list; choosing one filters.
    QVERIFY(form.cbDBList->findText(u"Склад"_s) >= 2);
    form.cbDBList->setCurrentIndex(form.cbDBList->findText(u"Склад"_s));
    emit form.cbDBList->activated(form.cbDBList->currentIndex());
    QCOMPARE(gridSpids(form), (QList<int>{52}));
    form.cbDBList->setCurrentIndex(0);
    emit form.cbDBList->activated(0);
    // A click on CPU's header sorts by CPU; another turns it round.
    QHeaderView* header = form.MonitorVT->horizontalHeader();
    const QPoint cpu(header->sectionViewportPosition(8) + 5, 5);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, cpu);
    QCOMPARE(gridSpids(form), (QList<int>{60, 53, 61, 52}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, cpu);
    QCOMPARE(gridSpids(form), (QList<int>{52, 61, 53, 60}));
    // The next snapshot keeps the filters and the sort.
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(gridSpids(form), (QList<int>{52, 61, 53, 60}));
}

void TestReplay::detailsAreTheRecordedOnes() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    open(f, makeRecording(dir.filePath(u"details.dervelrec"_s)));
    form.Replay->Seek(2);
    const int waiter = int(gridSpids(form).indexOf(61));
    form.MonitorVT->setCurrentIndex(form.MonitorModel->index(waiter, 1));
    form.MonitorVT->setFocus();
    QTest::keyClick(form.MonitorVT, Qt::Key_Return);
    QCOMPARE(opened.size(), 1);
    auto* view = qobject_cast<TViewForm*>(opened.first().data());
    QVERIFY(view);
    QVERIFY2(view->windowTitle().startsWith(u"Прод SPID=61 (app) — запись от "_s),
             qPrintable(view->windowTitle()));
    QVERIFY2(view->lbSource->text().startsWith(u" Запись от "_s),
             qPrintable(view->lbSource->text()));
    QVERIFY(!view->btnKill->isEnabled());
    QVERIFY(!view->btnRefresh->isEnabled());
    QCOMPARE(view->LineStart, 2);
    QCOMPARE(view->LineEnd, 2);
    QVERIFY(view->RequestList->lines().contains(TNameValue{u"Wait Type"_s, u"LCK_M_X"_s}));
    QVERIFY(view->SessionList->lines().contains(TNameValue{u"Login"_s, u"app"_s}));
    // F5 asks no server anything.
    QTest::keyClick(view, Qt::Key_F5);
    QCOMPARE(view->LineStart, 2);
    QVERIFY(f.prompts().messages.isEmpty());
}

void TestReplay::serverCommandsAreOffUntilClosed() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    open(f, makeRecording(dir.filePath(u"commands.dervelrec"_s)));
    form.MonitorVT->setCurrentIndex(form.MonitorModel->index(1, 1));
    for (QAction* a : {form.actKillProcess, form.actRefresh, form.actPause, form.actRecordReplay})
        QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
    QVERIFY(!form.cbPeriod->isEnabled());
    QVERIFY(!form.tbRecord->isEnabled());
    QVERIFY(!form.ServerPanel->isEnabled());
    QTest::keyClick(form.MonitorVT, Qt::Key_Delete);
    QVERIFY(f.prompts().messages.isEmpty()); // nothing to end in a recording
    // Ctrl+C copies as live.
    QTest::keyClick(form.MonitorVT, Qt::Key_C, Qt::ControlModifier);
    form.Replay->bar()->actClose->trigger();
    QVERIFY(!form.Replaying());
    QVERIFY(!form.Replay->bar()->isVisible());
    QVERIFY(form.ServerPanel->isEnabled());
    QVERIFY(form.actRefresh->isEnabled());
    QCOMPARE(form.MonitorModel->rowCount(), 0);
}

void TestReplay::aBadFileIsRefused_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    const QString text = dir.filePath(u"notes.txt"_s);
    QFile t(text);
    QVERIFY(t.open(QIODevice::WriteOnly));
    t.write("hello\n");
    t.close();
    const QString endless = makeRecording(dir.filePath(u"endless.dervelrec"_s));
    sql(endless, "ALTER TABLE snapshots RENAME TO s0; "
                 "CREATE VIEW snapshots(id, time, full, row_count, data) AS "
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                 "SELECT i, i, 1, 0, x'00' FROM n;");
    QTest::newRow("not a recording") << text << u"не является записью Dervel"_s;
    QTest::newRow("missing") << dir.filePath(u"gone.dervelrec"_s) << u"не найден"_s;
    QTest::newRow("snapshots a view that never ends") << endless << u"не является записью Dervel"_s;
}

void TestReplay::aBadFileIsRefused() {
    QFETCH(QString, file);
    QFETCH(QString, message);
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.prompts().openFileAnswers << file;
    form.actOpenRecording->trigger();
    QVERIFY(!form.Replaying());
    QCOMPARE(f.prompts().messages.size(), 1);
    QVERIFY2(f.prompts().messages[0].text.contains(message),
             qPrintable(f.prompts().messages[0].text));
    QVERIFY(form.ServerPanel->isEnabled());
}

void TestReplay::aSnapshotThatDoesNotReadIsSaidSo() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    const QString path = makeRecording(dir.filePath(u"damaged.dervelrec"_s));
    sql(path, "UPDATE snapshots SET data = x'0000100078DA' WHERE id = 3");
    open(f, path);
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    QVERIFY(f.prompts().messages.isEmpty());
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(f.prompts().messages.size(), 1);
    QVERIFY2(f.prompts().messages[0].text.contains(u"снимок 3 не читается"_s),
             qPrintable(f.prompts().messages[0].text));
    // The snapshot on show stays, and so does the way back.
    QCOMPARE(form.Replay->index(), 1);
    QCOMPARE(form.Replay->bar()->lbTime->text(), ReplayTimeText(kStart + 1000));
    QTest::keyClick(&form, Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(form.Replay->index(), 0);
    QCOMPARE(gridSpids(form), (QList<int>{1, 52, 53, 60}));
    QCOMPARE(f.prompts().messages.size(), 1);
}

void TestReplay::aRecordingShrunkWhileFollowedKeepsItsPlace() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    const QString path = makeLongRecording(dir.filePath(u"shrinking.dervelrec"_s));
    open(f, path);
    form.Replay->Seek(10);
    // Retention drops the eight oldest while the replay plays towards the end, where it
    // reads the recording again to follow it.
    {
        TRecordingInfo info;
        info.Server = u"Прод"_s;
        TRecordingWriter w(path, info);
        w.dropBefore(kStart + 9500);
    }
    TReplayBar* bar = form.Replay->bar();
    bar->cbSpeed->setCurrentIndex(bar->cbSpeed->count() - 1); // ×60
    QTest::keyClick(&form, Qt::Key_Space, Qt::ControlModifier);
    QTRY_VERIFY(!form.Replay->playing());
    // The last snapshot is on show, where the list has it now.
    QCOMPARE(form.Replay->count(), 4);
    QCOMPARE(form.Replay->index(), 3);
    QCOMPARE(form.Replay->time(), kStart + 11000);
    QCOMPARE(bar->lbTime->toolTip(), u"Снимок 4 из 4"_s);
    // A filter and Enter after the shrink act on that snapshot.
    form.edLogin->setFocus();
    QTest::keyClicks(form.edLogin, u"app"_s);
    QTest::keyClick(form.edLogin, Qt::Key_Return);
    QCOMPARE(gridSpids(form), (QList<int>{53}));
    form.MonitorVT->setCurrentIndex(form.MonitorModel->index(0, 1));
    QTest::keyClick(form.MonitorVT, Qt::Key_Return);
    QCOMPARE(opened.size(), 1);
    auto* view = qobject_cast<TViewForm*>(opened.first().data());
    QVERIFY(view);
    QVERIFY2(view->windowTitle().contains(ReplayTimeText(kStart + 11000)),
             qPrintable(view->windowTitle()));
    QVERIFY(f.prompts().messages.isEmpty());
    // Stepping back goes through what is left, not through what was.
    QTest::keyClick(&form, Qt::Key_Y, Qt::ControlModifier);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(&form, Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(form.Replay->time(), kStart + 8000);
    QCOMPARE(gridSpids(form), (QList<int>{1, 52}));
}

void TestReplay::theWindowRecordsTheWatchedServer() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    form.cbPeriod->setCurrentIndex(2); // "1 с": the recording samples once a second
    f.addConnectedServer(u"Тест"_s);
    QVERIFY(form.actRecordReplay->isEnabled());
    form.actRecordReplay->trigger();
    QVERIFY(form.actRecordReplay->isChecked());
    QVERIFY(!form.tbRecord->isChecked()); // the text log is another thing
    const QString path = [&] {
        const QStringList files = QDir(dir.path()).entryList({u"*.dervelrec"_s}, QDir::Files);
        return files.isEmpty() ? QString() : dir.filePath(files.first());
    }();
    QVERIFY(path.endsWith(u"-Тест.dervelrec"_s));
    QTRY_VERIFY_WITH_TIMEOUT(TRecordingReader(path).count() >= 2, 10000);
    form.actRecordReplay->trigger(); // stops
    QVERIFY(!form.actRecordReplay->isChecked());
    TRecordingReader reader(path);
    QCOMPARE(reader.info().Server, u"Тест"_s);
    QVERIFY(reader.info().ConnectDescr.endsWith(u"(sa)"_s));
    // Every column of every session, whatever the grid shows.
    bool self = false;
    for (const auto& [key, r] : reader.rowsAt(reader.count() - 1))
        self = self || (r.Rec.SelfID && r.Rec.NetTransport == u"TCP"_s);
    QVERIFY(self);
    open(f, path);
    QVERIFY(form.MonitorModel->rowCount() > 0);
}

QTEST_MAIN(TestReplay)
#include "tst_replay.moc"
