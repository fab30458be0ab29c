#include "servers/connectionstring.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestConnectionString : public QObject {
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void value_data();
    void value();
};

void TestConnectionString::split_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("empty string") << u""_s << QStringList{};
    QTest::newRow("one item") << u"a=1"_s << QStringList{u"a=1"_s};
    QTest::newRow("trailing separator adds an empty item")
        << u"a=1;"_s << QStringList{u"a=1"_s, u""_s};
    QTest::newRow("two separators in a row")
        << u"a=1;;b=2"_s << QStringList{u"a=1"_s, u""_s, u"b=2"_s};
    QTest::newRow("separator alone") << u";"_s << QStringList{u""_s, u""_s};
    QTest::newRow("leading separator") << u";a"_s << QStringList{u""_s, u"a"_s};
    QTest::newRow("blanks kept") << u" a = 1 ; b"_s << QStringList{u" a = 1 "_s, u" b"_s};
    QTest::newRow("quoted item keeps its separator")
        << u"\"x;y\";b"_s << QStringList{u"x;y"_s, u"b"_s};
    QTest::newRow("doubled quotes inside a quoted item")
        << u"\"say \"\"hi\"\"\""_s << QStringList{u"say \"hi\""_s};
    QTest::newRow("unterminated quote runs to the end")
        << u"a;\"open;end"_s << QStringList{u"a"_s, u"open;end"_s};
    QTest::newRow("empty quoted item") << u"\"\""_s << QStringList{u""_s};
    QTest::newRow("doubled quote then end of string") << u"\"\"\"\""_s << QStringList{u"\""_s};
    QTest::newRow("text right after the closing quote is the next item")
        << u"\"a\"b;c"_s << QStringList{u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("quoted item then trailing separator")
        << u"a=1;\"b=2\";"_s << QStringList{u"a=1"_s, u"b=2"_s, u""_s};
    QTest::newRow("quote not at the item's start does not protect")
        << u"a=\"x;y\""_s << QStringList{u"a=\"x"_s, u"y\""_s};
}

void TestConnectionString::split() {
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    QCOMPARE(SplitConnectionString(text), items);
}

void TestConnectionString::value_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QString typical =
        u"Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Password=secret;"
        u"Initial Catalog=master;Data Source=HOST\\INST"_s;
    QTest::newRow("user id") << typical << u"User ID"_s << u"sa"_s;
    QTest::newRow("password") << typical << u"Password"_s << u"secret"_s;
    QTest::newRow("last item") << typical << u"Data Source"_s << u"HOST\\INST"_s;
    QTest::newRow("absent keyword") << typical << u"Integrated Security"_s << u""_s;
    QTest::newRow("empty string") << u""_s << u"User ID"_s << u""_s;
    QTest::newRow("keyword in lower case") << u"user id=sa"_s << u"User ID"_s << u"sa"_s;
    QTest::newRow("key in lower case") << u"USER ID=sa"_s << u"user id"_s << u"sa"_s;
    QTest::newRow("Cyrillic keyword, other case") << u"Пароль=1"_s << u"ПАРОЛЬ"_s << u"1"_s;
    QTest::newRow("blank after the separator hides the keyword")
        << u"Provider=x; User ID=sa"_s << u"User ID"_s << u""_s;
    QTest::newRow("blank before the equals sign hides the keyword")
        << u"User ID =sa"_s << u"User ID"_s << u""_s;
    QTest::newRow("key with a trailing blank") << u"User ID=sa"_s << u"User ID "_s << u""_s;
    QTest::newRow("blanks of the value kept") << u"User ID= sa "_s << u"User ID"_s << u" sa "_s;
    QTest::newRow("value case kept")
        << u"Integrated Security=sspi"_s << u"Integrated Security"_s << u"sspi"_s;
    QTest::newRow("first equals sign splits") << u"Password=a=b"_s << u"Password"_s << u"a=b"_s;
    QTest::newRow("first matching item wins")
        << u"Password=1;password=2"_s << u"Password"_s << u"1"_s;
    QTest::newRow("item without equals sign is passed over")
        << u"Password;Password=x"_s << u"Password"_s << u"x"_s;
    QTest::newRow("empty value") << u"Password=;User ID=u"_s << u"Password"_s << u""_s;
    QTest::newRow("two double quotes read empty")
        << u"User ID=u;Password=\"\""_s << u"Password"_s << u""_s;
    QTest::newRow("three double quotes stay")
        << u"Password=\"\"\""_s << u"Password"_s << u"\"\"\""_s;
    QTest::newRow("quoted value does not protect its separator")
        << u"Password=\"a;b\""_s << u"Password"_s << u"\"a"_s;
    QTest::newRow("quoted item") << u"\"Password=a;b\";User ID=u"_s << u"Password"_s << u"a;b"_s;
    QTest::newRow("quoted item with a doubled quote")
        << u"\"Password=p\"\"q\""_s << u"Password"_s << u"p\"q"_s;
    QTest::newRow("quoted item whose value is two double quotes")
        << u"\"Password=\"\"\"\"\""_s << u"Password"_s << u""_s;
    QTest::newRow("unterminated quoted item")
        << u"User ID=u;\"Password=x;y"_s << u"Password"_s << u"x;y"_s;
    QTest::newRow("trailing separator") << u"User ID=sa;"_s << u"User ID"_s << u"sa"_s;
    QTest::newRow("empty key matches an item starting with equals")
        << u"a=1;=x"_s << u""_s << u"x"_s;
}

void TestConnectionString::value() {
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(GetConnectionStringValue(text, key), expected);
}

QTEST_APPLESS_MAIN(TestConnectionString)
#include "tst_connectionstring.moc"
