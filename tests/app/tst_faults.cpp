// Failures of the server, the network and the settings, end to end: each ends in the
// message the user is promised, nothing crashes, no setting is lost, and a recorder
// waiting on a server that stopped answering never holds the window up.

#include "app/mainform.h"
#include "grid/widgets/errorpanel.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorstatusbar.h"
#include "mainformfixture.h"
#include "recorder/backgroundrecorder.h"
#include "recorder/recordingreader.h"
#include "recording/logfile.h"
#include "registry/registry.h"
#include "scripting.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverlistview.h"
#include "servers/widgets/serverpanel.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void serverStoppedDuringSampling();
    void serverStopsAnswering();
    void aWaitingRecorderNeverHoldsTheWindowUp_data();
    void aWaitingRecorderNeverHoldsTheWindowUp();
    void closingWhileASampleWaitsForTheServer();
    void loginHangsUntilTheLoginTimeout();
    void databaseListChangesBetweenConnects();
    void settingsFileTruncated();
    void settingsFolderUnwritableAtExit();
};

void TestFaults::serverStoppedDuringSampling() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    form.cbPeriod->setCurrentIndex(0);
    TServer* s = f.addConnectedServer();
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0);
    f.server().server().stop();
    QTRY_COMPARE_WITH_TIMEOUT(s->State, stError, 10000);
    QVERIFY(form.mmError->isVisible());
    QVERIFY(form.mmError->toPlainText().contains(QStringLiteral("[FreeTDS]")));
    form.close(); // and the window closes at once
    QVERIFY(form.Dervel == nullptr);
}

void TestFaults::serverStopsAnswering() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    TServer* s = f.addConnectedServer();
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0);
    s->Connection.setQueryTimeout(1); // the 30 seconds of real use, shortened
    f.server().server().setResponseDelayMs(5000);
    form.actRefresh->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(s->State, stError, 15000);
    f.server().server().setResponseDelayMs(0);
    QVERIFY2(form.mmError->toPlainText().contains(QStringLiteral("Timeout expired")),
             qPrintable(form.mmError->toPlainText()));
    QCOMPARE(form.MonitorStatusBar->panelText(0), QString());
}

void TestFaults::aWaitingRecorderNeverHoldsTheWindowUp_data() {
    QTest::addColumn<QString>("action");
    QTest::newRow("a click on another server") << QStringLiteral("click");
    QTest::newRow("a disconnect") << QStringLiteral("disconnect");
    QTest::newRow("closing the window") << QStringLiteral("close");
}

void TestFaults::aWaitingRecorderNeverHoldsTheWindowUp() {
    QFETCH(QString, action);
    QTemporaryDir logs;
    SetLogFolder(logs.path());
    auto resetLogs = qScopeGuard([] { SetLogFolder(QString()); });
    TMainFormFixture f;
    TMainForm& form = f.form();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.cbPeriod->setCurrentIndex(2); // "1 с"
    TServer* s = f.addConnectedServer();
    form.ServerPanel->NewServer(QStringLiteral("Другой"), QStringLiteral("Data Source=x"), false);
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0);
    // The live grid rests, so that only the recorder waits on the server.
    form.actPause->trigger();
    form.actRecordReplay->trigger();
    QVERIFY(form.actRecordReplay->isChecked());
    const QString recording =
        logs.filePath(QDir(logs.path()).entryList({QStringLiteral("*.dervelrec")}).value(0));
    QTRY_VERIFY_WITH_TIMEOUT(TRecordingReader(recording).count() >= 1, 10000);
    // The server stops answering: the recorder's next sample waits for the 30 s timeout,
    // counted among the connection's data sets beside the sampler's idle query.
    f.server().server().setResponseDelayMs(120000);
    QTRY_VERIFY_WITH_TIMEOUT(s->Connection.dataSetCount() >= 2, 10000);

    // The window answers again soon after: a timer of its ticks twice after the action
    // has returned. A window held up past the wait below fails it (qWaitFor's wait is
    // timed; QTRY's counts its steps, however long each took).
    int ticks = 0;
    bool done = false;
    QTimer heartbeat;
    heartbeat.setInterval(50);
    connect(&heartbeat, &QTimer::timeout, [&ticks] { ++ticks; });
    heartbeat.start();
    QTimer::singleShot(0, [&] {
        if (action == QLatin1String("click")) {
            TServerListView* list = form.ServerPanel->ServerVT;
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualRect(form.ServerPanel->model()->index(1)).center());
        } else if (action == QLatin1String("disconnect")) {
            form.ServerPanel->actDisconnect->trigger();
        } else {
            f.finish(); // closed and destroyed as at the program's end
        }
        done = true;
        ticks = 0;
    });
    QVERIFY2(QTest::qWaitFor([&] { return done && ticks >= 2; }, 5000), "the window was held up");

    if (action == QLatin1String("click")) {
        QCOMPARE(form.SelectedServer()->Name, QStringLiteral("Другой"));
        QVERIFY(!form.actRecordReplay->isChecked());
    } else if (action == QLatin1String("disconnect")) {
        // As when the sampler does not let go: the connection stays, and the user knows.
        QCOMPARE(s->State, stConnected);
        QVERIFY(!form.actRecordReplay->isChecked());
        QCOMPARE(f.prompts().messages.size(), 1);
        QVERIFY(f.prompts().messages[0].text.startsWith(
            QStringLiteral("Не удалось прервать соединение")));
    }
    // Once the server is gone, the recorder ends on its own and lets go of everything.
    f.server().server().stop();
    QVERIFY(TBackgroundRecorder::WaitForAllStopped(20000));
    QVERIFY(TRecordingReader(recording).count() >= 1);
}

// The server stops answering while a sample is under way: closing the window must not wait
// for the query's timeout (30 s). After about a second the sample is broken off.
void TestFaults::closingWhileASampleWaitsForTheServer() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    form.cbPeriod->setCurrentIndex(2); // "1 с"
    f.addConnectedServer();
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0);
    testserver::ScriptedSession watcher;
    watcher.withConnection = false;
    const int observer = f.server().instance().addSession(watcher);
    auto samplesWaiting = [&] {
        const auto out = f.server().instance().execute(
            observer, "select count(*) from sys.dm_exec_requests R join sys.dm_exec_sessions S "
                      "on S.session_id=R.session_id where S.program_name='Dervel' and "
                      "R.session_id<>@@SPID");
        return std::get<std::int64_t>(out.statements.at(0).result->rows.at(0).at(0));
    };
    f.server().server().setResponseDelayMs(120000);
    QTRY_VERIFY_WITH_TIMEOUT(samplesWaiting() > 0, 10000);

    // The event loop turns again soon after the close: a timer ticks twice after it has
    // returned. A close held up past qWaitFor's timed wait fails it.
    int ticks = 0;
    bool closed = false;
    QTimer heartbeat;
    heartbeat.setInterval(50);
    connect(&heartbeat, &QTimer::timeout, [&ticks] { ++ticks; });
    heartbeat.start();
    QTimer::singleShot(0, [&] {
        f.finish(); // closed and destroyed as at the program's end
        closed = true;
        ticks = 0;
    });
    QVERIFY2(QTest::qWaitFor([&] { return closed && ticks >= 2; }, 5000),
             "the close waited for the server");
}

void TestFaults::loginHangsUntilTheLoginTimeout() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    f.server().server().setSilent(true);
    f.prompts().connectionAnswers << TScriptedPrompts::TConnectionAnswer{
        true, QStringLiteral("Silent"), f.server().oledb() + QStringLiteral(";Connect Timeout=1")};
    form.ServerPanel->actAddConnection->trigger();
    f.server().server().setSilent(false);
    QCOMPARE(form.SelectedServer()->State, stError);
    QCOMPARE(f.prompts().messages.size(), 1);
    QVERIFY(f.prompts().messages.first().text.startsWith(
        QStringLiteral("Ошибка при подключении к Silent:\r\n[FreeTDS]")));
}

void TestFaults::databaseListChangesBetweenConnects() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    TServer* s = f.addConnectedServer();
    QVERIFY(!s->DBList.contains(QStringLiteral("Newcomer")));
    form.ServerPanel->actDisconnect->trigger();
    f.server().instance().addDatabase({.name = "Newcomer"});
    form.ServerPanel->actConnect->trigger();
    QVERIFY(s->DBList.contains(QStringLiteral("Newcomer")));
    QVERIFY(form.cbDBList->findText(QStringLiteral("Newcomer")) >= 2);
}

void TestFaults::settingsFileTruncated() {
    TMainFormFixture f;
    f.form().ServerPanel->NewServer(QStringLiteral("Kept"), QStringLiteral("Data Source=a"), false);
    f.restart();
    const QString path = f.settingsFolder() + QStringLiteral("/registry.reg");
    f.form().close();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QByteArray whole = file.readAll();
    file.resize(whole.size() / 2); // cut in the middle of a line
    file.close();
    f.prompts().messages.clear();
    f.restart();
    QCOMPARE(f.prompts().messages.size(), 1);
    // The damaged file is kept aside, whole as it was on disk.
    const QStringList kept =
        QDir(f.settingsFolder()).entryList({QStringLiteral("registry.reg.corrupt-*")});
    QCOMPARE(kept.size(), 1);
    QFile aside(f.settingsFolder() + QLatin1Char('/') + kept.first());
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), whole.left(whole.size() / 2));
}

void TestFaults::settingsFolderUnwritableAtExit() {
    TMainFormFixture f;
    f.form().ServerPanel->NewServer(QStringLiteral("A"), QStringLiteral("Data Source=a"), false);
    f.restart();
    // The store's file is replaced by a folder of the same name: nothing can be written.
    const QString path = f.settingsFolder() + QStringLiteral("/registry.reg");
    f.form().ServerPanel->NewServer(QStringLiteral("B"), QStringLiteral("Data Source=b"), false);
    const QByteArray before = [&] {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();
    QVERIFY(QFile::rename(path, path + QStringLiteral(".saved")));
    QVERIFY(QDir().mkdir(path));
    f.prompts().messages.clear();
    f.form().close();
    f.restart(); // the save at exit fails; the start after it cannot read either
    QVERIFY(!f.prompts().messages.isEmpty());
    QVERIFY2(f.prompts().messages.first().text.startsWith(
                 QStringLiteral("Ошибка при сохранении настроек:\r\n")),
             qPrintable(f.prompts().messages.first().text));
    // Nothing was lost: the file as it stood is untouched.
    QVERIFY(QDir(path).removeRecursively());
    QVERIFY(QFile::rename(path + QStringLiteral(".saved"), path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
