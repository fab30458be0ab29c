// The estate in the window, driven by clicks and keys: servers connected one by one and
// watched beside the one in the grid, a blocking chain coloured, a server that stops
// turning to the error state without touching the grid, "Подключить все", the widened
// panel and the entries connected again at the next start.

#include "app/mainform.h"
#include "estate/estatesampler.h"
#include "estate/widgets/estatecommands.h"
#include "estate/widgets/estatemodel.h"
#include "estate/widgets/estateview.h"
#include "grid/widgets/monitormodel.h"
#include "mainformfixture.h"
#include "registry/registry.h"
#include "scripting.h"
#include "serverlist.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverlistview.h"
#include "servers/widgets/serverpanel.h"
#include "servers/widgets/splitstrip.h"
#include "userinput.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QHeaderView>
#include <QMenu>
#include <QTest>

namespace {

void writeServer(int n, const QString& name, const QString& connectionString) {
    TRegistry reg;
    QVERIFY(reg.OpenKey(
        QStringLiteral("Software\\Dervel\\Servers\\{00000000-0000-0000-0000-00000000000%1}").arg(n),
        true));
    reg.WriteString(QStringLiteral("Name"), name);
    reg.WriteString(QStringLiteral("ConnectionString"), connectionString);
    reg.WriteInteger(QStringLiteral("Order"), n);
    reg.CloseKey();
}

void writeEstatePeriod(int ms) {
    TRegistry reg;
    QVERIFY(reg.OpenKey(QStringLiteral("Software\\Dervel"), true));
    reg.WriteInteger(QStringLiteral("EstatePeriod"), ms);
    reg.CloseKey();
}

QRect estateRow(TMainForm& form, const QString& name, int column = 0) {
    TEstateView* view = form.Estate->View();
    const int row = view->viewRow(form.ServerPanel->model()->rowOf(entry(form, name)));
    return view->visualRect(view->model()->index(row, column));
}

QString cell(TMainForm& form, const QString& name, int column) {
    TEstateView* view = form.Estate->View();
    const int row = view->viewRow(form.ServerPanel->model()->rowOf(entry(form, name)));
    return view->model()->index(row, column).data().toString();
}

QColor background(TMainForm& form, const QString& name) {
    TEstateView* view = form.Estate->View();
    const int row = view->viewRow(form.ServerPanel->model()->rowOf(entry(form, name)));
    return view->model()->index(row, 0).data(Qt::BackgroundRole).value<QBrush>().color();
}

// The strip at the panel's right edge, pulled to the right with the mouse.
void widenPanel(TMainForm& form, int by) {
    QWindow* window = form.windowHandle();
    TSplitStrip* strip = form.findChild<TSplitStrip*>();
    const QPoint from = strip->mapTo(&form, strip->rect().center());
    QTest::mousePress(window, Qt::LeftButton, {}, from);
    for (int step = 1; step <= 4; ++step)
        QTest::mouseMove(window, from + QPoint(by * step / 4, 0));
    QTest::mouseRelease(window, Qt::LeftButton, {}, from + QPoint(by, 0));
}

} // namespace

class TestEstateWindow : public QObject {
    Q_OBJECT
private slots:
    void estateOfFourServers();
};

void TestEstateWindow::estateOfFourServers() {
    TMainFormFixture f(false);
    TTestServer chain, stopping, fourth;
    // A chain behind a sleeping head: one waiting 40 s, one behind it.
    auto& blocked = chain.instance();
    testserver::ScriptedSession head;
    head.openTransactionCount = 1;
    const int headId = blocked.addSession(head);
    const int second = blocked.addSession({});
    const int third = blocked.addSession({});
    blocked.addRequest({.sessionId = second,
                        .status = "suspended",
                        .waitType = "LCK_M_X",
                        .waitTime = 40000,
                        .blockingSessionId = headId});
    blocked.addRequest({.sessionId = third,
                        .status = "suspended",
                        .waitType = "LCK_M_S",
                        .waitTime = 3000,
                        .blockingSessionId = second});
    writeServer(1, QStringLiteral("Grid"), f.server().oledb());
    writeServer(2, QStringLiteral("Chain"), chain.oledb());
    writeServer(3, QStringLiteral("Stopping"), stopping.oledb());
    writeServer(4, QStringLiteral("Fourth"), fourth.oledb());
    writeEstatePeriod(1000);
    f.start();
    TMainForm& form = f.form();
    TUserInput user(form);
    QVERIFY(user.bringUp());
    QAbstractItemModelTester tester(form.Estate->Model());
    QCOMPARE(form.Estate->Sampler()->period(), 1000);

    // At its original width the panel is the list it always was.
    TServerListView* list = form.ServerPanel->ServerVT;
    QVERIFY(list->isVisible());
    QVERIFY(!form.Estate->View()->isVisible());

    // Connected one by one with double clicks; "Grid" last, so the grid shows it.
    for (const char* name : {"Chain", "Stopping", "Grid"}) {
        user.doubleClick(list->viewport(), listRowCentre(form, QString::fromLatin1(name)));
        QTRY_COMPARE(entry(form, QString::fromLatin1(name))->State, stConnected);
    }
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0);

    widenPanel(form, 300);
    QTRY_VERIFY(form.Estate->View()->isVisible());
    QVERIFY(!list->isVisible());
    QVERIFY(form.ServerPanel->width() > TServerPanel::kOriginalWidth);

    // Each server's figures; the chain's row in the blocking colour within two periods.
    QTRY_VERIFY_WITH_TIMEOUT(background(form, QStringLiteral("Chain")) == QColor(0xFF, 0xAA, 0xFF),
                             2500);
    QCOMPARE(cell(form, QStringLiteral("Chain"), TEstateModel::Blocked), QStringLiteral("2"));
    QCOMPARE(cell(form, QStringLiteral("Chain"), TEstateModel::LongestWait),
             QStringLiteral("40.0"));
    // Each server's summary comes from its own pool thread: the chain's arriving first says
    // nothing of when the others' do.
    QTRY_VERIFY(cell(form, QStringLiteral("Stopping"), TEstateModel::Sessions).toInt() > 0);
    QTRY_VERIFY(cell(form, QStringLiteral("Grid"), TEstateModel::Sessions).toInt() > 0);
    QCOMPARE(cell(form, QStringLiteral("Fourth"), TEstateModel::Sessions), QStringLiteral("—"));
    QVERIFY(form.Estate->View()
                ->model()
                ->index(0, 0)
                .data(Qt::ToolTipRole)
                .toString()
                .contains(QStringLiteral("Сводка получена")));

    // A header click sorts the view, not the list.
    QHeaderView* header = form.Estate->View()->header();
    user.click(
        header->viewport(),
        QPoint(header->sectionViewportPosition(TEstateModel::Blocked) + 5, header->height() / 2));
    QTRY_COMPARE(header->sortIndicatorSection(), int(TEstateModel::Blocked));
    QCOMPARE(form.ServerPanel->model()->server(0)->Name, QStringLiteral("Grid"));

    // A server stops: its row turns to the error state; the grid goes on arriving.
    stopping.server().stop();
    QTRY_COMPARE_WITH_TIMEOUT(entry(form, QStringLiteral("Stopping"))->State, stError, 10000);
    QVERIFY(!entry(form, QStringLiteral("Stopping"))->Summary.Error.isEmpty());
    QCOMPARE(entry(form, QStringLiteral("Grid"))->State, stConnected);
    const int rows = form.MonitorModel->rowCount();
    f.server().instance().addSession({});
    form.actRefresh->trigger();
    QTRY_COMPARE(form.MonitorModel->rowCount(), rows + 1);

    // "Подключить все" from the context menu connects the fourth, off the window's thread.
    user.rightClick(form.Estate->View()->viewport(),
                    estateRow(form, QStringLiteral("Fourth")).center());
    QMenu* menu = form.ServerPanel->MenuServer;
    QTRY_VERIFY(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(form.Estate->actConnectAll).center());
    QTRY_COMPARE_WITH_TIMEOUT(entry(form, QStringLiteral("Fourth"))->State, stConnected, 10000);
    QTRY_VERIFY(cell(form, QStringLiteral("Fourth"), TEstateModel::Sessions).toInt() > 0);

    // "Подключать при запуске" for the chain: it is connected again at the next start,
    // the fourth (not ticked) is not.
    user.click(form.Estate->View()->viewport(), estateRow(form, QStringLiteral("Chain")).center());
    QTRY_COMPARE(form.ServerPanel->SelectedServer(), entry(form, QStringLiteral("Chain")));
    // Watched by the grid now, its figures come from the grid's rows, waits included
    // though the grid does not show the wait column.
    chain.instance().updateRequest(second, 0, {{"wait_time", "50000"}});
    form.actRefresh->trigger();
    QTRY_COMPARE(cell(form, QStringLiteral("Chain"), TEstateModel::LongestWait),
                 QStringLiteral("50.0"));
    QCOMPARE(cell(form, QStringLiteral("Chain"), TEstateModel::Blocked), QStringLiteral("2"));
    user.rightClick(form.Estate->View()->viewport(),
                    estateRow(form, QStringLiteral("Chain")).center());
    QTRY_VERIFY(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(form.Estate->actConnectAtStart).center());
    QTRY_VERIFY(entry(form, QStringLiteral("Chain"))->ConnectAtStart);

    f.restart();
    TMainForm& again = f.form();
    QTRY_COMPARE_WITH_TIMEOUT(entry(again, QStringLiteral("Chain"))->State, stConnected, 10000);
    QCOMPARE(entry(again, QStringLiteral("Fourth"))->State, stDisconnected);
    QVERIFY(again.Estate->View()->isVisible()); // the panel's width was kept
    QCOMPARE(again.Estate->Sampler()->period(), 1000);
}

QTEST_MAIN(TestEstateWindow)
#include "tst_estatewindow.moc"
