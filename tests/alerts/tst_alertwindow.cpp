// Alerts in the window against the test server with a scripted chain, driven by input:
// with a real notification service (dunst on a private D-Bus session, what it was sent read
// from dbus-monitor) the notification comes within the estate's period of the wait passing
// the threshold, once for the episode, and its action (chosen through dunst) selects the
// server and focuses the head blocker; an excluded program raises nothing; the pane lists
// start and end and the server list marks the entry while it lasts. Without a service the
// pane and the mark work and Dervel says once that notifications are unavailable.

#include "alerts/alertrulesstore.h"
#include "alerts/desktopnotifier.h"
#include "alerts/widgets/alertcommands.h"
#include "alerts/widgets/alertlistmodel.h"
#include "alerts/widgets/alertpane.h"
#include "app/mainform.h"
#include "grid/widgets/monitormodel.h"
#include "mainformfixture.h"
#include "registry/registry.h"
#include "resources/imagelists.h"
#include "scripting.h"
#include "serverlist.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverlistview.h"
#include "servers/widgets/serverpanel.h"
#include "userinput.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

namespace {

void writeSettings(const QList<std::pair<QString, QString>>& servers) {
    TRegistry reg;
    for (int n = 0; n < servers.size(); ++n) {
        QVERIFY(reg.OpenKey(
            u"Software\\Dervel\\Servers\\{00000000-0000-0000-0000-00000000000%1}"_s.arg(n + 1),
            true));
        reg.WriteString(u"Name"_s, servers[n].first);
        reg.WriteString(u"ConnectionString"_s, servers[n].second);
        reg.WriteInteger(u"Order"_s, n);
    }
    QVERIFY(reg.OpenKey(u"Software\\Dervel"_s, true));
    reg.WriteInteger(u"EstatePeriod"_s, 1000);
    TAlertRules rules = TAlertRules::Defaults();
    rules.rule(TAlertKind::Blocking).ExcludePrograms = {u"Nightly*"_s};
    WriteAlertRules(reg, rules);
    reg.CloseKey();
}

// The summaries and bodies of the Notify calls dbus-monitor saw, in order.
QList<std::pair<QString, QString>> notifications() {
    QFile f(qEnvironmentVariable("DERVEL_NOTIFY_LOG"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString log = QString::fromUtf8(f.readAll());
    QList<std::pair<QString, QString>> calls;
    static const QRegularExpression text(u"string \"((?:[^\"\\\\]|\\\\.)*)\""_s,
                                         QRegularExpression::DotMatchesEverythingOption);
    const QStringList parts = log.split(u"member=Notify"_s);
    for (int i = 1; i < parts.size(); ++i) {
        QStringList strings;
        for (auto it = text.globalMatch(parts[i]); it.hasNext() && strings.size() < 4;)
            strings << it.next().captured(1);
        if (strings.size() == 4)
            calls.append({strings[2], strings[3]});
    }
    return calls;
}

// A scripted chain: the head asleep in its transaction, one session waiting behind it.
struct TChain {
    int Head = 0;
    int Waiter = 0;
};
TChain addChain(testserver::Instance& instance, const char* program, int waitMs) {
    testserver::ScriptedSession head;
    head.loginName = "report_user";
    head.hostName = "WS-07";
    head.programName = program;
    head.openTransactionCount = 1;
    TChain c;
    c.Head = instance.addSession(head);
    c.Waiter = instance.addSession({});
    instance.addRequest({.sessionId = c.Waiter,
                         .status = "suspended",
                         .waitType = "LCK_M_X",
                         .waitTime = waitMs,
                         .blockingSessionId = c.Head});
    return c;
}

// Connects the entries by double clicks, "Grid" last so that the grid shows it.
void connectAll(TMainForm& form, TUserInput& user, const QStringList& names) {
    for (const QString& name : names) {
        user.doubleClick(form.ServerPanel->ServerVT->viewport(), listRowCentre(form, name));
        QTRY_COMPARE(entry(form, name)->State, stConnected);
    }
}

} // namespace

class TestAlertWindow : public QObject {
    Q_OBJECT
private slots:
    void withDunst();
    void withoutNotificationService();
};

void TestAlertWindow::withDunst() {
    if (qEnvironmentVariableIsEmpty("DERVEL_NOTIFY_LOG"))
        QSKIP("run by with-dunst.sh, which starts the notification service");
    TMainFormFixture f(false);
    TTestServer chainServer;
    const TChain chain = addChain(chainServer.instance(), "Month-end report", 20000);
    addChain(chainServer.instance(), "Nightly backup", 50000);
    writeSettings({{u"Grid"_s, f.server().oledb()}, {u"Chain"_s, chainServer.oledb()}});
    f.start();
    TMainForm& form = f.form();
    TUserInput user(form);
    QVERIFY(user.bringUp());
    QAbstractItemModelTester tester(form.Alerts->Model());
    connectAll(form, user, {u"Chain"_s, u"Grid"_s});
    TServer* watched = entry(form, u"Chain"_s);
    QTRY_COMPARE(watched->Summary.Chains.size(), 2);
    QVERIFY(notifications().isEmpty());
    QVERIFY(!form.Alerts->Notifier()->isUnavailable());

    // The wait passes 30 s: told within the estate's period (a second), once.
    chainServer.instance().updateRequest(chain.Waiter, 0, {{"wait_time", "40000"}});
    QTRY_COMPARE_WITH_TIMEOUT(notifications().size(), 1, 2500);
    const auto [summary, body] = notifications().first();
    QCOMPARE(summary, u"Chain: блокировка дольше 30 с"_s);
    for (const QString& part : {u"report_user"_s, u"WS-07"_s, u"Month-end report"_s, u"40 с"_s,
                                u"SPID %1"_s.arg(chain.Head)})
        QVERIFY2(body.contains(part), qPrintable(body));
    QCOMPARE(form.Alerts->Model()->rowCount(), 1);
    QCOMPARE(watched->OpenAlerts, 1);
    // Three more summaries: no repeat, and the excluded program's chain raised nothing.
    const qint64 seen = watched->Summary.TakenAtMs;
    QTRY_VERIFY_WITH_TIMEOUT(watched->Summary.TakenAtMs >= seen + 2500, 6000);
    QCOMPARE(notifications().size(), 1);
    QCOMPARE(form.Alerts->Model()->rowCount(), 1);

    // Its action, chosen in dunst: the server selected, the head blocker focused.
    QCOMPARE(QProcess::execute(u"dunstctl"_s, {u"action"_s, u"0"_s}), 0);
    QTRY_COMPARE(form.ServerPanel->SelectedServer(), watched);
    QTRY_VERIFY(form.FocusedRec() && form.FocusedRec()->SPID == chain.Head);

    // The pane from its key; the episode ends when the chain does.
    user.key(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_VERIFY(form.Alerts->Pane()->isVisible());
    chainServer.instance().removeRequest(chain.Waiter, 0);
    form.actRefresh->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(watched->OpenAlerts, 0, 5000);
    TAlertListModel* model = form.Alerts->Model();
    QCOMPARE(model->rowCount(), 1);
    QVERIFY(!model->alert(0)->open());
    QVERIFY(model->index(0, TAlertListModel::End).data().toString() != u"идёт"_s);
    QVERIFY(!model->index(0, TAlertListModel::Duration).data().toString().isEmpty());
    QCOMPARE(notifications().size(), 1); // an end is not notified
}

void TestAlertWindow::withoutNotificationService() {
    if (!qEnvironmentVariableIsEmpty("DERVEL_NOTIFY_LOG"))
        QSKIP("run without a notification service");
    TMainFormFixture f(false);
    TTestServer chainServer;
    const TChain chain = addChain(chainServer.instance(), "Month-end report", 40000);
    writeSettings({{u"Grid"_s, f.server().oledb()}, {u"Chain"_s, chainServer.oledb()}});
    f.start();
    TMainForm& form = f.form();
    TUserInput user(form);
    QVERIFY(user.bringUp());
    connectAll(form, user, {u"Chain"_s, u"Grid"_s});
    TServer* watched = entry(form, u"Chain"_s);
    QTRY_COMPARE(watched->OpenAlerts, 1);
    QCOMPARE(form.Alerts->Model()->rowCount(), 1);
    QVERIFY(form.Alerts->Notifier()->isUnavailable());
    // Said once: the pane opened by itself, its first line saying why.
    QTRY_VERIFY(form.Alerts->Pane()->isVisible());
    QVERIFY(form.Alerts->Pane()->notice()->isVisible());
    QVERIFY(form.Alerts->Pane()->notice()->text().contains(u"недоступны"_s));
    for (const TMessage& m : f.prompts().messages) // no message box stands in the way
        QVERIFY2(!m.text.contains(u"Уведомления"_s), qPrintable(m.text));
    user.key(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_VERIFY(!form.Alerts->Pane()->isVisible());
    // The list's mark: the entry's picture is not the plain one while the alert lasts.
    const QModelIndex row =
        form.ServerPanel->model()->index(form.ServerPanel->model()->rowOf(watched));
    const QImage marked = row.data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    QVERIFY(marked != MainImageList(int(stConnected)).pixmap(16).toImage());

    // A second episode: said no more.
    addChain(chainServer.instance(), "Another report", 45000);
    QTRY_COMPARE(watched->OpenAlerts, 2);
    QCOMPARE(form.Alerts->Model()->rowCount(), 2);
    QVERIFY(!form.Alerts->Pane()->isVisible());

    // Its row in the pane goes to it: the server selected, the head focused.
    user.key(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    QTreeView* view = form.Alerts->Pane()->view();
    QTRY_VERIFY(view->isVisible());
    user.doubleClick(view->viewport(),
                     view->visualRect(form.Alerts->Model()->index(0, 0)).center());
    QTRY_COMPARE(form.ServerPanel->SelectedServer(), watched);
    QTRY_VERIFY(form.FocusedRec() && form.FocusedRec()->SPID == chain.Head);

    chainServer.instance().removeRequest(chain.Waiter, 0);
    form.actRefresh->trigger(); // the grid's server now: its summary is the grid's
    QTRY_COMPARE_WITH_TIMEOUT(watched->OpenAlerts, 1, 5000);
    QCOMPARE(row.data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage(), marked);
}

QTEST_MAIN(TestAlertWindow)
#include "tst_alertwindow.moc"
