#include "actions/killsession.h"
#include "actions/sessiondetail.h"
#include "database/dbrecordset.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestSessionTexts : public QObject {
    Q_OBJECT
private slots:
    void lineOfCharIndex_data();
    void lineOfCharIndex();
    void textLineSpans_data();
    void textLineSpans();
    void statementLinesOfABatch_data();
    void statementLinesOfABatch();
    void loginPlaceholders_data();
    void loginPlaceholders();
    void statementTexts_data();
    void statementTexts();
    void nameValueLines();
    void blockingRecIsTheFirstMatch();
};

void TestSessionTexts::lineOfCharIndex_data() {
    QTest::addColumn<QList<int>>("spans");
    QTest::addColumn<qint64>("index");
    QTest::addColumn<int>("line");

    // Lines of 5, 0 and 3 characters ended by CR LF: spans 0..6, 7..8, 9..13.
    const QList<int> three = {7, 2, 5};
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
    QTest::newRow("one empty line") << QList<int>{2} << qint64(1) << 1;
    QTest::newRow("no lines at all") << QList<int>{} << qint64(0) << 1;
}

void TestSessionTexts::lineOfCharIndex() {
    QFETCH(QList<int>, spans);
    QFETCH(qint64, index);
    QFETCH(int, line);
    QCOMPARE(LineOfCharIndex(spans, index), line);
}

void TestSessionTexts::textLineSpans_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("spans");

    QTest::newRow("empty") << u""_s << QList<int>{2};
    QTest::newRow("one line") << u"select 1"_s << QList<int>{10};
    QTest::newRow("CR LF") << u"ab\r\ncde"_s << QList<int>{4, 5};
    QTest::newRow("LF and CR alone") << u"a\nbc\rd"_s << QList<int>{2, 3, 3};
    QTest::newRow("break at the end") << u"ab\r\n"_s << QList<int>{4, 2};
    QTest::newRow("LF CR is two breaks") << u"a\n\rb"_s << QList<int>{2, 1, 3};
    QTest::newRow("mixed") << u"a\r\nbb\ncc\r\n"_s << QList<int>{3, 3, 4, 2};
}

void TestSessionTexts::textLineSpans() {
    QFETCH(QString, text);
    QFETCH(QList<int>, spans);
    QCOMPARE(TextLineSpans(text), spans);
}

// A statement's offsets as the server gives them (zero-based characters, the end one on
// the statement's last character) must mark the statement's own lines whatever line
// breaks the client sent.
void TestSessionTexts::statementLinesOfABatch_data() {
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");

    const QStringList lines = {u"set nocount on"_s, u"declare @n int"_s, u"select @n = 1"_s,
                               u"update t"_s,       u"  set a = @n"_s,   u"  where b = 2"_s,
                               u"select * from t"_s};
    QTest::newRow("CR LF") << lines.join(u"\r\n"_s) << u"update t"_s << 4 << 6;
    QTest::newRow("LF") << lines.join(u"\n"_s) << u"update t"_s << 4 << 6;
    QTest::newRow("CR") << lines.join(u"\r"_s) << u"update t"_s << 4 << 6;
    QTest::newRow("last statement, LF") << lines.join(u"\n"_s) << u"select * from t"_s << 7 << 7;
    QString mixed = lines[0] + u"\n"_s + lines[1] + u"\r\n"_s + lines[2] + u"\n"_s + lines[3] +
                    u"\r\n"_s + lines[4] + u"\n"_s + lines[5] + u"\r\n"_s + lines[6];
    QTest::newRow("mixed") << mixed << u"update t"_s << 4 << 6;
    QTest::newRow("first line, LF") << lines.join(u"\n"_s) << u"set nocount on"_s << 1 << 1;
}

void TestSessionTexts::statementLinesOfABatch() {
    QFETCH(QString, batch);
    QFETCH(QString, statement);
    QFETCH(int, first);
    QFETCH(int, last);
    const qsizetype start = batch.indexOf(statement);
    QVERIFY(start >= 0);
    // The update runs over three lines: its end is the last character of "@n"/"2".
    const qsizetype end =
        statement == u"update t"_s ? batch.indexOf(u"b = 2"_s) + 4 : start + statement.size() - 1;
    const QList<int> spans = TextLineSpans(batch);
    QCOMPARE(LineOfCharIndex(spans, start + 1), first);
    QCOMPARE(LineOfCharIndex(spans, end + 1), last);
}

// What goes to the server, exactly.
void TestSessionTexts::statementTexts_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("expected");
    QTest::newRow("session rows") << SessionRowsStatement(57)
                                  << u"select * from sys.dm_exec_sessions where session_id=57"_s;
    QTest::newRow("request rows")
        << RequestRowsStatement(57, 3)
        << u"select * from sys.dm_exec_requests where session_id=57 and request_id=3"_s;
    QTest::newRow("connection rows")
        << ConnectionRowsStatement(57)
        << u"select * from sys.dm_exec_connections where session_id=57"_s;
    QTest::newRow("statement text")
        << StatementTextStatement(57, 3)
        << u"select Idx1 = isnull((R.statement_start_offset/2)+1,0),\r\n"
           u"       Idx2 = isnull(((case R.statement_end_offset when -1 then datalength(T.text) "
           u"else R.statement_end_offset END)/2) + 1,0),\r\n"
           u"       Text = isnull(T.text,'')\r\n"
           u"from sys.dm_exec_requests R\r\n"
           u"cross apply sys.dm_exec_sql_text(R.sql_handle) T\r\n"
           u"where R.session_id=57\r\n"
           u"  and R.request_id=3"_s;
    QTest::newRow("input buffer") << InputBufferStatement(57)
                                  << u"DBCC INPUTBUFFER(57) WITH NO_INFOMSGS "_s;
    QTest::newRow("kill") << KillStatement(57) << u"kill 57"_s;
    QTest::newRow("kill, large SPID") << KillStatement(32767) << u"kill 32767"_s;
}

void TestSessionTexts::statementTexts() {
    QFETCH(QString, statement);
    QFETCH(QString, expected);
    QCOMPARE(statement, expected);
}

void TestSessionTexts::loginPlaceholders_data() {
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("question");

    QTest::newRow("plain") << u"sa"_s
                           << u"select session_id from sys.dm_exec_sessions where session_id=57 "
                              "and login_name=N'sa'"_s
                           << u"Завершить процесс SPID=57, Login=sa?"_s;
    QTest::newRow("apostrophes doubled in the statement only")
        << u"O'Brien'"_s
        << u"select session_id from sys.dm_exec_sessions where session_id=57 and "
           "login_name=N'O''Brien'''"_s
        << u"Завершить процесс SPID=57, Login=O'Brien'?"_s;
    QTest::newRow("placeholder-like login kept as typed")
        << u"DOM\\%1%2"_s
        << u"select session_id from sys.dm_exec_sessions where session_id=57 and "
           "login_name=N'DOM\\%1%2'"_s
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
