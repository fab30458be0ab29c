// The session grid: snapshot arrival (record identity, focus, marks, counts), keys with
// their exact modifiers, sorting by header clicks, the status filter's texts, painting,
// and the filters end to end against the test server.

#include "app/mainform.h"
#include "blocking/widgets/blockingpane.h"
#include "grid/monitorcolumns.h"
#include "grid/widgets/errorpanel.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorstatusbar.h"
#include "grid/widgets/monitortoolbar.h"
#include "grid/widgets/monitorview.h"
#include "grid/widgets/statusfilteredit.h"
#include "grid/widgets/statuspanel.h"
#include "instance.h"
#include "mainformfixture.h"
#include "recording/logfile.h"
#include "scripting.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverlistview.h"
#include "servers/widgets/serverpanel.h"
#include "settings/widgets/selcolform.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <climits>

namespace {

QList<TMonitorRec> recs(std::initializer_list<TMonitorRec> list) {
    return QList<TMonitorRec>(list);
}

void focusRow(TMainForm& form, int row, int column = 0) {
    form.MonitorVT->setCurrentIndex(form.MonitorModel->index(row, column));
}

struct TTriggers {
    QMap<QString, int> counts;
    void watch(QAction* a) {
        QObject::connect(a, &QAction::triggered, a, [this, a] { ++counts[a->objectName()]; });
    }
};

} // namespace

class TestGrid : public QObject {
    Q_OBJECT
private slots:
    void shrinkingAndGrowingKeepRecordIdentity();
    void focusFollowsTheSession();
    void focusStaysOnThePositionWhenTheSessionEnded();
    void noFocusBeforeMeansNoneAfter();
    void endedSessionsLoseTheirMarks();
    void countsInTheStatusBar();
    void errorNoticeForAnotherServerChangesNothing();
    void keysMatchTheirModifiersExactly_data();
    void keysMatchTheirModifiersExactly();
    void spaceMarksAndMovesDown();
    void homeAndEndStayInTheRow();
    void ctrlCCopiesTheFocusedCell();
    void ctrlBTogglesBlockingOnly();
    void viewBlockNeedsABlockedRow();
    void headerClicksSortAscendingThenDescending();
    void hidingTheSortColumnFallsBackToSPID_data();
    void hidingTheSortColumnFallsBackToSPID();
    void statusFilterTexts();
    void loginFilterAppliesWhenLeft();
    void rowColoursAndSelectionArePainted();
    void headerDragRefusedWhileRecording();
    void emptyDatabaseFilterEndToEnd();
    void databaseChoiceAcrossServers();
    void sortReversesRowsEndToEnd();
};

void TestGrid::shrinkingAndGrowingKeepRecordIdentity() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    QAbstractItemModelTester tester(form.MonitorModel,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    f.arrive(recs({Rec(51), Rec(52), Rec(53), Rec(54), Rec(55)}));
    const TRecList first = form.RecList;
    f.arrive(recs({Rec(60), Rec(61), Rec(62)}));
    QCOMPARE(form.MonitorModel->rowCount(), 3);
    QCOMPARE(form.RecList.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(form.RecList[i], first[i]); // overwritten in place
    QCOMPARE(form.RecList[0]->SPID, 60);
    f.arrive(recs({Rec(70), Rec(71), Rec(72), Rec(73), Rec(74), Rec(75)}));
    QCOMPARE(form.MonitorModel->rowCount(), 6);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(form.RecList[i], first[i]);
    QCOMPARE(form.MonitorModel->index(5, 0).data().toString(), QStringLiteral("75"));
}

void TestGrid::focusFollowsTheSession() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.arrive(recs({Rec(51), Rec(52), Rec(53, 1)}));
    focusRow(form, 2, 3);
    // The focused request ended; the session has two others now: the first of them.
    f.arrive(recs({Rec(51), Rec(52), Rec(49), Rec(53, 5), Rec(53, 6)}));
    QCOMPARE(form.MonitorVT->currentIndex().row(), 3);
    QCOMPARE(form.MonitorVT->currentIndex().column(), 3);
    QVERIFY(form.MonitorVT->selectionModel()->isRowSelected(3));
    // The exact session and request wins over the first row of the session.
    focusRow(form, 4);
    f.arrive(recs({Rec(53, 5), Rec(53, 6), Rec(51)}));
    QCOMPARE(form.MonitorVT->currentIndex().row(), 1);
}

void TestGrid::focusStaysOnThePositionWhenTheSessionEnded() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.arrive(recs({Rec(51), Rec(52), Rec(53)}));
    focusRow(form, 1);
    f.arrive(recs({Rec(51), Rec(54), Rec(55)}));
    QCOMPARE(form.MonitorVT->currentIndex().row(), 1);
    QCOMPARE(form.FocusedRec()->SPID, 54);
    focusRow(form, 2);
    f.arrive(recs({Rec(60)})); // the focused position is gone
    QCOMPARE(form.FocusedRec(), nullptr);
}

void TestGrid::noFocusBeforeMeansNoneAfter() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.arrive(recs({Rec(51), Rec(52)}));
    form.MonitorVT->setCurrentIndex(QModelIndex());
    f.arrive(recs({Rec(51), Rec(52)}));
    QVERIFY(!form.MonitorVT->currentIndex().isValid());
    QVERIFY(!form.actView->isEnabled());
}

void TestGrid::endedSessionsLoseTheirMarks() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.arrive(recs({Rec(51), Rec(57), Rec(58)}));
    focusRow(form, 1);
    form.actSelRec->trigger();
    focusRow(form, 2);
    form.actSelRec->trigger();
    QCOMPARE(form.SelList, (QList<int>{57, 58}));
    QCOMPARE(form.MonitorStatusBar->panelText(3), QStringLiteral("2"));
    f.arrive(recs({Rec(51), Rec(58)}));
    QCOMPARE(form.SelList, QList<int>{58});
    QCOMPARE(form.MonitorStatusBar->panelText(3), QStringLiteral("1"));
    // A new session that gets id 57 later is not marked.
    f.arrive(recs({Rec(57)}));
    QVERIFY(form.SelList.isEmpty());
    QCOMPARE(form.MonitorStatusBar->panelText(3), QString());
    QVERIFY(!form.actKillSelected->isEnabled());
    // Without marks, an arrival leaves panel 3 alone.
    form.MonitorStatusBar->setPanelText(3, QStringLiteral("x"));
    f.arrive(recs({Rec(51)}));
    QCOMPARE(form.MonitorStatusBar->panelText(3), QStringLiteral("x"));
}

void TestGrid::countsInTheStatusBar() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.arrive(recs({Rec(51, 0, "suspended", 52), Rec(52, 0, "sleeping", 0, true), Rec(53)}));
    QCOMPARE(form.MonitorStatusBar->panelText(1), QStringLiteral("3"));
    QCOMPARE(form.MonitorStatusBar->panelText(2), QStringLiteral("1"));
    f.arrive({});
    QCOMPARE(form.MonitorStatusBar->panelText(1), QStringLiteral("0"));
    QCOMPARE(form.MonitorStatusBar->panelText(2), QString());
    QCOMPARE(form.MonitorModel->rowCount(), 0);
}

void TestGrid::errorNoticeForAnotherServerChangesNothing() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    TServer* s = f.addConnectedServer();
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0);
    TServer other;
    form.OnDataError(QStringLiteral("boom"), &other.Connection);
    QCOMPARE(s->State, stConnected);
    QVERIFY(!form.mmError->isVisible());
    QVERIFY(form.MonitorToolBar->isEnabled());
}

void TestGrid::keysMatchTheirModifiersExactly_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("action"); // the one that runs, empty for none
    const int none = Qt::NoModifier, ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier,
              alt = Qt::AltModifier;
    QTest::newRow("Del") << int(Qt::Key_Delete) << none << "actKillProcess";
    QTest::newRow("Ctrl+Del") << int(Qt::Key_Delete) << ctrl << "actKillSelected";
    QTest::newRow("Alt+Del") << int(Qt::Key_Delete) << alt << "";
    QTest::newRow("Shift+Del") << int(Qt::Key_Delete) << shift << "";
    QTest::newRow("Ctrl+Shift+Del") << int(Qt::Key_Delete) << (ctrl | shift) << "";
    QTest::newRow("Enter") << int(Qt::Key_Return) << none << "actView";
    QTest::newRow("Ctrl+Enter") << int(Qt::Key_Return) << ctrl << "actViewBlock";
    QTest::newRow("Shift+Enter") << int(Qt::Key_Return) << shift << "";
    QTest::newRow("Space") << int(Qt::Key_Space) << none << "actSelRec";
    QTest::newRow("Shift+Space") << int(Qt::Key_Space) << shift << "actUnselectAll";
    QTest::newRow("Ctrl+Space") << int(Qt::Key_Space) << ctrl << "";
}

void TestGrid::keysMatchTheirModifiersExactly() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, action);
    TMainFormFixture f;
    TMainForm& form = f.form();
    // A blocked, marked session, so every command is enabled.
    f.arrive(recs({Rec(51, 0, "suspended", 52), Rec(52, 0, "sleeping", 0, true)}));
    focusRow(form, 0);
    form.actSelRec->trigger();
    focusRow(form, 0);
    TTriggers triggers;
    for (QAction* a : {form.actKillProcess, form.actKillSelected, form.actView, form.actViewBlock,
                       form.actSelRec, form.actUnselectAll})
        triggers.watch(a);
    QTest::keyClick(form.MonitorVT, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    if (action.isEmpty())
        QVERIFY2(triggers.counts.isEmpty(), qPrintable(triggers.counts.keys().join(',')));
    else
        QCOMPARE(triggers.counts, (QMap<QString, int>{{action, 1}}));
}

void TestGrid::spaceMarksAndMovesDown() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.arrive(recs({Rec(51), Rec(52), Rec(53)}));
    focusRow(form, 1);
    QTest::keyClick(form.MonitorVT, Qt::Key_Space);
    QCOMPARE(form.SelList, QList<int>{52});
    QCOMPARE(form.MonitorVT->currentIndex().row(), 2);
    QTest::keyClick(form.MonitorVT, Qt::Key_Space); // the last row: marked, focus stays
    QCOMPARE(form.SelList, (QList<int>{52, 53}));
    QCOMPARE(form.MonitorVT->currentIndex().row(), 2);
    QCOMPARE(form.MonitorStatusBar->panelText(3), QStringLiteral("2"));
    QTest::keyClick(form.MonitorVT, Qt::Key_Space); // unmarks
    QCOMPARE(form.SelList, QList<int>{52});
    QCOMPARE(form.MonitorStatusBar->panelText(3), QStringLiteral("1"));
    QTest::keyClick(form.MonitorVT, Qt::Key_Space, Qt::ShiftModifier);
    QVERIFY(form.SelList.isEmpty());
    QCOMPARE(form.MonitorStatusBar->panelText(3), QString());
}

void TestGrid::homeAndEndStayInTheRow() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.arrive(recs({Rec(51), Rec(52)}));
    QHeaderView* header = form.MonitorVT->horizontalHeader();
    header->moveSection(header->visualIndex(1), 0); // Login first
    focusRow(form, 1, 5);
    QTest::keyClick(form.MonitorVT, Qt::Key_Home);
    QCOMPARE(form.MonitorVT->currentIndex(), form.MonitorModel->index(1, 1));
    QTest::keyClick(form.MonitorVT, Qt::Key_End);
    // The last shown column: Logical Reads/s, the last rate after Blocking.
    QCOMPARE(form.MonitorVT->currentIndex(), form.MonitorModel->index(1, FirstRateColumn + 3));
}

void TestGrid::ctrlCCopiesTheFocusedCell() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    TMonitorRec r = Rec(51);
    r.IO = 1234567890LL;
    r.Login = QStringLiteral("O'Brien");
    f.arrive(recs({r}));
    focusRow(form, 0, 9);
    QApplication::clipboard()->setText(QStringLiteral("before"));
    QTest::keyClick(form.MonitorVT, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
    QTest::keyClick(form.MonitorVT, Qt::Key_C, Qt::ControlModifier);
    const QString sep = QLocale::system().groupSeparator();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("1") + sep + QStringLiteral("234") +
                                                    sep + QStringLiteral("567") + sep +
                                                    QStringLiteral("890"));
    focusRow(form, 0, 1);
    QTest::keyClick(form.MonitorVT, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("O'Brien"));
}

// Ctrl+B is the blocking-only switch: the server then sends only the sessions of chains.
void TestGrid::ctrlBTogglesBlockingOnly() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    testserver::Instance& instance = f.server().instance();
    instance.addSession({.sessionId = 70, .loginName = "head"});
    instance.addSession({.sessionId = 71, .loginName = "waiter", .status = "running"});
    instance.addRequest({.sessionId = 71, .status = "suspended", .blockingSessionId = 70});
    instance.addSession({.sessionId = 72, .loginName = "bystander"});
    f.addConnectedServer();
    QTRY_VERIFY(form.MonitorModel->rowCount() >= 3);
    const int all = form.MonitorModel->rowCount();
    QVERIFY(!form.tbShowBlocked->isChecked());
    form.MonitorVT->setFocus();
    QTest::keyClick(form.MonitorVT, Qt::Key_B, Qt::ControlModifier);
    QVERIFY(form.tbShowBlocked->isChecked());
    QTRY_COMPARE(form.MonitorModel->rowCount(), 2);
    QList<int> spids;
    for (int row = 0; row < 2; ++row)
        spids << form.MonitorModel->record(row)->SPID;
    std::sort(spids.begin(), spids.end());
    QCOMPARE(spids, (QList<int>{70, 71}));
    QTest::keyClick(form.MonitorVT, Qt::Key_B, Qt::ControlModifier);
    QVERIFY(!form.tbShowBlocked->isChecked());
    QTRY_COMPARE(form.MonitorModel->rowCount(), all);
}

void TestGrid::viewBlockNeedsABlockedRow() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.arrive(recs({Rec(51), Rec(52, 0, "suspended", 51)}));
    focusRow(form, 0);
    QVERIFY(form.actView->isEnabled());
    QVERIFY(!form.actViewBlock->isEnabled());
    focusRow(form, 1);
    QVERIFY(form.actViewBlock->isEnabled());
}

void TestGrid::headerClicksSortAscendingThenDescending() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    QHeaderView* header = form.MonitorVT->horizontalHeader();
    auto click = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    };
    click(8);
    QCOMPARE(form.MonitorVT->sortColumn(), 8);
    QVERIFY(!form.MonitorVT->sortDescending());
    QCOMPARE(header->sortIndicatorSection(), 8); // the header shows the same order
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    click(8);
    QCOMPARE(form.MonitorVT->sortColumn(), 8);
    QVERIFY(form.MonitorVT->sortDescending());
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    click(1);
    QCOMPARE(form.MonitorVT->sortColumn(), 1);
    QVERIFY(!form.MonitorVT->sortDescending());
}

// The query may select a hidden column for the rates, the blocking tree or the kill's check;
// the order still follows what is shown.
void TestGrid::hidingTheSortColumnFallsBackToSPID_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("treeOpen");
    QTest::addColumn<bool>("descending");
    QTest::newRow("Memory") << 10 << false << false;
    QTest::newRow("Host, descending") << 11 << false << true;
    QTest::newRow("Host, queried for the open tree") << 11 << true << false;
    QTest::newRow("CPU, queried for the CPU/s shown") << 8 << false << true;
    QTest::newRow("Login, queried for the kill's check") << 1 << false << false;
    QTest::newRow("a rate column") << FirstRateColumn + 1 << false << true;
}

void TestGrid::hidingTheSortColumnFallsBackToSPID() {
    QFETCH(int, column);
    QFETCH(bool, treeOpen);
    QFETCH(bool, descending);
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.addConnectedServer();
    QTRY_VERIFY(form.MonitorModel->rowCount() > 2);
    form.MonitorVT->setFocus();
    if (treeOpen)
        QTest::keyClick(&form, Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(form.BlockingPane->isVisible(), treeOpen);
    QHeaderView* header = form.MonitorVT->horizontalHeader();
    const auto click = [&] {
        form.MonitorVT->scrollTo(form.MonitorModel->index(0, column));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    };
    click();
    if (descending != IsRateColumn(column)) // a rate starts with the busiest
        click();
    QCOMPARE(form.MonitorVT->sortColumn(), column);
    QCOMPARE(form.MonitorVT->sortDescending(), descending);

    // Hidden with the column chooser, as the user does it.
    form.SelColForm->FormShow(false, column);
    form.SelColForm->ColList->item(column)->setCheckState(Qt::Unchecked);
    form.SelColForm->tbOKClick();
    QVERIFY(header->isSectionHidden(column));
    QCOMPARE(form.MonitorVT->sortColumn(), 0);
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(form.MonitorVT->sortDescending(), descending); // the direction stays
    // The rows come in the server's order by SPID.
    const quint64 shown = form.SnapshotsShown();
    QTRY_VERIFY(form.SnapshotsShown() > shown); // of the new query: older ones are dropped
    int previous = descending ? INT_MAX : INT_MIN;
    for (int row = 0; row < form.MonitorModel->rowCount(); ++row) {
        const int spid = form.MonitorModel->record(row)->SPID;
        QVERIFY2(descending ? spid <= previous : spid >= previous,
                 qPrintable(QString::number(row)));
        previous = spid;
    }
}

void TestGrid::statusFilterTexts() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    QCOMPARE(form.edStFlt->text(), QStringLiteral("<all statuses>"));
    QListWidget* list = form.StatusPanel->cbStatus;
    list->item(6)->setCheckState(Qt::Checked); // sleeping
    QCOMPARE(form.edStFlt->text(), QStringLiteral("sleeping"));
    QCOMPARE(form.StatusFilter, QStringLiteral("'sleeping'"));
    list->item(0)->setCheckState(Qt::Checked); // running
    QCOMPARE(form.edStFlt->text(), QStringLiteral("<2 statuses>"));
    QCOMPARE(form.StatusFilter, QStringLiteral("'running','sleeping'"));
    form.StatusPanel->findChild<QPushButton*>(QStringLiteral("btnAll"))->click();
    QCOMPARE(form.edStFlt->text(), QStringLiteral("<8 statuses>"));
    form.actClearFilter->trigger();
    QCOMPARE(form.edStFlt->text(), QStringLiteral("<all statuses>"));
    QCOMPARE(form.StatusFilter, QString());
    // Keys in the summary field: Esc and Ctrl+letter do nothing, a letter opens the panel.
    QTest::keyClick(form.edStFlt, Qt::Key_Escape);
    QTest::keyClick(form.edStFlt, Qt::Key_A, Qt::ControlModifier);
    QVERIFY(!form.StatusPanel->isVisible());
    QCOMPARE(form.edStFlt->text(), QStringLiteral("<all statuses>"));
    QTest::keyClick(form.edStFlt, Qt::Key_A);
    QVERIFY(form.StatusPanel->isVisible());
    QCOMPARE(form.StatusPanel->height(), form.StatusPanelHeight);
    QTest::keyClick(list, Qt::Key_Escape);
    QVERIFY(!form.StatusPanel->isVisible());
}

void TestGrid::loginFilterAppliesWhenLeft() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.server().instance().addSession({.loginName = "O'Brien"});
    f.addConnectedServer();
    QTRY_VERIFY(form.MonitorModel->rowCount() > 1);
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.edLogin->setFocus();
    QTRY_VERIFY(form.edLogin->hasFocus());
    QTest::keyClicks(form.edLogin, QStringLiteral("O'Brien"));
    QTest::qWait(300); // typing alone applies nothing
    QVERIFY(form.MonitorModel->rowCount() > 1);
    QTest::keyClick(form.edLogin, Qt::Key_Return);
    QTRY_VERIFY(form.MonitorVT->hasFocus());
    QTRY_COMPARE(form.MonitorModel->rowCount(), 1);
    QCOMPARE(form.MonitorModel->record(0)->Login, QStringLiteral("O'Brien"));
}

void TestGrid::rowColoursAndSelectionArePainted() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    form.resize(1200, 600);
    f.arrive(recs({Rec(51, 0, "suspended", 52), Rec(52, 0, "sleeping", 0, true), Rec(53),
                   Rec(54, 0, "running")}));
    focusRow(form, 2);
    QTRY_VERIFY(form.MonitorVT->isVisible());
    const QImage image = form.MonitorVT->viewport()->grab().toImage();
    auto pixelOfRow = [&](int row) {
        const QRect r = form.MonitorVT->visualRect(form.MonitorModel->index(row, 3));
        return image.pixelColor(r.right() - 3, r.center().y()).name();
    };
    QCOMPARE(pixelOfRow(0), QStringLiteral("#ffaaff")); // blocked
    QCOMPARE(pixelOfRow(1), QStringLiteral("#ff0000")); // blocking
    QCOMPARE(pixelOfRow(2), QStringLiteral("#808000")); // the selection bar
    QCOMPARE(pixelOfRow(3), QStringLiteral("#80ff80")); // running
    const QRect focused = form.MonitorVT->visualRect(form.MonitorModel->index(2, 0));
    QCOMPARE(image.pixelColor(focused.left() + 1, focused.center().y()).name(),
             QStringLiteral("#00ffff")); // the focused cell's frame
}

void TestGrid::headerDragRefusedWhileRecording() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    QTemporaryDir logs;
    SetLogFolder(logs.path());
    f.addConnectedServer();
    QVERIFY(form.MonitorVT->horizontalHeader()->sectionsMovable());
    form.tbRecord->click();
    QVERIFY(form.tbRecord->isChecked());
    QVERIFY(!form.MonitorVT->horizontalHeader()->sectionsMovable());
    form.tbRecord->click();
    QVERIFY(form.MonitorVT->horizontalHeader()->sectionsMovable());
    SetLogFolder(QString());
}

void TestGrid::emptyDatabaseFilterEndToEnd() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.server().instance().addSession({.loginName = "nodb", .databaseId = 0});
    f.addConnectedServer();
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0);
    form.cbDBList->setCurrentIndex(1);
    emit form.cbDBList->activated(1);
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0 && [&] {
        for (int row = 0; row < form.MonitorModel->rowCount(); ++row)
            if (!form.MonitorModel->record(row)->DB.isEmpty())
                return false;
        return true;
    }());
}

void TestGrid::databaseChoiceAcrossServers() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.server().instance().addDatabase({"Ledger", 0, {}});
    f.addConnectedServer(QStringLiteral("First"));
    f.addConnectedServer(QStringLiteral("Same instance")); // also has Ledger
    TTestServer other;                                     // without Ledger
    f.prompts().connectionAnswers << TScriptedPrompts::TConnectionAnswer{
        true, QStringLiteral("Other"), other.oledb()};
    form.ServerPanel->actAddConnection->trigger();
    form.ServerPanel->ServerVT->setCurrentIndex(form.ServerPanel->model()->index(0));
    const int ledger = form.cbDBList->findText(QStringLiteral("Ledger"));
    QVERIFY(ledger >= 2);
    form.cbDBList->setCurrentIndex(ledger);
    // Another connected server that has the database keeps the choice, at its position.
    form.ServerPanel->ServerVT->setCurrentIndex(form.ServerPanel->model()->index(1));
    QCOMPARE(form.cbDBList->currentText(), QStringLiteral("Ledger"));
    // A server without that database falls back to all databases.
    form.ServerPanel->ServerVT->setCurrentIndex(form.ServerPanel->model()->index(2));
    QCOMPARE(form.cbDBList->currentIndex(), 0);
    QCOMPARE(form.cbDBList->currentText(), QStringLiteral("<all databases>"));
    // A server that is not connected empties the list.
    form.ServerPanel->actDisconnect->trigger();
    QCOMPARE(form.cbDBList->count(), 0);
}

void TestGrid::sortReversesRowsEndToEnd() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.addConnectedServer();
    QTRY_VERIFY(form.MonitorModel->rowCount() > 2);
    auto spids = [&] {
        QList<int> list;
        for (int row = 0; row < form.MonitorModel->rowCount(); ++row)
            list << form.MonitorModel->record(row)->SPID;
        return list;
    };
    QHeaderView* header = form.MonitorVT->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 5, 5)); // SPID, descending
    QTRY_VERIFY(spids().size() > 2 && spids().first() > spids().last());
    QList<int> descending = spids();
    QVERIFY(std::is_sorted(descending.rbegin(), descending.rend()));
}

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
