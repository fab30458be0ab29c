// Taking a password out of a connection string and putting a user name in: the rest of
// the string must read exactly as before, quoted items and all, and only a login whose
// string names a user without a password asks the keyring.

#include "keyring/passwordplacement.h"
#include "servers/connectionstring.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestPasswordPlacement : public QObject {
    Q_OBJECT
private slots:
    void withoutPassword_data();
    void withoutPassword();
    void withUserID_data();
    void withUserID();
    void keyringMayHold_data();
    void keyringMayHold();
};

void TestPasswordPlacement::withoutPassword_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("typical") << u"Provider=SQLOLEDB.1;User ID=sa;Password=secret;Data Source=h"_s
                             << u"Provider=SQLOLEDB.1;User ID=sa;Data Source=h"_s;
    QTest::newRow("last item") << u"Data Source=h;Password=x"_s << u"Data Source=h"_s;
    QTest::newRow("first item") << u"Password=x;Data Source=h"_s << u"Data Source=h"_s;
    QTest::newRow("other letter case") << u"Data Source=h;PASSWORD=x"_s << u"Data Source=h"_s;
    QTest::newRow("every password item goes")
        << u"Password=a;Data Source=h;password=b"_s << u"Data Source=h"_s;
    QTest::newRow("quoted password with ; and a quote")
        << u"User ID=semi;\"Password=a;b}c\"\"d\";Data Source=h"_s
        << u"User ID=semi;Data Source=h"_s;
    QTest::newRow("other quoted items read as before")
        << u"\"Application Name=a;b\";Password=x;\"Workstation ID=\"\"w\"\"\""_s
        << u"\"Application Name=a;b\";Workstation ID=\"w\""_s;
    QTest::newRow("without a password the string is untouched")
        << u"Data Source=h;;User ID=sa;"_s << u"Data Source=h;;User ID=sa;"_s;
    QTest::newRow("a blank before the keyword is no password item")
        << u"Data Source=h; Password=x"_s << u"Data Source=h; Password=x"_s;
    QTest::newRow("empty items and a trailing separator stay")
        << u"Data Source=h;;Password=x;"_s << u"Data Source=h;;"_s;
}

void TestPasswordPlacement::withoutPassword() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const QString result = WithoutPassword(text);
    QCOMPARE(result, expected);
    QVERIFY(PasswordInString(result).isEmpty());
    // Whatever else the string said, it still says.
    for (const QString& key :
         {u"Data Source"_s, u"User ID"_s, u"Application Name"_s, u"Workstation ID"_s})
        QCOMPARE(GetConnectionStringValue(result, key), GetConnectionStringValue(text, key));
}

void TestPasswordPlacement::withUserID_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("expected");

    QTest::newRow("replaces the user")
        << u"Data Source=h;User ID=old;Connect Timeout=5"_s << u"sa"_s
        << u"Data Source=h;User ID=sa;Connect Timeout=5"_s;
    QTest::newRow("other letter case is replaced, not doubled")
        << u"user id=old;Data Source=h"_s << u"sa"_s << u"User ID=sa;Data Source=h"_s;
    QTest::newRow("appended when missing")
        << u"Data Source=h"_s << u"sa"_s << u"Data Source=h;User ID=sa"_s;
    QTest::newRow("takes the place a trailing separator left")
        << u"Data Source=h;"_s << u"sa"_s << u"Data Source=h;User ID=sa"_s;
    QTest::newRow("a user with ; is quoted")
        << u"Data Source=h"_s << u"a;b"_s << u"Data Source=h;\"User ID=a;b\""_s;
    QTest::newRow("empty string") << QString() << u"sa"_s << u"User ID=sa"_s;
}

void TestPasswordPlacement::withUserID() {
    QFETCH(QString, text);
    QFETCH(QString, user);
    QFETCH(QString, expected);
    const QString result = WithUserID(text, user);
    QCOMPARE(result, expected);
    QCOMPARE(GetConnectionStringValue(result, u"User ID"_s), user);
}

void TestPasswordPlacement::keyringMayHold_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("asks");

    QTest::newRow("user without password") << u"Data Source=h;User ID=sa"_s << true;
    QTest::newRow("password \"\" counts as none")
        << u"Data Source=h;User ID=sa;Password=\"\""_s << true;
    QTest::newRow("user and password in the string")
        << u"Data Source=h;User ID=sa;Password=x"_s << false;
    QTest::newRow("no user: the login dialog asks for both") << u"Data Source=h"_s << false;
    QTest::newRow("integrated security")
        << u"Data Source=h;Integrated Security=SSPI;User ID=sa"_s << false;
    QTest::newRow("sspi in lower case is a login")
        << u"Data Source=h;Integrated Security=sspi;User ID=sa"_s << true;
}

void TestPasswordPlacement::keyringMayHold() {
    QFETCH(QString, text);
    QFETCH(bool, asks);
    QCOMPARE(KeyringMayHoldPassword(text), asks);
}

QTEST_GUILESS_MAIN(TestPasswordPlacement)
#include "tst_passwordplacement.moc"
