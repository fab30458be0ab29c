// Recording snapshots into the activity log: file name, header and lines in the grid's
// display order, one timestamp per snapshot, and the stops with and without a message.

#include "app/mainform.h"
#include "grid/celltext.h"
#include "grid/monitorcolumns.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorstatusbar.h"
#include "grid/widgets/monitorview.h"
#include "mainformfixture.h"
#include "recording/logfile.h"
#include "recording/widgets/activitylog.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverlistview.h"
#include "servers/widgets/serverpanel.h"

#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <clocale>

namespace {

// The file's lines as bytes: what a line should hold is compared in the locale's
// encoding, so the tests pass whatever locale they run under.
QList<QByteArray> logLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (!line.endsWith('\r'))
            return {}; // every line ends with CR LF
        line.chop(1);
    }
    return lines;
}

QByteArray local(const QString& text) {
    return EncodeForLocale(text);
}

// Sets LC_CTYPE for one test and puts the previous one back.
class TCharacterSet {
public:
    explicit TCharacterSet(const char* locale) : FPrevious(std::setlocale(LC_CTYPE, nullptr)) {
        FActive = std::setlocale(LC_CTYPE, locale) != nullptr;
    }
    ~TCharacterSet() { std::setlocale(LC_CTYPE, FPrevious.constData()); }
    bool active() const { return FActive; }

private:
    QByteArray FPrevious;
    bool FActive = false;
};

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
    void textOutsideTheCharacterSetIsKept_data();
    void textOutsideTheCharacterSetIsKept();
    void emptySnapshotAppendsNothing();
    void failureStopsWithAMessage_data();
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
    for (int i = 2; i < MonitorColumnCount; ++i)
        header->setSectionHidden(i, i != 8 && i != FirstRateColumn); // Login, SPID, CPU, CPU/s
    form.tbRecord->click();
    const QString path = form.ActivityLog->FileName;
    TMonitorRec a = Rec(51), b = Rec(52);
    a.CPU = 1234567;
    a.Login = QStringLiteral("Иван");
    r.fixture.arrive({a, b}, 10000);
    b.CPU = 500; // over two seconds
    r.fixture.arrive({b}, 12000);
    const QList<QByteArray> lines = logLines(path);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QByteArray("Time;Login;SPID;CPU;CPU/s"));
    const QRegularExpression stamp(QStringLiteral("^\\d{8} \\d\\d:\\d\\d:\\d\\d\\.\\d{3};"));
    for (int i = 1; i < 4; ++i)
        QVERIFY2(stamp.match(QString::fromLatin1(lines[i])).hasMatch(), lines[i].constData());
    const auto afterStamp = [](const QByteArray& line) { return line.mid(line.indexOf(';') + 1); };
    QCOMPARE(lines[2].left(lines[2].indexOf(';')), lines[1].left(lines[1].indexOf(';')));
    QCOMPARE(afterStamp(lines[1]),
             local(QStringLiteral("Иван;51;") + CellText(a, 8, SystemThousandSeparator()) +
                   QStringLiteral(";"))); // no rate in a session's first snapshot
    QCOMPARE(afterStamp(lines[3]), QByteArray("user52;52;500;250"));
}

// Under the C locale the character set is ASCII: the log is written in UTF-8 instead of
// turning every Cyrillic login into question marks. A set that has the text keeps it.
void TestRecording::textOutsideTheCharacterSetIsKept_data() {
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("C") << QByteArray("C") << QStringLiteral("Иван").toUtf8();
    QTest::newRow("POSIX") << QByteArray("POSIX") << QStringLiteral("Иван").toUtf8();
    QTest::newRow("C.UTF-8") << QByteArray("C.UTF-8") << QStringLiteral("Иван").toUtf8();
    QTest::newRow("KOI8-R") << QByteArray("ru_RU.KOI8-R") << QByteArray("\xe9\xd7\xc1\xce");
}

void TestRecording::textOutsideTheCharacterSetIsKept() {
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, expected);
    TCharacterSet set(locale.constData());
    if (!set.active())
        QSKIP("this locale is not installed here");
    TRecordingFixture r;
    TMainForm& form = r.form();
    QHeaderView* header = form.MonitorVT->horizontalHeader();
    for (int i = 0; i < MonitorColumnCount; ++i)
        header->setSectionHidden(i, i != 1); // Login only
    form.tbRecord->click();
    TMonitorRec a = Rec(51);
    a.Login = QStringLiteral("Иван");
    r.fixture.arrive({a});
    const QList<QByteArray> lines = logLines(form.ActivityLog->FileName);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[1].mid(lines[1].indexOf(';') + 1), expected);
}

void TestRecording::emptySnapshotAppendsNothing() {
    TRecordingFixture r;
    r.form().tbRecord->click();
    const QString path = r.form().ActivityLog->FileName;
    r.fixture.arrive({});
    QCOMPARE(logLines(path).size(), 1); // the header only
    QVERIFY(r.form().tbRecord->isChecked());
}

void TestRecording::failureStopsWithAMessage_data() {
    QTest::addColumn<bool>("wholeFolder");
    QTest::newRow("the folder removed") << true;
    QTest::newRow("the file removed") << false; // never recreated without its header
}

void TestRecording::failureStopsWithAMessage() {
    QFETCH(bool, wholeFolder);
    TRecordingFixture r;
    TMainForm& form = r.form();
    form.tbRecord->click();
    const QString path = form.ActivityLog->FileName;
    if (wholeFolder)
        QVERIFY(QDir(r.logs.path()).removeRecursively());
    else
        QVERIFY(QFile::remove(path));
    r.fixture.arrive({Rec(51)});
    QVERIFY(!QFile::exists(path));
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
