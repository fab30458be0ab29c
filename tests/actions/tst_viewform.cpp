// The session detail window and the two-pane window against the test server.

#include "actions/widgets/containerform.h"
#include "actions/widgets/modalrun.h"
#include "actions/widgets/namevaluegrid.h"
#include "actions/widgets/sqlview.h"
#include "actions/widgets/viewform.h"
#include "scriptedprompts.h"
#include "scripting.h"
#include "servers/server.h"
#include "testserverfixture.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;
using testserver::ScriptedRequest;
using testserver::ScriptedSession;

namespace {

const QColor kTeal(0x00, 0x80, 0x80);
const QColor kRed(0xFF, 0x00, 0x00);

// A batch of three statements: lines 1-60, 61-63 and 64-125.
QStringList batchLines() {
    QStringList lines{u"select name"_s};
    for (int i = 2; i <= 59; ++i)
        lines << u"     , col%1"_s.arg(i);
    lines << u"from sys.objects;"_s;
    lines << u"update t"_s << u"   set x = 'O''Brien'"_s << u" where id = 2;"_s;
    for (int i = 64; i <= 125; ++i)
        lines << u"select %1 -- %2"_s.arg(i).arg(i);
    return lines;
}

// Where a statement of the batch starts and ends, in SQL Server's offsets: bytes into
// the UTF-16 text, the end at the statement's last character.
struct TStatementOffsets {
    int start;
    int end;
};

TStatementOffsets offsetsOf(const QStringList& lines, int firstLine, int lastLine) {
    int start = 0;
    for (int i = 0; i < firstLine - 1; ++i)
        start += lines[i].size() + 2;
    int end = start;
    for (int i = firstLine - 1; i < lastLine - 1; ++i)
        end += lines[i].size() + 2;
    end += lines[lastLine - 1].size() - 1;
    return {2 * start, 2 * end};
}

// An idle session whose last batch was ABuffer (none when null).
ScriptedSession idleSession(int id, const QString& buffer = QString()) {
    ScriptedSession s;
    s.sessionId = id;
    if (!buffer.isNull())
        s.inputBuffer.emplace(buffer.toStdString());
    return s;
}

QColor sourceColor(const TViewForm* view) {
    return view->lbSource->palette().color(view->lbSource->foregroundRole());
}

QList<int> markedLines(const TSqlView* edit) {
    QList<int> marked;
    for (int line = 1; line <= edit->lines(); ++line)
        if (edit->isLineMarked(line))
            marked << line;
    return marked;
}

QString valueOf(const TNameValueGrid* grid, const QString& name) {
    for (const TNameValue& line : grid->lines())
        if (line.Name == name)
            return line.Value;
    return u"<none>"_s;
}

} // namespace

class TestViewForm : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void currentStatementOfTheBatch_data();
    void currentStatementOfTheBatch();
    void idleSessionShowsItsInputBuffer_data();
    void idleSessionShowsItsInputBuffer();
    void failedLoadShowsTheError_data();
    void failedLoadShowsTheError();
    void f5ReloadsBothPanesTheButtonOnlyItsOwn();
    void copyFollowsTheSelection();
    void caretAndWordWrapButtons();
    void keysThatCloseTheWindow_data();
    void keysThatCloseTheWindow();
    void killClosesOnlyWhenItWentThrough_data();
    void killClosesOnlyWhenItWentThrough();

private:
    TViewForm* open(int spid, int requestId = 0, const QString& login = u"sa"_s);

    std::unique_ptr<TTestServer> FServer;
    std::unique_ptr<TServer> FEntry;
    std::unique_ptr<TScriptedPrompts> FPrompts;
    QList<QPointer<QDialog>> FOpened;
    int FRearms = 0;
    QList<QPair<PMonitorRec, TServer*>> FKills;
    bool FKillResult = false;
};

void TestViewForm::init() {
    FPrompts = std::make_unique<TScriptedPrompts>();
    FServer = std::make_unique<TTestServer>();
    FEntry = std::make_unique<TServer>();
    FEntry->Name = u"Test"_s;
    FEntry->ConnectionString = FServer->oledb();
    FEntry->Connect();
    QCOMPARE(FEntry->State, stConnected);
    FRearms = 0;
    FKills.clear();
    FOpened.clear();
    SetModalRunner([this](QDialog* d) {
        FOpened << d;
        d->show();
    });
}

void TestViewForm::cleanup() {
    for (const QPointer<QDialog>& d : FOpened)
        delete d.data();
    SetModalRunner({});
    FEntry.reset();
    FServer.reset();
    FPrompts.reset();
}

TViewForm* TestViewForm::open(int spid, int requestId, const QString& login) {
    TMonitorRec rec;
    rec.SPID = spid;
    rec.RequestID = requestId;
    rec.Login = login;
    TViewHost host;
    host.Rearm = [this] { ++FRearms; };
    host.KillProcess = [this](PMonitorRec r, TServer* s) {
        FKills.append({r, s});
        return FKillResult;
    };
    OpenSessionView(nullptr, FEntry.get(), &rec, host);
    return FOpened.isEmpty() ? nullptr : qobject_cast<TViewForm*>(FOpened.last().data());
}

void TestViewForm::currentStatementOfTheBatch_data() {
    QTest::addColumn<int>("firstLine");
    QTest::addColumn<int>("lastLine");
    QTest::addColumn<bool>("toTheEnd"); // the server's end offset -1
    QTest::addColumn<int>("firstVisible");

    QTest::newRow("second of three") << 61 << 63 << false << 60;
    QTest::newRow("starting on line 1") << 1 << 60 << false << 1;
    QTest::newRow("ending with the batch") << 64 << 125 << true << 63;
}

void TestViewForm::currentStatementOfTheBatch() {
    QFETCH(int, firstLine);
    QFETCH(int, lastLine);
    QFETCH(bool, toTheEnd);
    QFETCH(int, firstVisible);

    const QStringList lines = batchLines();
    const TStatementOffsets offsets = offsetsOf(lines, firstLine, lastLine);
    ScriptedSession s;
    s.sessionId = 60;
    s.status = "running";
    FServer->instance().addSession(s);
    ScriptedRequest r;
    r.sessionId = 60;
    r.sqlText = lines.join(u"\r\n"_s).toStdString();
    r.statementStartOffset = offsets.start;
    r.statementEndOffset = toTheEnd ? -1 : offsets.end;
    FServer->instance().addRequest(r);

    TViewForm* view = open(60);
    QVERIFY(view);
    QVERIFY(QTest::qWaitForWindowExposed(view));
    QCOMPARE(view->windowTitle(), u"Test SPID=60 (sa)"_s);
    QCOMPARE(view->lbSource->text(), u" sys.dm_exec_requests"_s);
    QCOMPARE(sourceColor(view), kTeal);
    QCOMPARE(view->SynEdit->text(), lines.join(u"\r\n"_s));
    QCOMPARE(view->LineStart, firstLine);
    QCOMPARE(view->LineEnd, lastLine);
    QList<int> expected;
    for (int line = firstLine; line <= lastLine; ++line)
        expected << line;
    QCOMPARE(markedLines(view->SynEdit), expected);
    QCOMPARE(view->SynEdit->caretLineNumber(), firstLine);
    QCOMPARE(view->SynEdit->firstVisibleLineNumber(), firstVisible);
    QVERIFY(view->btnKill->isEnabled());
    QCOMPARE(FRearms, 0);

    QCOMPARE(valueOf(view->SessionList, u"session_id"_s), u"60"_s);
    QCOMPARE(valueOf(view->SessionList, u"login_name"_s), u"sa"_s);
    QCOMPARE(valueOf(view->RequestList, u"status"_s), u"running"_s);
    QVERIFY(valueOf(view->RequestList, u"sql_handle"_s).startsWith(u"0x"_s));
    QCOMPARE(valueOf(view->ConnectionList, u"session_id"_s), u"60"_s);
    QCOMPARE(view->PageControl->currentWidget(), view->SessionList);
}

void TestViewForm::idleSessionShowsItsInputBuffer_data() {
    QTest::addColumn<QString>("buffer"); // null: none scripted
    QTest::addColumn<QString>("label");
    QTest::newRow("last batch") << u"exec dbo.Nightly @full = 1"_s << u" DBCC INPUTBUFFER"_s;
    QTest::newRow("empty buffer") << QString() << u" No statesments available"_s;
}

void TestViewForm::idleSessionShowsItsInputBuffer() {
    QFETCH(QString, buffer);
    QFETCH(QString, label);

    FServer->instance().addSession(idleSession(61, buffer));

    TViewForm* view = open(61);
    QVERIFY(view);
    QCOMPARE(view->lbSource->text(), label);
    QCOMPARE(sourceColor(view), kTeal);
    QCOMPARE(view->SynEdit->text(), buffer);
    QVERIFY(view->RequestList->lines().isEmpty());
    QCOMPARE(valueOf(view->SessionList, u"status"_s), u"sleeping"_s);
    QCOMPARE(view->LineStart, 0);
    QCOMPARE(view->LineEnd, 0);
    QVERIFY(markedLines(view->SynEdit).isEmpty());
    QVERIFY(view->btnKill->isEnabled());
    QCOMPARE(FRearms, 0);
}

void TestViewForm::failedLoadShowsTheError_data() {
    QTest::addColumn<int>("spid");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("sessionRows"); // what the lists got before the failure stays

    QTest::newRow("session ended") << 62 << u"Invalid SPID 62 specified."_s << false;
    QTest::newRow("system session without input buffer")
        << 12 << u"The specified SPID does not process input/output data streams."_s << true;
}

void TestViewForm::failedLoadShowsTheError() {
    QFETCH(int, spid);
    QFETCH(QString, message);
    QFETCH(bool, sessionRows);

    FServer->instance().addSession(idleSession(62));
    FServer->instance().endSession(62);

    TViewForm* view = open(spid);
    QVERIFY(view);
    QCOMPARE(view->lbSource->text(), u" Error"_s);
    QCOMPARE(sourceColor(view), kRed);
    QVERIFY2(view->SynEdit->text().endsWith(message), qPrintable(view->SynEdit->text()));
    QVERIFY(!view->btnKill->isEnabled());
    QCOMPARE(FRearms, 1);
    QCOMPARE(view->SessionList->lines().isEmpty(), !sessionRows);
    QVERIFY(FPrompts->messages.isEmpty()); // shown in the window, not in a box

    // The session shows up again: the next load starts with Kill enabled.
    if (spid == 62) {
        FServer->instance().addSession(idleSession(62, u"select 1"_s));
        view->btnRefresh->click();
        QCOMPARE(view->lbSource->text(), u" DBCC INPUTBUFFER"_s);
        QCOMPARE(sourceColor(view), kTeal);
        QVERIFY(view->btnKill->isEnabled());
        QCOMPARE(FRearms, 1);
    }
}

void TestViewForm::f5ReloadsBothPanesTheButtonOnlyItsOwn() {
    for (int id : {63, 64})
        FServer->instance().addSession(idleSession(id, u"v1"_s));
    TMonitorRec blocked, blocker;
    blocked.SPID = 63;
    blocked.Blocking = 64;
    blocker.SPID = 64;
    OpenBlockingPair(nullptr, FEntry.get(), &blocked, {&blocked, &blocker}, TViewHost{});
    QCOMPARE(FOpened.size(), 1);
    auto* pair = qobject_cast<TContainerForm*>(FOpened.first().data());
    QVERIFY(pair);
    TViewForm* left = pair->Panel1->findChild<TViewForm*>();
    TViewForm* right = pair->Panel2->findChild<TViewForm*>();
    QVERIFY(left && right);
    QCOMPARE(left->SynEdit->text(), u"v1"_s);
    QCOMPARE(right->SynEdit->text(), u"v1"_s);

    for (int id : {63, 64})
        FServer->instance().setInputBuffer(id, "v2");
    QTest::keyClick(right->SynEdit, Qt::Key_F5);
    QCOMPARE(right->SynEdit->text(), u"v2"_s);
    QCOMPARE(left->SynEdit->text(), u"v2"_s);

    for (int id : {63, 64})
        FServer->instance().setInputBuffer(id, "v3");
    left->btnRefresh->click();
    QCOMPARE(left->SynEdit->text(), u"v3"_s);
    QCOMPARE(right->SynEdit->text(), u"v2"_s);
}

void TestViewForm::copyFollowsTheSelection() {
    FServer->instance().addSession(idleSession(65, u"select 1\r\nselect 2"_s));
    TViewForm* view = open(65);
    QVERIFY(view);
    QVERIFY(!view->tbCopy->isEnabled());

    view->SynEdit->setSelection(1, 0, 1, 6);
    QVERIFY(view->tbCopy->isEnabled());
    view->tbCopy->click();
    QCOMPARE(QApplication::clipboard()->text(), u"select"_s);

    view->SynEdit->setCursorPosition(0, 0);
    QVERIFY(!view->tbCopy->isEnabled());

    view->tbCopyAll->click();
    QCOMPARE(QApplication::clipboard()->text(), u"select 1\r\nselect 2"_s);
    QVERIFY(view->tbCopy->isEnabled());

    view->btnRefresh->click(); // a reload drops the selection
    QVERIFY(!view->tbCopy->isEnabled());
}

void TestViewForm::caretAndWordWrapButtons() {
    FServer->instance().addSession(idleSession(66, u"select 1\r\nselect 2\r\nselect 33"_s));
    TViewForm* view = open(66);
    QVERIFY(view);
    int line = -1, index = -1;

    view->tbDown->click();
    view->SynEdit->getCursorPosition(&line, &index);
    QCOMPARE(line, 2);
    QCOMPARE(index, 9);
    view->tbUp->click();
    view->SynEdit->getCursorPosition(&line, &index);
    QCOMPARE(line, 0);
    QCOMPARE(index, 0);

    QCOMPARE(view->SynEdit->wrapMode(), QsciScintilla::WrapNone);
    view->tbWordWrap->click();
    QCOMPARE(view->SynEdit->wrapMode(), QsciScintilla::WrapWord);
    QVERIFY(view->tbWordWrap->isChecked());
    view->tbWordWrap->click();
    QCOMPARE(view->SynEdit->wrapMode(), QsciScintilla::WrapNone);
    QVERIFY(!view->tbWordWrap->isChecked());
}

void TestViewForm::keysThatCloseTheWindow_data() {
    QTest::addColumn<QString>("target"); // the control that has the key
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");

    QTest::newRow("Esc in the text") << u"SynEdit"_s << int(Qt::Key_Escape) << true;
    QTest::newRow("Enter in the text") << u"SynEdit"_s << int(Qt::Key_Return) << true;
    QTest::newRow("keypad Enter in a list") << u"SessionList"_s << int(Qt::Key_Enter) << true;
    QTest::newRow("Esc on a button") << u"btnRefresh"_s << int(Qt::Key_Escape) << true;
    QTest::newRow("Enter on a button is that button's")
        << u"btnRefresh"_s << int(Qt::Key_Return) << false;
    QTest::newRow("other keys stay") << u"SynEdit"_s << int(Qt::Key_Down) << false;
}

void TestViewForm::keysThatCloseTheWindow() {
    QFETCH(QString, target);
    QFETCH(int, key);
    QFETCH(bool, closes);

    FServer->instance().addSession(idleSession(67, u"select 1\r\nselect 2"_s));
    QPointer<TViewForm> view = open(67);
    QVERIFY(view);
    QVERIFY(QTest::qWaitForWindowActive(view));
    QTRY_COMPARE(QApplication::focusWidget(), view->SynEdit); // the text has the focus
    auto* widget = view->findChild<QWidget*>(target);
    QVERIFY(widget);
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key(key));
    if (closes) {
        QTRY_VERIFY(view.isNull());
    } else {
        QTest::qWait(0);
        QVERIFY(!view.isNull());
        QVERIFY(view->isVisible());
    }
}

void TestViewForm::killClosesOnlyWhenItWentThrough_data() {
    QTest::addColumn<bool>("result");
    QTest::newRow("killed") << true;
    QTest::newRow("declined or failed") << false;
}

void TestViewForm::killClosesOnlyWhenItWentThrough() {
    QFETCH(bool, result);
    FServer->instance().addSession(idleSession(68));
    FKillResult = result;
    QPointer<TViewForm> view = open(68, 0, u"alice"_s);
    QVERIFY(view);
    view->btnKill->click();

    QCOMPARE(FKills.size(), 1);
    QCOMPARE(FKills.first().second, FEntry.get());
    if (result) {
        QTRY_VERIFY(view.isNull());
    } else {
        QCOMPARE(FKills.first().first, view->MonitorRec()); // the window's own copy
        QCOMPARE(view->MonitorRec()->Login, u"alice"_s);
        QTest::qWait(0);
        QVERIFY(!view.isNull());
    }
}

QTEST_MAIN(TestViewForm)
#include "tst_viewform.moc"
