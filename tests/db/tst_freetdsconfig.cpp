// The driver's configuration file of the process can be taken over by nobody else: what
// another local user may have put where it goes first (an open folder, a link, a file, a
// link planted for the file) is never used or written through, and a file changed between
// two connects is written again before the driver reads it.

#include "database/dbconnection.h"
#include "database/dberror.h"
#include "database/freetdsconfig.h"
#include "testcertificates.h"
#include "testserverfixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool isLink(const QString& path) {
    return QFileInfo(path).isSymLink();
}

QByteArray contentsOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

} // namespace

class TestFreeTdsConfig : public QObject {
    Q_OBJECT
private slots:
    void choosesAPrivateFolder_data();
    void choosesAPrivateFolder();
    void fileChangedBetweenConnects_data();
    void fileChangedBetweenConnects();
    void folderNoLongerPrivate();
    void theDriverNeverReadsAPlantedFile();
};

void TestFreeTdsConfig::choosesAPrivateFolder_data() {
    QTest::addColumn<QString>("found");    // what is at $XDG_RUNTIME_DIR/dervel beforehand
    QTest::addColumn<bool>("usesRuntime"); // the file goes there (else into a fresh folder)
    QTest::newRow("nothing") << u"nothing"_s << true;
    QTest::newRow("its own folder") << u"own folder"_s << true;
    QTest::newRow("its own folder, open to others") << u"open folder"_s << false;
    QTest::newRow("a link to a folder") << u"link"_s << false;
    QTest::newRow("a plain file") << u"file"_s << false;
    QTest::newRow("another user's folder") << u"other user"_s << false;
    QTest::newRow("a link planted for the file") << u"planted link"_s << true;
    QTest::newRow("the runtime folder itself open to others") << u"open runtime"_s << false;
    QTest::newRow("no runtime folder") << u"no runtime"_s << false;
}

void TestFreeTdsConfig::choosesAPrivateFolder() {
    QFETCH(QString, found);
    QFETCH(bool, usesRuntime);
    QTemporaryDir root;
    const QString runtime = root.filePath(u"run"_s);
    const QString temp = root.filePath(u"tmp"_s);
    const QString target = runtime + u"/dervel"_s;
    const QString elsewhere = root.filePath(u"elsewhere"_s);
    const QString victim = root.filePath(u"victim"_s);
    QVERIFY(QDir().mkpath(runtime) && QDir().mkpath(temp) && QDir().mkpath(elsewhere));
    QVERIFY(::chmod(QFile::encodeName(runtime).constData(), 0700) == 0);
    writeFile(victim, "the user's own file\n");
    const QString fileName = u"/freetds-%1.conf"_s.arg(::getpid());

    if (found == u"own folder"_s || found == u"planted link"_s || found == u"open folder"_s ||
        found == u"other user"_s)
        QVERIFY(::mkdir(QFile::encodeName(target).constData(), 0700) == 0);
    if (found == u"open folder"_s)
        QVERIFY(::chmod(QFile::encodeName(target).constData(), 0777) == 0);
    if (found == u"link"_s)
        QVERIFY(QFile::link(elsewhere, target));
    if (found == u"file"_s)
        writeFile(target, "not a folder\n");
    if (found == u"planted link"_s)
        QVERIFY(QFile::link(victim, target + fileName));
    if (found == u"open runtime"_s)
        QVERIFY(::chmod(QFile::encodeName(runtime).constData(), 0755) == 0);
    if (found == u"other user"_s) {
        if (::geteuid() != 0)
            QSKIP("only root can make a folder that belongs to another user");
        QVERIFY(::chown(QFile::encodeName(target).constData(), 65534, 65534) == 0);
    }

    {
        TFreeTdsConfig config(found == u"no runtime"_s ? QString() : runtime, temp, ::getuid());
        if (usesRuntime)
            QCOMPARE(config.folder(), target);
        else
            QVERIFY2(config.folder().startsWith(temp + u"/dervel-"_s), qPrintable(config.folder()));
        QCOMPARE(PrivateFolderState(config.folder(), ::getuid()), TPrivateFolder::Private);
        QVERIFY(!isLink(config.path()));
        QCOMPARE(modeOf(config.path()), mode_t(0600));
        QCOMPARE(contentsOf(config.path()), TFreeTdsConfig::contents());
        // Nothing was written through a link or into a folder that is not private.
        QCOMPARE(contentsOf(victim), QByteArray("the user's own file\n"));
        QVERIFY(QDir(elsewhere).isEmpty());
        if (found == u"open folder"_s || found == u"other user"_s)
            QVERIFY(QDir(target).isEmpty());
    }
    // The file goes with the process, and a folder made for it too.
    QVERIFY(!QFile::exists(target + fileName) || found == u"link"_s);
    QVERIFY(QDir(temp).isEmpty());
}

void TestFreeTdsConfig::fileChangedBetweenConnects_data() {
    QTest::addColumn<QString>("change");
    QTest::newRow("other contents") << u"contents"_s;
    QTest::newRow("replaced by a link") << u"link"_s;
    QTest::newRow("readable by others") << u"mode"_s;
    QTest::newRow("a second name for it") << u"hard link"_s;
    QTest::newRow("removed") << u"removed"_s;
}

void TestFreeTdsConfig::fileChangedBetweenConnects() {
    QFETCH(QString, change);
    QTemporaryDir root;
    const QString victim = root.filePath(u"victim"_s);
    writeFile(victim, "the user's own file\n");
    TFreeTdsConfig config(QString(), root.path(), ::getuid());
    const QByteArray path = QFile::encodeName(config.path());
    if (change == u"contents"_s)
        writeFile(config.path(), "[global]\n\tdump file = /tmp/everything.log\n");
    if (change == u"link"_s)
        QVERIFY(::unlink(path.constData()) == 0 && QFile::link(victim, config.path()));
    if (change == u"mode"_s)
        QVERIFY(::chmod(path.constData(), 0644) == 0);
    if (change == u"hard link"_s)
        QVERIFY(::link(path.constData(), QFile::encodeName(root.filePath(u"second"_s))) == 0);
    if (change == u"removed"_s)
        QVERIFY(::unlink(path.constData()) == 0);

    config.check();
    QVERIFY(!isLink(config.path()));
    QCOMPARE(modeOf(config.path()), mode_t(0600));
    QCOMPARE(contentsOf(config.path()), TFreeTdsConfig::contents());
    QCOMPARE(contentsOf(victim), QByteArray("the user's own file\n"));
}

void TestFreeTdsConfig::folderNoLongerPrivate() {
    QTemporaryDir root;
    TFreeTdsConfig config(QString(), root.path(), ::getuid());
    QVERIFY(::chmod(QFile::encodeName(config.folder()).constData(), 0755) == 0);
    QVERIFY_THROWS_EXCEPTION(EDbError, config.check());
    QVERIFY(::chmod(QFile::encodeName(config.folder()).constData(), 0700) == 0);
    config.check();
}

// The process's own file, end to end. The driver reads it for an encrypted connection
// (through the relay's section); a [global] with a dump file written into it between two
// connects would have the driver write every packet of the relay's plain leg, the login's
// password included, where it says.
void TestFreeTdsConfig::theDriverNeverReadsAPlantedFile() {
    TTestCertificates certs;
    TTestServer server([&](testserver::TdsServer& s) {
        s.setEncryption(testserver::EncryptMode::On,
                        std::make_shared<testserver::TlsCredentials>(certs.cert(u"server"_s),
                                                                     certs.key(u"server"_s)));
    });
    QTemporaryDir root;
    const QString dump = root.filePath(u"dump.log"_s);
    for (int round = 0; round < 2; ++round) {
        TDbConnection c;
        c.setConnectionString(server.oledb() + u";Use Encryption for Data=Mandatory;CAFile="_s +
                              certs.path(u"ca.pem"_s));
        c.open();
        QCOMPARE(c.execute(u"select 1"_s).field(0).asInteger(), 1);
        writeFile(FreeTdsConfigPath(), "[global]\n\tdump file = " + QFile::encodeName(dump) +
                                           "\n\n" + TFreeTdsConfig::contents().mid(10));
    }
    QVERIFY(!QFile::exists(dump));
}

QTEST_GUILESS_MAIN(TestFreeTdsConfig)
#include "tst_freetdsconfig.moc"
