// Recording snapshots into the activity log: file name, header and lines in the grid's
// display order, one timestamp per snapshot, and the stops with and without a message.

#include "app/mainform.h"
#include "grid/celltext.h"
#include "grid/monitormodel.h"
#include "grid/monitorstatusbar.h"
#include "grid/monitorview.h"
#include "mainformfixture.h"
#include "recording/activitylog.h"
#include "recording/logfile.h"
#include "servers/server.h"
#include "servers/serverlistmodel.h"
#include "servers/serverlistview.h"
#include "servers/serverpanel.h"

#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

QStringList logLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromLocal8Bit(file.readAll());
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// A connected server whose sampler is paused after its first snapshot, so the test
// decides what arrives.
struct TRecordingFixture {
    explicit TRecordingFixture(const QString& serverName = QStringLiteral("Test")) {
        SetLogFolder(logs.path());
        fixture.addConnectedServer(serverName);
        QTRY_VERIFY(fixture.form().MonitorModel->rowCount() > 0);
        fixture.form().actPause->trigger();
        QTest::qWait(100); // a sample already under way may still land
    }
    ~TRecordingFixture() { SetLogFolder(QString()); }
    TMainForm& form() { return fixture.form(); }

    QTemporaryDir logs;
    TMainFormFixture fixture;
};

} // namespace

class TestRecording : public QObject {
    Q_OBJECT
private slots:
    void fileNameFromTimeAndServer();
    void headerAndLinesFollowTheDisplayOrder();
    void emptySnapshotAppendsNothing();
    void failureStopsWithAMessage();
    void clickingAgainStopsSilently();
    void selectingAnotherServerStopsSilently();
};

void TestRecording::fileNameFromTimeAndServer() {
    TRecordingFixture r(QStringLiteral("HOST\\INST/a?b"));
    r.form().tbRecord->click();
    QVERIFY(r.form().tbRecord->isChecked());
    const QString name = QFileInfo(r.form().ActivityLog->FileName).fileName();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d{8}-\\d{6}-HOST-INST-a-b\\.log$"))
                 .match(name)
                 .hasMatch(),
             qPrintable(name));
    QCOMPARE(QFileInfo(r.form().ActivityLog->FileName).absolutePath(),
             QDir(r.logs.path()).absolutePath());
    QCOMPARE(r.form().MonitorStatusBar->panelText(5), r.form().ActivityLog->FileName);
    QVERIFY(QFile::exists(r.form().ActivityLog->FileName));
}

void TestRecording::headerAndLinesFollowTheDisplayOrder() {
    TRecordingFixture r;
    TMainForm& form = r.form();
    QHeaderView* header = form.MonitorVT->horizontalHeader();
    header->moveSection(header->visualIndex(1), 0); // Login first
    for (int i = 2; i < 37; ++i)
        header->setSectionHidden(i, i != 8); // Login, SPID, CPU
    form.tbRecord->click();
    const QString path = form.ActivityLog->FileName;
    TMonitorRec a = Rec(51), b = Rec(52);
    a.CPU = 1234567;
    a.Login = QStringLiteral("Иван");
    r.fixture.arrive({a, b});
    r.fixture.arrive({b});
    const QStringList lines = logLines(path);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QStringLiteral("Time;Login;SPID;CPU"));
    const QRegularExpression stamp(QStringLiteral("^\\d{8} \\d\\d:\\d\\d:\\d\\d\\.\\d{3};"));
    for (int i = 1; i < 4; ++i)
        QVERIFY2(stamp.match(lines[i]).hasMatch(), qPrintable(lines[i]));
    const QString firstStamp = lines[1].section(QLatin1Char(';'), 0, 0);
    QCOMPARE(lines[2].section(QLatin1Char(';'), 0, 0), firstStamp); // one stamp per snapshot
    QCOMPARE(lines[1].section(QLatin1Char(';'), 1),
             QStringLiteral("Иван;51;") + CellText(a, 8, SystemThousandSeparator()));
    QCOMPARE(lines[3].section(QLatin1Char(';'), 1), QStringLiteral("user52;52;0"));
}

void TestRecording::emptySnapshotAppendsNothing() {
    TRecordingFixture r;
    r.form().tbRecord->click();
    const QString path = r.form().ActivityLog->FileName;
    r.fixture.arrive({});
    QCOMPARE(logLines(path).size(), 1); // the header only
    QVERIFY(r.form().tbRecord->isChecked());
}

void TestRecording::failureStopsWithAMessage() {
    TRecordingFixture r;
    TMainForm& form = r.form();
    form.tbRecord->click();
    const QString path = form.ActivityLog->FileName;
    // The folder disappears while recording.
    QVERIFY(QDir(r.logs.path()).removeRecursively());
    r.fixture.arrive({Rec(51)});
    QVERIFY(!form.tbRecord->isChecked());
    QCOMPARE(form.ActivityLog->FileName, QString());
    QCOMPARE(form.MonitorStatusBar->panelText(5), QString());
    QCOMPARE(r.fixture.prompts().messages.size(), 1);
    const TMessage& m = r.fixture.prompts().messages.first();
    QCOMPARE(m.caption, QStringLiteral("Запись в файл"));
    QCOMPARE(m.icon, TMsgIcon::Information);
    QVERIFY2(m.text.startsWith(QStringLiteral("Запись остановлена:\r\n")), qPrintable(m.text));
    QVERIFY2(m.text.endsWith(QStringLiteral(".\r\nФайл ") + path + QLatin1Char('.')),
             qPrintable(m.text));
    QVERIFY(form.MonitorVT->horizontalHeader()->sectionsMovable());
}

void TestRecording::clickingAgainStopsSilently() {
    TRecordingFixture r;
    r.form().tbRecord->click();
    r.form().tbRecord->click();
    QVERIFY(!r.form().tbRecord->isChecked());
    QCOMPARE(r.form().ActivityLog->FileName, QString());
    QVERIFY(r.fixture.prompts().messages.isEmpty());
}

void TestRecording::selectingAnotherServerStopsSilently() {
    TRecordingFixture r;
    TMainForm& form = r.form();
    form.ServerPanel->NewServer(QStringLiteral("Other"), QStringLiteral("Data Source=x"), false);
    form.tbRecord->click();
    QVERIFY(form.tbRecord->isChecked());
    form.ServerPanel->ServerVT->setCurrentIndex(form.ServerPanel->model()->index(1));
    QVERIFY(!form.tbRecord->isChecked());
    QCOMPARE(form.ActivityLog->FileName, QString());
    QVERIFY(r.fixture.prompts().messages.isEmpty());
    QVERIFY(!form.tbRecord->isEnabled()); // the other server is not connected
}

QTEST_MAIN(TestRecording)
#include "tst_recording.moc"
