#include "actions/killsession.h"
#include "actions/sessiondetail.h"
#include "platform/dbrecordset.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestSessionTexts : public QObject {
    Q_OBJECT
private slots:
    void lineOfCharIndex_data();
    void lineOfCharIndex();
    void textLineLengths_data();
    void textLineLengths();
    void loginPlaceholders_data();
    void loginPlaceholders();
    void nameValueLines();
    void blockingRecIsTheFirstMatch();
};

void TestSessionTexts::lineOfCharIndex_data() {
    QTest::addColumn<QList<int>>("lengths");
    QTest::addColumn<qint64>("index");
    QTest::addColumn<int>("line");

    // Lines of 5, 0 and 3 characters: spans 0..6, 7..8, 9..13.
    const QList<int> three = {5, 0, 3};
    QTest::newRow("index 0 is the first line") << three << qint64(0) << 1;
    QTest::newRow("first character, 1-based") << three << qint64(1) << 1;
    QTest::newRow("last character of line 1") << three << qint64(5) << 1;
    QTest::newRow("line break counts to its line") << three << qint64(6) << 1;
    QTest::newRow("empty line starts") << three << qint64(7) << 2;
    QTest::newRow("empty line's break") << three << qint64(8) << 2;
    QTest::newRow("first character of line 3") << three << qint64(10) << 3;
    QTest::newRow("end of the batch plus one") << three << qint64(13) << 3;
    QTest::newRow("past the last line") << three << qint64(14) << 4;
    QTest::newRow("far past") << three << qint64(1000) << 4;
    QTest::newRow("one empty line") << QList<int>{0} << qint64(1) << 1;
    QTest::newRow("no lines at all") << QList<int>{} << qint64(0) << 1;
}

void TestSessionTexts::lineOfCharIndex() {
    QFETCH(QList<int>, lengths);
    QFETCH(qint64, index);
    QFETCH(int, line);
    QCOMPARE(LineOfCharIndex(lengths, index), line);
}

void TestSessionTexts::textLineLengths_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("lengths");

    QTest::newRow("empty") << u""_s << QList<int>{0};
    QTest::newRow("one line") << u"select 1"_s << QList<int>{8};
    QTest::newRow("CR LF") << u"ab\r\ncde"_s << QList<int>{2, 3};
    QTest::newRow("LF and CR alone") << u"a\nbc\rd"_s << QList<int>{1, 2, 1};
    QTest::newRow("break at the end") << u"ab\r\n"_s << QList<int>{2, 0};
    QTest::newRow("LF CR is two breaks") << u"a\n\rb"_s << QList<int>{1, 0, 1};
}

void TestSessionTexts::textLineLengths() {
    QFETCH(QString, text);
    QFETCH(QList<int>, lengths);
    QCOMPARE(TextLineLengths(text), lengths);
}

void TestSessionTexts::loginPlaceholders_data() {
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("question");

    QTest::newRow("plain") << u"sa"_s
                           << u"select session_id from sys.dm_exec_sessions where session_id=57 "
                              "and login_name='sa'"_s
                           << u"Завершить процесс SPID=57, Login=sa?"_s;
    QTest::newRow("apostrophes doubled in the statement only")
        << u"O'Brien'"_s
        << u"select session_id from sys.dm_exec_sessions where session_id=57 and "
           "login_name='O''Brien'''"_s
        << u"Завершить процесс SPID=57, Login=O'Brien'?"_s;
    QTest::newRow("placeholder-like login kept as typed")
        << u"DOM\\%1%2"_s
        << u"select session_id from sys.dm_exec_sessions where session_id=57 and "
           "login_name='DOM\\%1%2'"_s
        << u"Завершить процесс SPID=57, Login=DOM\\%1%2?"_s;
}

void TestSessionTexts::loginPlaceholders() {
    QFETCH(QString, login);
    QFETCH(QString, check);
    QFETCH(QString, question);
    QCOMPARE(SessionCheckStatement(57, login), check);
    QCOMPARE(KillQuestionText(57, login), question);
    QCOMPARE(SessionNotFoundText(57, login),
             u"Процесс SPID=57, Login="_s + login + u" не найден."_s);
}

void TestSessionTexts::nameValueLines() {
    TDbValue null;
    TDbValue number;
    number.kind = TDbValue::Integer;
    number.integer = 57;
    TDbValue text;
    text.kind = TDbValue::Text;
    text.text = u"sleeping"_s;
    TDbValue handle;
    handle.kind = TDbValue::Bytes;
    handle.bytes = QByteArray::fromHex("0200ab");
    TDbValue flag;
    flag.kind = TDbValue::Boolean;
    flag.integer = 1;
    TDbRecordset rows({u"session_id"_s, u"status"_s, u"sql_handle"_s, u"host_name"_s},
                      {{number, text, handle, null}, {number, text, null, null}});
    rows.moveNext(); // a caller that has read a row already: the lines start where it is
    const TNameValues lines = NameValueLines(rows);
    const TNameValues expected = {{u"session_id"_s, u"57"_s},
                                  {u"status"_s, u"sleeping"_s},
                                  {u"sql_handle"_s, u""_s},
                                  {u"host_name"_s, u""_s}};
    QCOMPARE(lines, expected);

    TDbRecordset two({u"sql_handle"_s, u"is_user_process"_s}, {{handle, flag}, {null, flag}});
    const TNameValues both = NameValueLines(two);
    const TNameValues expectedBoth = {{u"sql_handle"_s, u"0x0200AB"_s},
                                      {u"is_user_process"_s, u"True"_s},
                                      {u"sql_handle"_s, u""_s},
                                      {u"is_user_process"_s, u"True"_s}};
    QCOMPARE(both, expectedBoth);
    QVERIFY(NameValueLines(two).isEmpty()); // the rows were walked to the end
}

void TestSessionTexts::blockingRecIsTheFirstMatch() {
    TMonitorRec a, b, c;
    a.SPID = 51;
    b.SPID = 52;
    b.RequestID = 0;
    c.SPID = 52;
    c.RequestID = 1;
    const QList<PMonitorRec> rows = {&a, &b, &c};
    QCOMPARE(FindBlockingRec(rows, 52), &b);
    QCOMPARE(FindBlockingRec(rows, 51), &a);
    QCOMPARE(FindBlockingRec(rows, 53), nullptr);
    QCOMPARE(FindBlockingRec({}, 52), nullptr);
}

QTEST_APPLESS_MAIN(TestSessionTexts)
#include "tst_sessiontexts.moc"
