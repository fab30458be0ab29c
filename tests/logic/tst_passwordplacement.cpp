// Finding, taking out and moving a password in a connection string, and putting a user
// name in: read as the driver translation reads the string (blanks around keywords, PWD,
// quoted values), the rest of the string reading exactly as before, quoted items and all;
// and only a login whose string names a user without a password asks the keyring.

#include "database/oledbitems.h"
#include "database/oledbtranslator.h"
#include "servers/connectionstring.h"
#include "servers/passwordplacement.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// The string's items as the translation reads them, password items left out.
QList<QPair<QString, QString>> itemsBesidesPassword(const QString& s) {
    QList<QPair<QString, QString>> kept;
    const QList<TOleDbItem> items = ParseOleDbItems(s).value();
    for (const TOleDbItem& item : items)
        if (!IsOleDbPasswordKeyword(item.keyword))
            kept.append({item.keyword.toLower(), item.value});
    return kept;
}

// The PWD the translation hands the driver, when it can read the string.
std::optional<QString> sentPassword(const QString& s) {
    try {
        const QString odbc = TranslateOleDbConnectionString(s, std::nullopt).connectionString;
        const qsizetype at = odbc.indexOf(u";PWD="_s);
        if (at < 0)
            return std::nullopt;
        QString value = odbc.mid(at + 5);
        if (value.startsWith(u'{'))
            return value.mid(1, value.lastIndexOf(u'}') - 1);
        return value.section(u';', 0, 0);
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace

class TestPasswordPlacement : public QObject {
    Q_OBJECT
private slots:
    void passwordInString_data();
    void passwordInString();
    void withoutPassword_data();
    void withoutPassword();
    void withUserID_data();
    void withUserID();
    void keyringMayHold_data();
    void keyringMayHold();
};

void TestPasswordPlacement::passwordInString_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("password"); // what a move takes to the keyring
    QTest::addColumn<bool>("holds");       // what the connection dialog warns about
    QTest::addColumn<QString>("sent");     // what the translation sends; "-": it cannot read it

    QTest::newRow("plain") << u"Data Source=h;User ID=sa;Password=x"_s << u"x"_s << true << u"x"_s;
    QTest::newRow("a blank before the keyword")
        << u"Data Source=h; Password=x"_s << u"x"_s << true << u"x"_s;
    QTest::newRow("blanks around the =")
        << u"Data Source=h;Password = x ;Connect Timeout=5"_s << u"x"_s << true << u"x"_s;
    QTest::newRow("PWD") << u"Data Source=h;UID=sa;PWD=x"_s << u"x"_s << true << u"x"_s;
    QTest::newRow("pwd in lower case") << u"Data Source=h;pwd=x"_s << u"x"_s << true << u"x"_s;
    QTest::newRow("quoted value with ;")
        << u"Data Source=h;Password=\"a;b\""_s << u"a;b"_s << true << u"a;b"_s;
    QTest::newRow("quoted value with a doubled quote")
        << u"Data Source=h;Password='it''s'"_s << u"it's"_s << true << u"it's"_s;
    QTest::newRow("quoted item with ; and a quote")
        << u"Data Source=h;\"Password=a;b\"\"c\""_s << u"a;b\"c"_s << true << u"a;b\"c"_s;
    QTest::newRow("several items: the last one counts")
        << u"Password=a;Data Source=h;PWD=b"_s << u"b"_s << true << u"b"_s;
    QTest::newRow("an empty last item holds nothing to keep")
        << u"Data Source=h;Password=a;Password="_s << u"a"_s << true << QString();
    QTest::newRow("\"\" is no password")
        << u"Data Source=h;Password=\"\""_s << QString() << false << QString();
    QTest::newRow("a password inside another item's quoted value")
        << u"Data Source=h;Application Name='x;Password=y'"_s << QString() << false << QString();
    QTest::newRow("no password") << u"Data Source=h;User ID=sa"_s << QString() << false
                                 << QString();
    QTest::newRow("a string that does not parse, with a password")
        << u"Data Source=h;Password=\"a;b"_s << QString() << true << u"-"_s;
    QTest::newRow("a string that does not parse, with PWD after a blank")
        << u"Data Source=h; PWD= 'x ;junk"_s << QString() << true << u"-"_s;
    QTest::newRow("a string that does not parse, without one")
        << u"Data Source=h;junk;Password=''"_s << QString() << false << u"-"_s;
}

void TestPasswordPlacement::passwordInString() {
    QFETCH(QString, text);
    QFETCH(QString, password);
    QFETCH(bool, holds);
    QFETCH(QString, sent);
    QCOMPARE(PasswordInString(text), password);
    QCOMPARE(HoldsPassword(text), holds);
    if (sent == u"-")
        QVERIFY(!ParseOleDbItems(text));
    else
        QCOMPARE(sentPassword(text).value_or(u"(none)"_s), sent);
}

void TestPasswordPlacement::withoutPassword_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("typical") << u"Provider=SQLOLEDB.1;User ID=sa;Password=secret;Data Source=h"_s
                             << u"Provider=SQLOLEDB.1;User ID=sa;Data Source=h"_s;
    QTest::newRow("last item") << u"Data Source=h;Password=x"_s << u"Data Source=h"_s;
    QTest::newRow("first item") << u"Password=x;Data Source=h"_s << u"Data Source=h"_s;
    QTest::newRow("the only item") << u"Password=x"_s << QString();
    QTest::newRow("other letter case") << u"Data Source=h;PASSWORD=x"_s << u"Data Source=h"_s;
    QTest::newRow("every password item goes, PWD too")
        << u"Password=a;Data Source=h;password=b;PWD=c"_s << u"Data Source=h"_s;
    QTest::newRow("quoted password with ; and a quote")
        << u"User ID=semi;\"Password=a;b}c\"\"d\";Data Source=h"_s
        << u"User ID=semi;Data Source=h"_s;
    QTest::newRow("quoted value with ;")
        << u"User ID=sa;Password=\"a;b\";Data Source=h"_s << u"User ID=sa;Data Source=h"_s;
    QTest::newRow("other quoted items stay as they were written")
        << u"\"Application Name=a;b\";Password=x;\"Workstation ID=\"\"w\"\"\""_s
        << u"\"Application Name=a;b\";\"Workstation ID=\"\"w\"\"\""_s;
    QTest::newRow("without a password the string is untouched")
        << u"Data Source=h;;User ID=sa;"_s << u"Data Source=h;;User ID=sa;"_s;
    QTest::newRow("a blank before the keyword")
        << u"Data Source=h; Password=x"_s << u"Data Source=h"_s;
    QTest::newRow("a blank before the keyword, the user after it still found")
        << u"Data Source=h; Password=x;User ID=sa"_s << u"Data Source=h;User ID=sa"_s;
    QTest::newRow("blanks before the next item stay: they hide it from the look-up as before")
        << u"Data Source=h;Password = x ; Integrated Security=SSPI"_s
        << u"Data Source=h; Integrated Security=SSPI"_s;
    QTest::newRow("empty items and a trailing separator stay")
        << u"Data Source=h;;Password=x;"_s << u"Data Source=h;;"_s;
    QTest::newRow("a string that does not parse is left alone")
        << u"Data Source=h;Password=\"a;b"_s << u"Data Source=h;Password=\"a;b"_s;
}

void TestPasswordPlacement::withoutPassword() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const QString result = WithoutPassword(text);
    QCOMPARE(result, expected);
    if (!ParseOleDbItems(text))
        return;
    QVERIFY(!HoldsPassword(result));
    // Whatever else the string said, it still says, to the translation and to the look-up.
    QCOMPARE(itemsBesidesPassword(result), itemsBesidesPassword(text));
    for (const QString& key : {u"Data Source"_s, u"User ID"_s, u"Application Name"_s,
                               u"Workstation ID"_s, u"Integrated Security"_s})
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
    QTest::newRow("a blank before the keyword goes with it")
        << u"Data Source=h; User ID=old"_s << u"sa"_s << u"Data Source=h;User ID=sa"_s;
    QTest::newRow("UID and User are users too: one item is left")
        << u"UID=a;Data Source=h;User=b"_s << u"sa"_s << u"User ID=sa;Data Source=h"_s;
    QTest::newRow("the same user in both readings: untouched")
        << u"Data Source=h;User ID=sa"_s << u"sa"_s << u"Data Source=h;User ID=sa"_s;
    QTest::newRow("appended when missing")
        << u"Data Source=h"_s << u"sa"_s << u"Data Source=h;User ID=sa"_s;
    QTest::newRow("takes the place a trailing separator left")
        << u"Data Source=h;"_s << u"sa"_s << u"Data Source=h;User ID=sa"_s;
    QTest::newRow("a user with ; is quoted")
        << u"Data Source=h"_s << u"a;b"_s << u"Data Source=h;\"User ID=a;b\""_s;
    QTest::newRow("a quoted value the look-up splits: the user goes first")
        << u"Application Name='x;User ID=y';Data Source=h"_s << u"sa"_s
        << u"User ID=sa;Application Name='x;User ID=y';Data Source=h;User ID=sa"_s;
    QTest::newRow("empty string") << QString() << u"sa"_s << u"User ID=sa"_s;
}

void TestPasswordPlacement::withUserID() {
    QFETCH(QString, text);
    QFETCH(QString, user);
    QFETCH(QString, expected);
    const QString result = WithUserID(text, user);
    QCOMPARE(result, expected);
    QCOMPARE(GetConnectionStringValue(result, u"User ID"_s), user);
    QCOMPARE(OleDbUser(ParseOleDbItems(result).value()), user);
}

void TestPasswordPlacement::keyringMayHold_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("asks");

    QTest::newRow("user without password") << u"Data Source=h;User ID=sa"_s << true;
    QTest::newRow("password \"\" counts as none")
        << u"Data Source=h;User ID=sa;Password=\"\""_s << true;
    QTest::newRow("user and password in the string")
        << u"Data Source=h;User ID=sa;Password=x"_s << false;
    QTest::newRow("a password after a blank is a password")
        << u"Data Source=h;User ID=sa; Password=x"_s << false;
    QTest::newRow("PWD is a password") << u"Data Source=h;User ID=sa;PWD=x"_s << false;
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
