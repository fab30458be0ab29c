// How the app reads and writes the items of an OLE DB connection string. The writer's
// quoting must survive both readers: the items' and the keyword look-up that connecting
// uses for the credentials.

#include "database/oledbitems.h"
#include "servers/connectionstring.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestOleDbItems : public QObject {
    Q_OBJECT
private slots:
    void parseItems_data();
    void parseItems();
    void quote_data();
    void quote();
};

void TestOleDbItems::parseItems_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("keywords");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("raws");

    QTest::newRow("empty") << u""_s << true << QStringList{} << QStringList{} << QStringList{};
    QTest::newRow("blank items dropped") << u" ; a=1;;  ;"_s << true << QStringList{u"a"_s}
                                         << QStringList{u"1"_s} << QStringList{u"a=1"_s};
    QTest::newRow("blanks around keyword and value")
        << u"  User ID =  sa  ;Data Source=h"_s << true
        << QStringList{u"User ID"_s, u"Data Source"_s} << QStringList{u"sa"_s, u"h"_s}
        << QStringList{u"User ID =  sa"_s, u"Data Source=h"_s};
    QTest::newRow("empty value") << u"Password="_s << true << QStringList{u"Password"_s}
                                 << QStringList{u""_s} << QStringList{u"Password="_s};
    QTest::newRow("further equals signs belong to the value")
        << u"a=b=c"_s << true << QStringList{u"a"_s} << QStringList{u"b=c"_s}
        << QStringList{u"a=b=c"_s};
    QTest::newRow("double-quoted value keeps separator and blanks")
        << u"Password=\" a;b \";x=1"_s << true << QStringList{u"Password"_s, u"x"_s}
        << QStringList{u" a;b "_s, u"1"_s} << QStringList{u"Password=\" a;b \""_s, u"x=1"_s};
    QTest::newRow("doubled quote inside")
        << u"p=\"say \"\"hi\"\"\""_s << true << QStringList{u"p"_s} << QStringList{u"say \"hi\""_s}
        << QStringList{u"p=\"say \"\"hi\"\"\""_s};
    QTest::newRow("single-quoted value") << u"p='it''s;'"_s << true << QStringList{u"p"_s}
                                         << QStringList{u"it's;"_s} << QStringList{u"p='it''s;'"_s};
    QTest::newRow("empty quoted value") << u"Password=\"\""_s << true << QStringList{u"Password"_s}
                                        << QStringList{u""_s} << QStringList{u"Password=\"\""_s};
    QTest::newRow("blanks after the closing quote")
        << u"p=\"x\"  ;q=1"_s << true << QStringList{u"p"_s, u"q"_s} << QStringList{u"x"_s, u"1"_s}
        << QStringList{u"p=\"x\""_s, u"q=1"_s};
    QTest::newRow("quote inside an unquoted value is plain text")
        << u"p=a\"b"_s << true << QStringList{u"p"_s} << QStringList{u"a\"b"_s}
        << QStringList{u"p=a\"b"_s};
    QTest::newRow("Cyrillic") << u"Data Source=сервер"_s << true << QStringList{u"Data Source"_s}
                              << QStringList{u"сервер"_s} << QStringList{u"Data Source=сервер"_s};

    QTest::newRow("whole item in double quotes")
        << u"\"Password=a;b\";x=1"_s << true << QStringList{u"Password"_s, u"x"_s}
        << QStringList{u"a;b"_s, u"1"_s} << QStringList{u"\"Password=a;b\""_s, u"x=1"_s};
    QTest::newRow("whole item with a doubled quote")
        << u"\"p=say \"\"hi\"\"\""_s << true << QStringList{u"p"_s} << QStringList{u"say \"hi\""_s}
        << QStringList{u"\"p=say \"\"hi\"\"\""_s};
    QTest::newRow("whole item without equals sign")
        << u"\"abc\""_s << false << QStringList{} << QStringList{} << QStringList{};
    const QStringList none;
    QTest::newRow("item without equals sign") << u"a=1;junk;b=2"_s << false << none << none << none;
    QTest::newRow("text only") << u"hello"_s << false << none << none << none;
    QTest::newRow("no keyword") << u"=1"_s << false << none << none << none;
    QTest::newRow("blank keyword") << u"a=1;  =2"_s << false << none << none << none;
    QTest::newRow("unclosed quote") << u"p=\"abc;q=1"_s << false << none << none << none;
    QTest::newRow("text after the closing quote")
        << u"p=\"a\"b;q=1"_s << false << none << none << none;
}

void TestOleDbItems::parseItems() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QStringList, keywords);
    QFETCH(QStringList, values);
    QFETCH(QStringList, raws);

    const auto items = ParseOleDbItems(text);
    QCOMPARE(items.has_value(), ok);
    if (!ok)
        return;
    QStringList k, v, r;
    for (const TOleDbItem& item : *items) {
        k << item.keyword;
        v << item.value;
        r << item.raw;
    }
    QCOMPARE(k, keywords);
    QCOMPARE(v, values);
    QCOMPARE(r, raws);
}

void TestOleDbItems::quote_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("quoted");

    QTest::newRow("plain") << u"sa"_s << u"sa"_s;
    QTest::newRow("empty") << u""_s << u""_s;
    QTest::newRow("inner blank") << u"my app"_s << u"my app"_s;
    QTest::newRow("equals sign") << u"a=b"_s << u"a=b"_s;
    QTest::newRow("inner quote") << u"a\"b"_s << u"a\"b"_s;
    QTest::newRow("separator") << u"a;b"_s << u"\"k=a;b\""_s;
    QTest::newRow("leading blank") << u" a"_s << u"\"k= a\""_s;
    QTest::newRow("trailing blank") << u"a "_s << u"\"k=a \""_s;
    QTest::newRow("leading double quote") << u"\"a"_s << u"\"k=\"\"a\""_s;
    QTest::newRow("trailing single quote") << u"a'"_s << u"\"k=a'\""_s;
    QTest::newRow("quote doubled inside") << u"a;\"b\""_s << u"\"k=a;\"\"b\"\"\""_s;
}

void TestOleDbItems::quote() {
    QFETCH(QString, value);
    QFETCH(QString, quoted);
    const QString item = OleDbItemText(u"k"_s, value);
    if (quoted.startsWith(u'"'))
        QCOMPARE(item, quoted);
    else
        QCOMPARE(item, u"k="_s + quoted);
    // Whatever the quoting, both readings give the value back: the items' and the
    // keyword look-up's, with other items around it.
    const QString text = u"a=1;"_s + item + u";z=2"_s;
    const auto items = ParseOleDbItems(text);
    QVERIFY(items.has_value());
    QCOMPARE(items->size(), 3);
    QCOMPARE(items->at(1).keyword, u"k"_s);
    QCOMPARE(items->at(1).value, value);
    if (value != u"\"a"_s) // a value that is two quotes away from "" reads as itself
        QCOMPARE(GetConnectionStringValue(text, u"K"_s), value);
}

QTEST_APPLESS_MAIN(TestOleDbItems)
#include "tst_oledbitems.moc"
