// Who may log in and who may write, with dervel-record as a process against the test
// server: the password from a file, standard input or the environment, never in the
// process list, and a warning when it is put there; and one writer to a recording at a
// time, whether the other is dervel-record or a writer of this process, with a writer
// killed outright blocking nobody.

#include "recorder/recordcommandline.h"
#include "recorder/recordingreader.h"
#include "recorder/recordingwriter.h"
#include "recorder/recordlogin.h"
#include "recorderprocesses.h"
#include "tds_server.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using testserver::TdsServer;

namespace {

const QString kPassword = u"Dervel-2026"_s;

QByteArray commandLineOf(const QProcess& process) {
    QFile f(u"/proc/%1/cmdline"_s.arg(process.processId()));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int snapshotsIn(const QString& path) {
    return TRecorderProcesses::snapshotsIn(path);
}

} // namespace

class TestRecordAccess : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void passwords_data();
    void passwords();
    void oneWriterAtATime();

private:
    QTemporaryDir dir;
    TRecorderProcesses processes{dir.path()};
};

void TestRecordAccess::initTestCase() {
    QVERIFY(dir.isValid());
}

void TestRecordAccess::passwords_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("warned");
    QTest::newRow("a password file") << u"file"_s << false;
    QTest::newRow("standard input") << u"stdin"_s << false;
    QTest::newRow("the environment") << u"environment"_s << false;
    QTest::newRow("inside --connection, as before") << u"inline"_s << true;
}

void TestRecordAccess::passwords() {
    QFETCH(QString, how);
    QFETCH(bool, warned);
    TdsServer server;
    const quint16 port = server.start(0);
    const QString out = dir.filePath(how + u".dervelrec"_s);
    QStringList arguments{
        u"--out"_s,
        out,
        u"--period"_s,
        u"100ms"_s,
        u"--duration"_s,
        u"3s"_s,
        u"--connection"_s,
        TRecorderProcesses::connection(port, how == u"inline"_s ? kPassword : QString())};
    QProcessEnvironment env;
    if (how == u"file"_s) {
        QFile f(dir.filePath(u"password"_s));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kPassword.toUtf8() + "\n");
        arguments << u"--password-file"_s << f.fileName();
    } else if (how == u"stdin"_s) {
        arguments << u"--password-file"_s << u"-"_s;
    } else if (how == u"environment"_s) {
        env.insert(QString::fromLatin1(kRecordPasswordVariable), kPassword);
    }
    QProcess* p = processes.start(arguments, env);
    QVERIFY(p->waitForStarted());
    if (how == u"stdin"_s) {
        p->write(kPassword.toUtf8() + "\n");
        p->closeWriteChannel();
    }
    QTRY_VERIFY_WITH_TIMEOUT(snapshotsIn(out) >= 1, 20000);
    // Whatever any user may read of the running recorder does not hold it.
    const QByteArray seen = commandLineOf(*p);
    QVERIFY(seen.contains("--out"));
    QCOMPARE(seen.contains(kPassword.toUtf8()), how == u"inline"_s);
    QVERIFY(p->waitForFinished(20000));
    const QString errors = QString::fromUtf8(p->readAllStandardError());
    QCOMPARE(p->exitCode(), kRecordExitOk);
    QCOMPARE(errors.contains(u"виден всем пользователям"_s), warned);
    QVERIFY2(snapshotsIn(out) >= 5, qPrintable(errors));
}

void TestRecordAccess::oneWriterAtATime() {
    TdsServer server;
    const quint16 port = server.start(0);
    const QString out = dir.filePath(u"one-writer.dervelrec"_s);
    const QStringList arguments{u"--connection"_s, TRecorderProcesses::connection(port),
                                u"--out"_s,        out,
                                u"--period"_s,     u"100ms"_s};
    QProcess* first = processes.start(arguments);
    QTRY_VERIFY_WITH_TIMEOUT(snapshotsIn(out) >= 2, 20000);

    // Another dervel-record is turned away at once, before it logs in anywhere.
    QProcess* second = processes.start(arguments);
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitCode(), kRecordExitFailed);
    const QString said = QString::fromUtf8(second->readAllStandardError());
    QVERIFY2(said.contains(u"уже пишет другой процесс"_s), qPrintable(said));
    // So is a writer of this process.
    TRecordingInfo info;
    info.Server = u"127.0.0.1,%1"_s.arg(port);
    QVERIFY_THROWS_EXCEPTION(ERecordingError, TRecordingWriter(out, info));
    // The first goes on untouched.
    const int before = snapshotsIn(out);
    QTRY_VERIFY_WITH_TIMEOUT(snapshotsIn(out) >= before + 3, 20000);
    QCOMPARE(first->state(), QProcess::Running);

    // Killed outright: its lock goes with it, and the next recorder takes the file.
    first->kill();
    QVERIFY(first->waitForFinished(5000));
    QProcess* third = processes.start(arguments);
    const int left = snapshotsIn(out);
    QTRY_VERIFY_WITH_TIMEOUT(snapshotsIn(out) >= left + 2, 20000);
    third->terminate();
    QVERIFY(third->waitForFinished(10000));
    QCOMPARE(third->exitCode(), kRecordExitOk);

    // A writer of this process holds the file: dervel-record is turned away.
    {
        TRecordingWriter mine(out, info);
        QProcess* fourth = processes.start(arguments);
        QVERIFY(fourth->waitForFinished(20000));
        QCOMPARE(fourth->exitCode(), kRecordExitFailed);
    }
    // Every snapshot of the three writers reads back.
    TRecordingReader reader(out);
    for (int i = reader.count() - 1; i >= 0; --i)
        QVERIFY(!reader.rowsAt(i).empty());
}

QTEST_GUILESS_MAIN(TestRecordAccess)
#include "tst_recordaccess.moc"
