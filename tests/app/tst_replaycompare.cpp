// Two moments of a recording compared in the window, and a span of it saved, driven by
// keys and clicks: mark, go on across a gap, compare; the rows that appeared, ended and
// changed carry their mark at the left edge, the rate columns the counters' growth and
// sort by it; the comparison stays while stepping and leaves when asked. Then the span
// from the mark to the snapshot on show saved as a recording and its summary.

#include "actions/widgets/modalrun.h"
#include "app/mainform.h"
#include "grid/celltext.h"
#include "grid/monitorcolumns.h"
#include "grid/rowcolor.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorstatusbar.h"
#include "grid/widgets/monitorview.h"
#include "mainformfixture.h"
#include "recorder/recordingreader.h"
#include "recorder/recordingwriter.h"
#include "recording/logfile.h"
#include "replay/widgets/replay.h"
#include "replay/widgets/replaybar.h"
#include "replay/widgets/replaycomparison.h"
#include "replay/widgets/spanexportdialog.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kStart = 1765340000000;

TRecordedRow row(int spid, const char* login, int cpu, qint64 reads = 0) {
    TRecordedRow r;
    r.Rec.SPID = spid;
    r.Rec.Login = QString::fromUtf8(login);
    r.Rec.Status = u"sleeping"_s;
    r.Rec.CPU = cpu;
    r.Rec.Reads = reads;
    r.Rec.LoginTime = 46000.25;
    r.Rec.IsUser = true;
    return r;
}

// Seven snapshots, a gap of a minute after the fifth. 52 works on (500 ms of CPU and 10
// reads a snapshot), 53 stays as it is, 54 waits on 53 and leaves after the second, 61
// comes at the third.
QString makeRecording(const QString& path) {
    TRecordingInfo info;
    info.Server = u"Прод"_s;
    info.WithText = true;
    TRecordingWriter w(path, info);
    for (int n = 0; n < 7; ++n) {
        TRecordedRows rows{row(52, "Иванов", 1000 + 500 * n, 10 * n), row(53, "app", 200)};
        if (n < 2) {
            // Waits on 53 while it is there: once it has ended it holds nobody up.
            TRecordedRow waiter = row(54, "gone", 70);
            waiter.Rec.Blocking = 53;
            waiter.Rec.WaitType = u"LCK_M_S"_s;
            waiter.Rec.Status = u"suspended"_s;
            rows.push_back(waiter);
        }
        if (n >= 2)
            rows.push_back(row(61, "newcomer", 30));
        const qint64 at = kStart + (n < 5 ? n * 1000 : 64000 + (n - 5) * 1000);
        if (n == 5)
            w.addGap(kStart + 4000, at, u"Adaptive Server connection failed"_s);
        w.append(at, rows);
    }
    return path;
}

int rowOf(TMainForm& form, int spid) {
    for (int r = 0; r < form.MonitorModel->rowCount(); ++r)
        if (form.MonitorModel->record(r)->SPID == spid)
            return r;
    return -1;
}

QList<int> gridSpids(TMainForm& form) {
    QList<int> out;
    for (int r = 0; r < form.MonitorModel->rowCount(); ++r)
        out << form.MonitorModel->record(r)->SPID;
    return out;
}

QToolButton* buttonOf(QWidget* bar, QAction* action) {
    for (QToolButton* b : bar->findChildren<QToolButton*>())
        if (b->defaultAction() == action)
            return b;
    return nullptr;
}

} // namespace

class TestReplayCompare : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void markGoCompare();
    void aSpanSavedFromTheWindow();

private:
    void open(TMainFormFixture& f, const QString& path);
    QTemporaryDir dir;
    QList<QPointer<QDialog>> opened;
};

void TestReplayCompare::init() {
    SetLogFolder(dir.path());
    SetModalRunner([this](QDialog* d) {
        opened << d;
        d->show();
    });
}

void TestReplayCompare::cleanup() {
    for (const QPointer<QDialog>& d : opened)
        delete d.data();
    opened.clear();
    SetModalRunner({});
    SetLogFolder(QString());
}

void TestReplayCompare::open(TMainFormFixture& f, const QString& path) {
    f.prompts().openFileAnswers << path;
    f.form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form()));
    QTest::keyClick(&f.form(), Qt::Key_O, Qt::ControlModifier);
    QVERIFY(f.form().Replaying());
}

void TestReplayCompare::markGoCompare() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    open(f, makeRecording(dir.filePath(u"compare.dervelrec"_s)));
    QAbstractItemModelTester tester(form.MonitorModel);
    TReplayComparison* comparison = form.Replay->comparison();
    QVERIFY(!comparison->actCompare->isEnabled()); // nothing marked yet

    // Mark the second snapshot, go on across the gap to the last, compare.
    form.MonitorVT->setFocus();
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    QTest::keyClick(&form, Qt::Key_M, Qt::ControlModifier);
    QVERIFY(comparison->lbMark->text().contains(ReplayTimeText(kStart + 1000)));
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(form.Replay->index(), 6);
    QTest::mouseClick(buttonOf(form.Replay->bar(), comparison->actCompare), Qt::LeftButton);
    QVERIFY(form.Replay->comparing());

    // The sessions of the second moment, and the one that ended once.
    QCOMPARE(gridSpids(form), (QList<int>{52, 53, 54, 61}));
    const auto change = [&](int spid) {
        return form.MonitorModel->record(rowOf(form, spid))->Change;
    };
    QCOMPARE(change(52), TRowChange::Changed);
    QCOMPARE(change(53), TRowChange::None);
    QCOMPARE(change(54), TRowChange::Ended);
    QCOMPARE(change(61), TRowChange::Appeared);
    QCOMPARE(form.MonitorModel->index(rowOf(form, 54), 8).data().toString(),
             u"70"_s); // its last CPU
    // The growth from the mark: 52 took 2,500 ms of CPU and 50 reads over five snapshots.
    const QString sep = SystemThousandSeparator();
    QCOMPARE(form.MonitorModel->index(rowOf(form, 52), FirstRateColumn).data().toString(),
             u"2"_s + sep + u"500"_s);
    QCOMPARE(form.MonitorModel->index(rowOf(form, 52), FirstRateColumn + 1).data().toString(),
             u"50"_s);
    QCOMPARE(form.MonitorModel->index(rowOf(form, 61), FirstRateColumn).data().toString(),
             QString());
    QCOMPARE(
        form.MonitorModel->headerData(FirstRateColumn, Qt::Horizontal, Qt::DisplayRole).toString(),
        u"CPU +"_s);
    // A session that had ended waits for nobody now: not counted as blocked.
    QCOMPARE(form.MonitorStatusBar->panelText(2), QString());
    // The status bar says what was compared, and that the recording has a gap in between.
    const QString status = form.MonitorStatusBar->panelText(5);
    QVERIFY2(status.contains(ReplayTimeText(kStart + 1000)) && status.contains(u"перерыв"_s),
             qPrintable(status));

    // The marks are painted at each row's left edge in their colours.
    const QImage grid = form.MonitorVT->viewport()->grab().toImage();
    const auto markAt = [&](int spid) {
        const QRect cell =
            form.MonitorVT->visualRect(form.MonitorModel->index(rowOf(form, spid), 0));
        return grid.pixelColor(cell.left() + 2, cell.center().y()).name();
    };
    QCOMPARE(markAt(61), ColorToRgbText(ChangeMarkAppeared).toLower());
    QCOMPARE(markAt(54), ColorToRgbText(ChangeMarkEnded).toLower());
    QCOMPARE(markAt(52), ColorToRgbText(ChangeMarkChanged).toLower());
    QVERIFY(markAt(53) != ColorToRgbText(ChangeMarkChanged).toLower());

    // A click on the growth's header sorts by it, the most first, as by a rate.
    QHeaderView* header = form.MonitorVT->horizontalHeader();
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(FirstRateColumn) + 5, header->height() / 2));
    QCOMPARE(gridSpids(form).first(), 52);
    QCOMPARE(gridSpids(form).mid(0, 2), (QList<int>{52, 53}));

    // Stepping back keeps the comparison with the same mark.
    QTest::keyClick(&form, Qt::Key_Left, Qt::ControlModifier);
    QVERIFY(form.Replay->comparing());
    QCOMPARE(form.MonitorModel->index(rowOf(form, 52), FirstRateColumn).data().toString(),
             u"2"_s + sep + u"000"_s);
    // Asked again, it leaves: rates and no marks.
    QTest::keyClick(&form, Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(!form.Replay->comparing());
    QVERIFY(rowOf(form, 54) < 0);
    QCOMPARE(change(52), TRowChange::None);
    QCOMPARE(
        form.MonitorModel->headerData(FirstRateColumn, Qt::Horizontal, Qt::DisplayRole).toString(),
        u"CPU/s"_s);
}

void TestReplayCompare::aSpanSavedFromTheWindow() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    const QString source = makeRecording(dir.filePath(u"source.dervelrec"_s));
    open(f, source);
    form.MonitorVT->setFocus();
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    QTest::keyClick(&form, Qt::Key_M, Qt::ControlModifier);
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);

    const QString out = dir.filePath(u"span.dervelrec"_s);
    f.prompts().saveFileAnswers << out;
    QTest::mouseClick(buttonOf(form.Replay->bar(), form.Replay->actExportSpan), Qt::LeftButton);
    QTRY_COMPARE(opened.size(), 1);
    auto* dialog = qobject_cast<TSpanExportDialog*>(opened.first().data());
    QVERIFY(dialog);
    // The span offered runs from the mark to the snapshot on show.
    QCOMPARE(dialog->edFrom->dateTime().toSecsSinceEpoch(), (kStart + 1000) / 1000);
    QCOMPARE(dialog->edTo->dateTime().toSecsSinceEpoch(), (kStart + 3000) / 1000);
    QTest::mouseClick(dialog->cbWithoutText, Qt::LeftButton, {},
                      QPoint(5, dialog->cbWithoutText->height() / 2));
    QVERIFY(dialog->cbWithoutText->isChecked());
    QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                      Qt::LeftButton);
    QTRY_VERIFY(!dialog->isVisible());

    TRecordingReader saved(out);
    QCOMPARE(saved.count(), 3);
    QCOMPARE(saved.timeAt(0), kStart + 1000);
    QCOMPARE(saved.timeAt(2), kStart + 3000);
    QVERIFY(!saved.info().WithText);
    QVERIFY(QFile::exists(dir.filePath(u"span.html"_s)));
    QCOMPARE(f.prompts().messages.size(), 1);
    QVERIFY(f.prompts().messages.first().text.contains(u"span.html"_s));
}

QTEST_MAIN(TestReplayCompare)
#include "tst_replaycompare.moc"
