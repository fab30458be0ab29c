// The main window's session commands against the test server: ending the focused
// session, ending the marked ones, opening the detail windows, the colour legend.

#include "actions/widgets/containerform.h"
#include "actions/widgets/helpform.h"
#include "actions/widgets/sqlview.h"
#include "actions/widgets/viewform.h"
#include "estate/serversummary.h"
#include "grid/monitorcolumns.h"
#include "servers/widgets/serverlistview.h"
#include "sessionfixture.h"
#include "settings/widgets/selcolform.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;
using testserver::ScriptedRequest;
using testserver::ScriptedSession;

namespace {

ScriptedSession session(int id, const std::string& login) {
    ScriptedSession s;
    s.sessionId = id;
    s.loginName = login;
    return s;
}

const QString kKillCaption = u"Kill process"_s;
const QString kErrorCaption = u"Ошибка"_s;

// Stands in for a snapshot that arrives while the question is open: the grid's record
// is overwritten in place with another session.
class TOverwritingPrompts : public TScriptedPrompts {
public:
    PMonitorRec target = nullptr;
    TMonitorRec replacement;
    TMsgResult message(const TMessage& m) override {
        if (target && m.caption == kKillCaption)
            *target = replacement;
        return TScriptedPrompts::message(m);
    }
};

} // namespace

class TestSessionCommands : public QObject {
    Q_OBJECT
private slots:
    void killDeclinedSendsNothing();
    void killEndsTheSessionAfterTheCheck_data();
    void killEndsTheSessionAfterTheCheck();
    void killOfASessionNoLongerThere_data();
    void killOfASessionNoLongerThere();
    void killUsesTheRecordAsItWasWhenAsked();
    void killMarkedReportsFailuresInGridOrder_data();
    void killMarkedReportsFailuresInGridOrder();
    void killMarkedWithoutServerDoesNothing();
    void viewOpensTheFocusedSession();
    void killFromTheDetailWindow();
    void viewBlockOpensThePair();
    void viewBlockWithoutTheBlockerAmongTheRows();
    void helpShowsTheLegend();
};

void TestSessionCommands::killDeclinedSendsNothing() {
    TSessionFixture f;
    f.instance().addSession(session(70, "alice"));
    QVERIFY(f.start());
    const QString before = f.lastBatchOfTheForm();
    f.focus(70);
    const THandOver handOver = f.Form->CurrentHandOver();
    f.Prompts.messageAnswers.append(TMsgResult::No);
    f.Form->actKillProcess->trigger();
    // No refresh: the sampler was handed nothing new.
    QCOMPARE(f.Form->CurrentHandOver(), handOver);

    QCOMPARE(f.Prompts.messages.size(), 1);
    const TMessage& q = f.Prompts.messages.first();
    QCOMPARE(q.text, u"Завершить процесс SPID=70, Login=alice?"_s);
    QCOMPARE(q.caption, kKillCaption);
    QCOMPARE(q.icon, TMsgIcon::Question);
    QCOMPARE(q.buttons, TMsgButtons::YesNo);
    QCOMPARE(q.defaultButton, TMsgResult::Yes);
    QVERIFY(f.instance().hasSession(70));
    // Neither the check nor a new sample went out on the form's connection.
    QCOMPARE(f.lastBatchOfTheForm(), before);
}

void TestSessionCommands::killEndsTheSessionAfterTheCheck_data() {
    QTest::addColumn<QString>("login");
    QTest::addColumn<bool>("loginShown");
    QTest::newRow("plain login") << u"alice"_s << true;
    QTest::newRow("apostrophe in the login") << u"O'Brien"_s << true;
    // The check needs the login whether the grid shows it or not.
    QTest::newRow("the Login column hidden") << u"alice"_s << false;
}

void TestSessionCommands::killEndsTheSessionAfterTheCheck() {
    QFETCH(QString, login);
    QFETCH(bool, loginShown);
    TSessionFixture f;
    f.instance().addSession(session(71, login.toStdString()));
    QVERIFY(f.start());
    if (!loginShown) {
        const quint64 shown = f.Form->SnapshotsShown();
        f.Form->SelColForm->FormShow(false, LoginColumn);
        f.Form->SelColForm->ColList->item(LoginColumn)->setCheckState(Qt::Unchecked);
        f.Form->SelColForm->tbOKClick();
        QVERIFY(f.Form->MonitorVT->horizontalHeader()->isSectionHidden(LoginColumn));
        QTRY_VERIFY(f.Form->SnapshotsShown() > shown); // of the query without the column
    }
    f.focus(71);
    f.Prompts.messageAnswers.append(TMsgResult::Yes);
    f.Form->actKillProcess->trigger();

    QCOMPARE(f.Prompts.messages.size(), 1); // the question, and no error after it
    QCOMPARE(f.Prompts.messages.first().text, u"Завершить процесс SPID=71, Login=%1?"_s.arg(login));
    QVERIFY(!f.instance().hasSession(71));
    QTRY_COMPARE(f.rowOf(71), -1); // re-armed: the grid shows it gone while paused
}

void TestSessionCommands::killOfASessionNoLongerThere_data() {
    QTest::addColumn<QString>("reusedBy"); // empty: the SPID stays free
    QTest::newRow("session ended") << QString();
    QTest::newRow("SPID taken by another login") << u"bob"_s;
}

void TestSessionCommands::killOfASessionNoLongerThere() {
    QFETCH(QString, reusedBy);
    TSessionFixture f;
    f.instance().addSession(session(72, "alice"));
    QVERIFY(f.start());
    f.focus(72);
    f.instance().endSession(72);
    if (!reusedBy.isEmpty())
        f.instance().addSession(session(72, reusedBy.toStdString()));
    f.Prompts.messageAnswers.append(TMsgResult::Yes);
    f.Form->actKillProcess->trigger();

    QCOMPARE(f.Prompts.messages.size(), 2);
    const TMessage& error = f.Prompts.messages.at(1);
    QCOMPARE(error.text, u"Процесс SPID=72, Login=alice не найден."_s);
    QCOMPARE(error.caption, kErrorCaption);
    QCOMPARE(error.icon, TMsgIcon::Error);
    QCOMPARE(error.buttons, TMsgButtons::OK);
    // No kill went out: the other login's session is still there.
    QCOMPARE(f.instance().hasSession(72), !reusedBy.isEmpty());
    // Re-armed in this case too.
    if (reusedBy.isEmpty())
        QTRY_COMPARE(f.rowOf(72), -1);
    else
        QTRY_COMPARE(f.Form->MonitorModel->record(f.rowOf(72))->Login, reusedBy);
}

void TestSessionCommands::killUsesTheRecordAsItWasWhenAsked() {
    TSessionFixture f;
    TOverwritingPrompts prompts; // installed last, so it answers
    f.instance().addSession(session(73, "alice"));
    f.instance().addSession(session(74, "bob"));
    QVERIFY(f.start());
    f.focus(73);
    prompts.target = f.Form->MonitorModel->record(f.rowOf(73));
    prompts.replacement = *f.Form->MonitorModel->record(f.rowOf(74));
    prompts.messageAnswers.append(TMsgResult::Yes);
    f.Form->actKillProcess->trigger();

    QCOMPARE(prompts.messages.size(), 1);
    QVERIFY(!f.instance().hasSession(73));
    QVERIFY(f.instance().hasSession(74));
}

void TestSessionCommands::killMarkedReportsFailuresInGridOrder_data() {
    QTest::addColumn<bool>("failures");
    QTest::newRow("two of three fail") << true;
    QTest::newRow("none fails") << false;
}

void TestSessionCommands::killMarkedReportsFailuresInGridOrder() {
    QFETCH(bool, failures);
    TSessionFixture f;
    for (int id : {80, 81, 82})
        f.instance().addSession(session(id, "alice"));
    QVERIFY(f.start());
    const int self = f.selfSpid();
    QVERIFY(self < 80); // the grid is sorted by SPID: the form's own session comes first

    // Marked against the grid order. Two fail when the server refuses to end the
    // form's own session and one that ended after the snapshot.
    QList<int> marks = failures ? QList<int>{82, 80, self} : QList<int>{82, 81, 80};
    for (int spid : marks) {
        f.focus(spid);
        f.Form->actSelRec->trigger();
    }
    if (failures)
        f.instance().endSession(82);
    f.Form->actKillSelected->trigger();

    QVERIFY(!f.instance().hasSession(80));
    if (failures) {
        QCOMPARE(f.Prompts.messages.size(), 1);
        const TMessage& report = f.Prompts.messages.first();
        QCOMPARE(report.caption, kErrorCaption);
        QCOMPARE(report.icon, TMsgIcon::Error);
        const QStringList lines = report.text.split(u"\r\n"_s);
        QCOMPARE(lines.size(), 3); // the report keeps its last CR LF
        QVERIFY2(lines[0].startsWith(u"SPID %1: "_s.arg(self)) &&
                     lines[0].contains(u"Cannot use KILL to kill your own process."_s),
                 qPrintable(lines[0]));
        QVERIFY2(lines[1].startsWith(u"SPID 82: "_s) &&
                     lines[1].contains(u"Process ID 82 is not an active process ID."_s),
                 qPrintable(lines[1]));
        QCOMPARE(lines[2], QString());
    } else {
        QVERIFY(f.Prompts.messages.isEmpty());
        QVERIFY(!f.instance().hasSession(81));
        QVERIFY(!f.instance().hasSession(82));
    }
    QTRY_COMPARE(f.rowOf(80), -1); // re-armed either way
}

void TestSessionCommands::killMarkedWithoutServerDoesNothing() {
    TSessionFixture f;
    f.instance().addSession(session(83, "alice"));
    QVERIFY(f.start());
    const QString before = f.lastBatchOfTheForm();
    f.Form->ServerPanel->view()->setCurrentIndex(QModelIndex()); // clears the marks too
    QVERIFY(!f.Form->SelectedServer());
    f.Form->SelList = {83};
    f.Form->Sessions->actKillSelectedExecute();

    QVERIFY(f.instance().hasSession(83));
    QVERIFY(f.Prompts.messages.isEmpty());
    // No statement of the kill's; the estate may have summarized the server meanwhile, as
    // the grid no longer shows it.
    const QString after = f.lastBatchOfTheForm();
    QVERIFY2(after == before || after == SummaryQueryText(), qPrintable(after));
}

void TestSessionCommands::viewOpensTheFocusedSession() {
    TSessionFixture f;
    ScriptedSession s = session(84, "alice");
    s.inputBuffer = "exec dbo.Nightly";
    f.instance().addSession(s);
    QVERIFY(f.start());
    f.focus(84);
    f.Form->actView->trigger();

    QCOMPARE(f.Opened.size(), 1);
    auto* view = qobject_cast<TViewForm*>(f.Opened.first().data());
    QVERIFY(view);
    QCOMPARE(view->windowTitle(), u"Test SPID=84 (alice)"_s);
    QVERIFY(view->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(view->MonitorRec()->SPID, 84);
    QVERIFY(view->MonitorRec() != f.Form->MonitorModel->record(f.rowOf(84))); // its own copy
    view->close();
    QTRY_VERIFY(f.Opened.first().isNull());
}

void TestSessionCommands::killFromTheDetailWindow() {
    TSessionFixture f;
    f.instance().addSession(session(89, "alice"));
    QVERIFY(f.start());
    f.focus(89);
    f.Form->actView->trigger();
    QCOMPARE(f.Opened.size(), 1);
    auto* view = qobject_cast<TViewForm*>(f.Opened.first().data());
    QVERIFY(view);
    f.Prompts.messageAnswers.append(TMsgResult::Yes);
    view->btnKill->click();

    QCOMPARE(f.Prompts.messages.size(), 1);
    QCOMPARE(f.Prompts.messages.first().text, u"Завершить процесс SPID=89, Login=alice?"_s);
    QVERIFY(!f.instance().hasSession(89));
    QTRY_VERIFY(f.Opened.first().isNull());
    QTRY_COMPARE(f.rowOf(89), -1);
}

void TestSessionCommands::viewBlockOpensThePair() {
    TSessionFixture f;
    f.instance().addSession(session(85, "alice"));
    f.instance().addSession(session(86, "bob"));
    ScriptedRequest blocked;
    blocked.sessionId = 85;
    blocked.status = "suspended";
    blocked.blockingSessionId = 86;
    f.instance().addRequest(blocked);
    QVERIFY(f.start());
    f.focus(85);
    QVERIFY(f.Form->actViewBlock->isEnabled());
    f.Form->actViewBlock->trigger();

    QCOMPARE(f.Opened.size(), 1);
    auto* pair = qobject_cast<TContainerForm*>(f.Opened.first().data());
    QVERIFY(pair);
    QCOMPARE(pair->windowTitle(), u"Просмотр"_s);
    QCOMPARE(pair->Panel4->text(), u"Test SPID=85 (alice)"_s); // right: the blocked one
    QCOMPARE(pair->Panel3->text(), u"Test SPID=86 (bob)"_s);   // left: its blocker
    const auto right = pair->Panel2->findChildren<TViewForm*>();
    const auto left = pair->Panel1->findChildren<TViewForm*>();
    QCOMPARE(right.size(), 1);
    QCOMPARE(left.size(), 1);
    QCOMPARE(right.first()->MonitorRec()->SPID, 85);
    QCOMPARE(left.first()->MonitorRec()->SPID, 86);
    QVERIFY(!right.first()->isWindow());

    // A pane that closes takes the two-pane window and the other pane with it.
    QPointer<TViewForm> other = left.first();
    QTest::keyClick(right.first()->SynEdit, Qt::Key_Escape);
    QTRY_VERIFY(f.Opened.first().isNull());
    QVERIFY(other.isNull());
}

void TestSessionCommands::viewBlockWithoutTheBlockerAmongTheRows() {
    TSessionFixture f;
    f.instance().addSession(session(87, "alice"));
    f.instance().addSession(session(88, "bob"));
    ScriptedRequest blocked;
    blocked.sessionId = 87;
    blocked.blockingSessionId = 88;
    f.instance().addRequest(blocked);
    QVERIFY(f.start());
    // The login filter hides the blocker.
    f.Form->edLogin->setText(u"alice"_s);
    f.Form->Monitoring(false);
    QTRY_COMPARE(f.rowOf(88), -1);
    f.focus(87);
    f.Form->actViewBlock->trigger();

    QVERIFY(f.Opened.isEmpty());
    QCOMPARE(f.Prompts.messages.size(), 1);
    QCOMPARE(f.Prompts.messages.first().text, u"Процесс не найден."_s);
    QCOMPARE(f.Prompts.messages.first().caption, kErrorCaption);
    QCOMPARE(f.Prompts.messages.first().icon, TMsgIcon::Error);
}

void TestSessionCommands::helpShowsTheLegend() {
    TSessionFixture f;
    f.Form = std::make_unique<TMainForm>();
    f.Form->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.Form.get()));
    f.Form->actHelp->trigger();
    QPointer<THelpForm> legend;
    QTRY_VERIFY((legend = qobject_cast<THelpForm*>(QApplication::activeWindow())));
    QVERIFY(!legend->isModal());
    QTest::keyClick(legend, Qt::Key_F1);
    QTRY_VERIFY(legend.isNull());
}

QTEST_MAIN(TestSessionCommands)
#include "tst_sessioncommands.moc"
