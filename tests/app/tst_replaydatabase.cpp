// A server's recording in a PostgreSQL database, replayed in the window as a file is:
// Ctrl+Shift+O, the address typed, the recorded servers listed with their spans, one
// chosen; then stepping, the gap, the blocking pair and a recorded session's details.
// A database that cannot be reached is said so in the dialog, and the window goes on.

#include "actions/widgets/modalrun.h"
#include "app/mainform.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorstatusbar.h"
#include "grid/widgets/monitorview.h"
#include "mainformfixture.h"
#include "pgstore/pgrecordingwriter.h"
#include "postgresserver.h"
#include "replay/widgets/databaserecordingdialog.h"
#include "replay/widgets/replay.h"
#include "replay/widgets/replaybar.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kStart = 1765340000000;

TRecordedRow row(int spid, const char* login, const char* status, int cpu) {
    TRecordedRow r;
    r.Rec.SPID = spid;
    r.Rec.Login = QString::fromUtf8(login);
    r.Rec.Status = QString::fromUtf8(status);
    r.Rec.DB = u"Sales"_s;
    r.Rec.CPU = cpu;
    r.Rec.LoginTime = 46000.25;
    r.Rec.IsUser = spid > 50;
    return r;
}

// Five snapshots a second apart, a minute's gap, two more; 60 holds 61 from the third on.
void record(const QString& AAddress, const QString& AServer) {
    TRecordingInfo info;
    info.Server = AServer;
    info.ConnectDescr = u"PROD-SQL (sa)"_s;
    info.WithText = true;
    TPgRecordingWriter w(AAddress, info);
    for (int n = 0; n < 7; ++n) {
        TRecordedRows rows{row(1, "sa", "background", 10),
                           row(52, "Иванов", "running", 1000 + 500 * n),
                           row(60, "app", "sleeping", 50)};
        if (n >= 2) {
            TRecordedRow waiter = row(61, "app", "suspended", 300);
            waiter.Rec.Blocking = 60;
            waiter.Rec.WaitType = u"LCK_M_X"_s;
            waiter.Text = u"update Orders set state = 2 where id = 7"_s;
            rows[2].Rec.Blocked = true;
            rows.push_back(waiter);
        }
        const qint64 at = kStart + (n < 5 ? n * 1000 : 64000 + (n - 5) * 1000);
        if (n == 5)
            w.addGap(kStart + 4000, at, u"Adaptive Server connection failed"_s);
        w.append(at, rows);
    }
}

QList<int> gridSpids(TMainForm& form) {
    QList<int> out;
    for (int r = 0; r < form.MonitorModel->rowCount(); ++r)
        out << form.MonitorModel->record(r)->SPID;
    return out;
}

} // namespace

class TestReplayDatabase : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void aServerFromTheDatabase();
    void aDatabaseThatDoesNotAnswer();

private:
    TDatabaseRecordingDialog* openDialog(TMainForm& form, const QString& address);
    TPostgresServer pg;
    QList<QPointer<QDialog>> opened;
};

void TestReplayDatabase::initTestCase() {
    QVERIFY2(pg.error().isEmpty(), qPrintable(pg.error()));
    QVERIFY(pg.createDatabase(u"team"_s));
    record(pg.uri(u"team"_s), u"Прод"_s);
    record(pg.uri(u"team"_s), u"Склад"_s);
}

void TestReplayDatabase::init() {
    SetModalRunner([this](QDialog* d) {
        opened << d;
        d->show();
    });
}

void TestReplayDatabase::cleanup() {
    for (const QPointer<QDialog>& d : opened)
        delete d.data();
    opened.clear();
    SetModalRunner({});
}

// Ctrl+Shift+O, the address typed and Enter pressed.
TDatabaseRecordingDialog* TestReplayDatabase::openDialog(TMainForm& form, const QString& address) {
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return nullptr;
    QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    auto* dialog =
        opened.isEmpty() ? nullptr : qobject_cast<TDatabaseRecordingDialog*>(opened.last().data());
    if (!dialog)
        return nullptr;
    dialog->edAddress->setFocus();
    dialog->edAddress->selectAll();
    QTest::keyClicks(dialog->edAddress, address);
    QTest::keyClick(dialog->edAddress, Qt::Key_Return);
    return dialog;
}

void TestReplayDatabase::aServerFromTheDatabase() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    TDatabaseRecordingDialog* dialog = openDialog(form, pg.uri(u"team"_s));
    QVERIFY(dialog);
    QTRY_COMPARE_WITH_TIMEOUT(dialog->lvServers->topLevelItemCount(), 2, 10000);
    QCOMPARE(dialog->lvServers->topLevelItem(0)->text(0), u"Прод"_s);
    QCOMPARE(dialog->lvServers->topLevelItem(0)->text(1), ReplayTimeText(kStart));
    QCOMPARE(dialog->lvServers->topLevelItem(0)->text(2), ReplayTimeText(kStart + 65000));
    QCOMPARE(dialog->lvServers->topLevelItem(0)->text(3), u"7"_s);
    // The first is chosen and has the focus: Enter opens it.
    QTest::keyClick(dialog->lvServers, Qt::Key_Return);
    QVERIFY(form.Replaying());
    QTRY_VERIFY(!dialog->isVisible());
    QCOMPARE(gridSpids(form), (QList<int>{1, 52, 60}));
    QCOMPARE(form.MonitorStatusBar->panelText(0), u"Прод: PROD-SQL (sa)"_s);
    QVERIFY2(form.MonitorStatusBar->panelText(5).contains(u"Прод в postgresql://dervel@"_s),
             qPrintable(form.MonitorStatusBar->panelText(5)));

    // The dialog gone, the window is the active one again, as on a desktop.
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.MonitorVT->setFocus();
    for (int i = 0; i < 2; ++i)
        QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(gridSpids(form), (QList<int>{1, 52, 60, 61}));
    QCOMPARE(form.MonitorStatusBar->panelText(2), u"1"_s); // one blocked session
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    TReplayBar* bar = form.Replay->bar();
    QCOMPARE(form.Replay->index(), 5);
    QVERIFY2(bar->lbGap->text().startsWith(u"перерыв"_s), qPrintable(bar->lbGap->text()));
    QCOMPARE(bar->lbGap->toolTip(), u"Adaptive Server connection failed"_s);
    // The recorded batch of the waiting session, as the detail window gets it.
    TMonitorRec waiter;
    waiter.SPID = 61;
    waiter.LoginTime = 46000.25;
    const std::optional<TRecordedRow> recorded = form.Replay->RecordedRow(waiter);
    QVERIFY(recorded);
    QCOMPARE(recorded->Text, u"update Orders set state = 2 where id = 7"_s);
    QVERIFY(f.prompts().messages.isEmpty());
}

void TestReplayDatabase::aDatabaseThatDoesNotAnswer() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    // A port nobody listens on: refused at once.
    TDatabaseRecordingDialog* dialog =
        openDialog(form, u"postgresql://dervel@127.0.0.1:1/team?connect_timeout=3"_s);
    QVERIFY(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(dialog->lbStatus->text().contains(u"Не удалось подключиться к базе"_s),
                             10000);
    QCOMPARE(dialog->lvServers->topLevelItemCount(), 0);
    QVERIFY(!dialog->buttons->button(QDialogButtonBox::Open)->isEnabled());
    QVERIFY(!form.Replaying());
    // Not an address at all: said before anything is tried.
    dialog->edAddress->selectAll();
    QTest::keyClicks(dialog->edAddress, u"/tmp/night.dervelrec"_s);
    QTest::keyClick(dialog->edAddress, Qt::Key_Return);
    QVERIFY(dialog->lbStatus->text().contains(u"postgresql://"_s));
}

QTEST_MAIN(TestReplayDatabase)
#include "tst_replaydatabase.moc"
