// How dervel-record logs in: a password file's line, and which password wins over which,
// with the mistakes that cannot log in named.

#include "recorder/recordlogin.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

using TPassword = std::optional<QString>;
Q_DECLARE_METATYPE(TPassword)

class TestRecordLogin : public QObject {
    Q_OBJECT
private slots:
    void passwordFiles_data();
    void passwordFiles();
    void choosing_data();
    void choosing();
};

void TestRecordLogin::passwordFiles_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("password");
    QTest::newRow("as systemd keeps it") << QByteArray("Dervel-2026") << u"Dervel-2026"_s;
    QTest::newRow("as echo writes it") << QByteArray("Dervel-2026\n") << u"Dervel-2026"_s;
    QTest::newRow("from Windows") << QByteArray("Dervel-2026\r\n") << u"Dervel-2026"_s;
    QTest::newRow("only the first line") << QByteArray("first\nsecond\n") << u"first"_s;
    QTest::newRow("blanks are the password's") << QByteArray(" a b \n") << u" a b "_s;
    QTest::newRow("not Latin") << QByteArray("Пароль;\"1\"\n") << u"Пароль;\"1\""_s;
    QTest::newRow("empty") << QByteArray("\n") << QString();
}

void TestRecordLogin::passwordFiles() {
    QFETCH(QByteArray, content);
    QFETCH(QString, password);
    QCOMPARE(PasswordFileText(content), password);
}

void TestRecordLogin::choosing_data() {
    QTest::addColumn<QString>("connection");
    QTest::addColumn<bool>("fromCommandLine");
    QTest::addColumn<TPassword>("file");
    QTest::addColumn<TPassword>("environment");
    QTest::addColumn<TPassword>("keyring");
    QTest::addColumn<QString>("password"); // what open() is given; empty: the string alone
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QString>("error");
    const QString user = u"Data Source=db;User ID=watcher"_s;
    const QString withPassword = u"Data Source=db;User ID=watcher;Password=in-string"_s;
    const QString sspi = u"Data Source=db;Integrated Security=SSPI"_s;
    const TPassword none;
    QTest::newRow("the file's") << user << true << TPassword(u"f"_s) << TPassword(u"e"_s) << none
                                << u"f"_s << false << QString();
    QTest::newRow("the environment's")
        << user << true << none << TPassword(u"e"_s) << none << u"e"_s << false << QString();
    QTest::newRow("the keyring's for a saved entry")
        << user << false << none << none << TPassword(u"k"_s) << u"k"_s << false << QString();
    QTest::newRow("a file over the keyring") << user << false << TPassword(u"f"_s) << none
                                             << TPassword(u"k"_s) << u"f"_s << false << QString();
    QTest::newRow("a saved string's own password, not the keyring's")
        << withPassword << false << none << none << TPassword(u"k"_s) << QString() << false
        << QString();
    QTest::newRow("a password in --connection works, and is seen")
        << withPassword << true << none << none << none << QString() << true << QString();
    QTest::newRow("a file over a password in --connection, still seen")
        << withPassword << true << TPassword(u"f"_s) << none << none << u"f"_s << true << QString();
    QTest::newRow("integrated security needs none")
        << sspi << true << none << none << none << QString() << false << QString();
    QTest::newRow("a password for integrated security")
        << sspi << true << TPassword(u"f"_s) << none << none << QString() << false
        << u"Integrated Security=SSPI"_s;
    QTest::newRow("a password for nobody")
        << u"Data Source=db"_s << true << none << TPassword(u"e"_s) << none << QString() << false
        << u"нет User ID"_s;
}

void TestRecordLogin::choosing() {
    QFETCH(QString, connection);
    QFETCH(bool, fromCommandLine);
    QFETCH(TPassword, file);
    QFETCH(TPassword, environment);
    QFETCH(TPassword, keyring);
    QFETCH(QString, password);
    QFETCH(bool, visible);
    QFETCH(QString, error);
    const TRecordLogin login =
        ChooseRecordLogin(connection, fromCommandLine, file, environment, keyring);
    QVERIFY2(error.isEmpty() ? login.Error.isEmpty() : login.Error.contains(error),
             qPrintable(login.Error));
    QCOMPARE(login.PasswordVisible, visible);
    QCOMPARE(login.Credentials.has_value(), !password.isEmpty());
    if (login.Credentials) {
        QCOMPARE(login.Credentials->user, u"watcher"_s);
        QCOMPARE(login.Credentials->password, password);
    }
}

QTEST_APPLESS_MAIN(TestRecordLogin)
#include "tst_recordlogin.moc"
