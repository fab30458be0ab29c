// Logins with limited rights, as many DBAs' everyday logins are: without VIEW SERVER STATE
// the session views show only the login's own sessions (and the connections view is
// refused), which the window says in a line above the grid; without ALTER ANY CONNECTION a
// kill is refused with the server's own text.

#include "actions/widgets/modalrun.h"
#include "actions/widgets/namevaluegrid.h"
#include "actions/widgets/viewform.h"
#include "app/mainform.h"
#include "grid/widgets/errorpanel.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorview.h"
#include "grid/widgets/rightsnotice.h"
#include "instance.h"
#include "mainformfixture.h"
#include "servers/server.h"
#include "servers/widgets/serverpanel.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// The test server with some sessions of others and two extra logins.
struct TLimitedFixture {
    TLimitedFixture() {
        testserver::Instance& instance = f.server().instance();
        for (int i = 0; i < 5; ++i)
            instance.addSession({.loginName = "someone" + std::to_string(i)});
        instance.addLogin("watcher", "watch-pw", {false, false});
        instance.addLogin("looker", "look-pw", {true, false});
    }
    TServer* connectAs(const QString& login, const QString& password) {
        f.prompts().connectionAnswers
            << TScriptedPrompts::TConnectionAnswer{true, login, f.server().oledb(login, password)};
        f.form().ServerPanel->actAddConnection->trigger();
        return f.form().SelectedServer();
    }
    TMainFormFixture f;
};

} // namespace

class TestLimitedRights : public QObject {
    Q_OBJECT
private slots:
    void withoutViewServerStateOnlyOwnSessions();
    void fullRightsShowNoNotice();
    void killRefusedWithTheServersText();
    void azureDatabaseShowsItsOwnDatabase();
};

void TestLimitedRights::withoutViewServerStateOnlyOwnSessions() {
    TLimitedFixture x;
    TMainForm& form = x.f.form();
    TServer* server = x.connectAs(u"watcher"_s, u"watch-pw"_s);
    QCOMPARE(server->State, stConnected);
    QVERIFY(!server->ViewServerState);
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0);
    QVERIFY(!form.mmError->isVisible());
    for (int row = 0; row < form.MonitorModel->rowCount(); ++row)
        QCOMPARE(form.MonitorModel->record(row)->Login, u"watcher"_s);
    QVERIFY(form.RightsNotice->isVisible());
    QVERIFY2(form.RightsNotice->text().contains(u"VIEW SERVER STATE"_s) &&
                 form.RightsNotice->text().contains(u"watcher"_s),
             qPrintable(form.RightsNotice->text()));
    QVERIFY(x.f.prompts().messages.isEmpty());

    // Its own session's details load without the connections view.
    QList<QPointer<QDialog>> opened;
    SetModalRunner([&opened](QDialog* d) {
        opened.append(d);
        d->show();
    });
    form.MonitorVT->setCurrentIndex(form.MonitorModel->index(0, 0));
    form.actView->trigger();
    SetModalRunner({});
    QCOMPARE(opened.size(), 1);
    auto* view = qobject_cast<TViewForm*>(opened.first().data());
    QVERIFY(view);
    QVERIFY(view->SessionList->rowCount() > 0);
    QCOMPARE(view->ConnectionList->rowCount(), 0);
    QVERIFY2(!view->lbSource->text().contains(u"Error"_s), qPrintable(view->lbSource->text()));
    delete view;

    // Another server, or none, takes the line away.
    x.f.form().ServerPanel->actDisconnect->trigger();
    QVERIFY(!form.RightsNotice->isVisible());
}

void TestLimitedRights::fullRightsShowNoNotice() {
    TLimitedFixture x;
    TServer* server = x.connectAs(u"sa"_s, u"Dervel-2026"_s);
    QVERIFY(server->ViewServerState);
    QTRY_VERIFY(x.f.form().MonitorModel->rowCount() > 5);
    QVERIFY(!x.f.form().RightsNotice->isVisible());
}

void TestLimitedRights::killRefusedWithTheServersText() {
    TLimitedFixture x;
    TMainForm& form = x.f.form();
    x.connectAs(u"looker"_s, u"look-pw"_s);
    QTRY_VERIFY(form.MonitorModel->rowCount() > 5);
    int row = 0;
    while (form.MonitorModel->record(row)->Login != u"someone0"_s)
        ++row;
    form.MonitorVT->setCurrentIndex(form.MonitorModel->index(row, 0));
    x.f.prompts().messageAnswers << TMsgResult::Yes;
    form.actKillProcess->trigger();
    QCOMPARE(x.f.prompts().messages.size(), 2); // the question, then the refusal
    const TMessage& refusal = x.f.prompts().messages[1];
    QCOMPARE(refusal.caption, u"Ошибка"_s);
    QVERIFY2(refusal.text.contains(u"User does not have permission to use the KILL statement."_s),
             qPrintable(refusal.text));
    QVERIFY(x.f.server().instance().hasSession(form.MonitorModel->record(row)->SPID));
}

// What Dervel's statements meet on an Azure SQL Database: the database list holds master
// and the connected database, the grid that database's sessions only.
void TestLimitedRights::azureDatabaseShowsItsOwnDatabase() {
    TLimitedFixture x;
    testserver::Instance& instance = x.f.server().instance();
    instance.setAzureDatabase(true);
    const int sales = *instance.databaseId("Sales");
    instance.addSession({.loginName = "seller", .databaseId = sales});
    TMainForm& form = x.f.form();
    x.f.prompts().connectionAnswers << TScriptedPrompts::TConnectionAnswer{
        true, u"Azure"_s, x.f.server().oledb() + u";Initial Catalog=Sales"_s};
    form.ServerPanel->actAddConnection->trigger();
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0);
    QStringList databases;
    for (int i = 0; i < form.cbDBList->count(); ++i)
        databases << form.cbDBList->itemText(i);
    QCOMPARE(databases, (QStringList{u"<all databases>"_s, u"<empty>"_s, u"master"_s, u"Sales"_s}));
    QStringList logins;
    for (int row = 0; row < form.MonitorModel->rowCount(); ++row) {
        QCOMPARE(form.MonitorModel->record(row)->DB, u"Sales"_s);
        logins << form.MonitorModel->record(row)->Login;
    }
    QVERIFY(logins.contains(u"seller"_s));
    QVERIFY(!logins.contains(u"someone0"_s)); // in master
    QVERIFY(form.SelectedServer()->Version.startsWith(u"Microsoft SQL Azure"_s));
}

QTEST_MAIN(TestLimitedRights)
#include "tst_limitedrights.moc"
