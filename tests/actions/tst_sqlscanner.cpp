#include "actions/sqlscanner.h"

#include <QTest>

namespace {

// One letter per byte: the class the scanner gave it.
const char kStyleLetters[ssStyleCount + 1] = ".CTFKNSPBV";

QByteArray styleMask(const TSqlScan& scan, int length) {
    QByteArray mask(length, '?');
    for (const TSqlRun& run : scan.Runs)
        for (int i = run.Start; i < run.Start + run.Length && i < length; ++i)
            mask[i] = kStyleLetters[run.Style];
    return mask;
}

} // namespace

class TestSqlScanner : public QObject {
    Q_OBJECT
private slots:
    void classes_data();
    void classes();
    void runsCoverEveryByteOnce_data();
    void runsCoverEveryByteOnce();
    void linesGoOnWithTheOpenState();
};

void TestSqlScanner::classes_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("mask"); // . default C comment T type F function K keyword
                                          // N number S string P procedure B table V variable
    QTest::addColumn<int>("endState");

    QTest::newRow("keywords in any case")
        << QByteArray("select Name FROM x") << 0 << QByteArray("KKKKKK......KKKK..") << 0;
    QTest::newRow("data types") << QByteArray("declare @n nvarchar(10)") << 0
                                << QByteArray("KKKKKKK.VV.TTTTTTTT.NN.") << 0;
    QTest::newRow("functions") << QByteArray("isnull(a,getdate())") << 0
                               << QByteArray("FFFFFF...FFFFFFF...") << 0;
    QTest::newRow("system procedures by prefix") << QByteArray("exec sp_who2;xp_cmdshell") << 0
                                                 << QByteArray("KKKK.PPPPPPP.PPPPPPPPPPP") << 0;
    QTest::newRow("views after sys.")
        << QByteArray("from sys.objects o") << 0 << QByteArray("KKKK.....BBBBBBB..") << 0;
    QTest::newRow("only right after the dot")
        << QByteArray("sys. objects") << 0 << QByteArray("............") << 0;
    QTest::newRow("dynamic management names")
        << QByteArray("dm_exec_sql_text(h)") << 0 << QByteArray("BBBBBBBBBBBBBBBB...") << 0;
    QTest::newRow("compatibility views")
        << QByteArray("SysProcesses") << 0 << QByteArray("BBBBBBBBBBBB") << 0;
    QTest::newRow("variables, also @@")
        << QByteArray("@@spid+@x1") << 0 << QByteArray("VVVVVV.VVV") << 0;
    QTest::newRow("numbers") << QByteArray("1 2.5 .5 1e-3 0x1F") << 0
                             << QByteArray("N.NNN.NN.NNNN.NNNN") << 0;
    QTest::newRow("a name with digits is no number")
        << QByteArray("t1 1t") << 0 << QByteArray("...N.") << 0;
    QTest::newRow("strings with doubled quotes")
        << QByteArray("'O''Brien' x") << 0 << QByteArray("SSSSSSSSSS..") << 0;
    QTest::newRow("unicode string") << QByteArray("N'x' n'y'") << 0 << QByteArray("SSSS.SSSS") << 0;
    QTest::newRow("quoted and bracketed names stay plain")
        << QByteArray("[select] \"from\"") << 0 << QByteArray("...............") << 0;
    QTest::newRow("line comment to the line break")
        << QByteArray("go -- select\r\nselect") << 0 << QByteArray("KK.CCCCCCCCC..KKKKKK") << 0;
    QTest::newRow("block comment")
        << QByteArray("/* a */select") << 0 << QByteArray("CCCCCCCKKKKKK") << 0;
    QTest::newRow("nested block comment")
        << QByteArray("/* a /* b */ c */1") << 0 << QByteArray("CCCCCCCCCCCCCCCCCN") << 0;
    QTest::newRow("Cyrillic name is one word")
        << QByteArray("select Имя") << 0 << QByteArray("KKKKKK.......") << 0;

    // What stays open at the end of a line.
    QTest::newRow("unclosed string")
        << QByteArray("select 'abc") << 0 << QByteArray("KKKKKK.SSSS") << int(kSqlInString);
    QTest::newRow("unclosed comment, the inner one closed")
        << QByteArray("/* /* x */") << 0 << QByteArray("CCCCCCCCCC") << int(kSqlInComment);
    QTest::newRow("unclosed bracket name")
        << QByteArray("[a b") << 0 << QByteArray("....") << int(kSqlInBracketName);

    // Going on with what the line before left open.
    QTest::newRow("string goes on")
        << QByteArray("de'' f' 1") << int(kSqlInString) << QByteArray("SSSSSSS.N") << 0;
    QTest::newRow("comment goes on")
        << QByteArray("x */ select") << int(kSqlInComment) << QByteArray("CCCC.KKKKKK") << 0;
    QTest::newRow("inner comment closes, outer stays")
        << QByteArray("x */ y") << int(kSqlInComment) + 1 << QByteArray("CCCCCC")
        << int(kSqlInComment);
    QTest::newRow("quoted name goes on")
        << QByteArray("a\" 1") << int(kSqlInQuotedName) << QByteArray("...N") << 0;
}

void TestSqlScanner::classes() {
    QFETCH(QByteArray, text);
    QFETCH(int, state);
    QFETCH(QByteArray, mask);
    QFETCH(int, endState);

    QCOMPARE(mask.size(), text.size());
    const TSqlScan scan = ScanSql(text, state);
    QCOMPARE(styleMask(scan, text.size()), mask);
    QCOMPARE(scan.EndState, endState);
}

void TestSqlScanner::runsCoverEveryByteOnce_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("mixed") << QByteArray("select @a = 'x' /* y */ -- z\r\n from [t] where b=1.5");
    QTest::newRow("ends inside a number") << QByteArray("1e");
    QTest::newRow("ends after an N") << QByteArray("select N");
    QTest::newRow("lone at sign") << QByteArray("@");
}

void TestSqlScanner::runsCoverEveryByteOnce() {
    QFETCH(QByteArray, text);
    const TSqlScan scan = ScanSql(text);
    int next = 0;
    for (int i = 0; i < scan.Runs.size(); ++i) {
        const TSqlRun& run = scan.Runs[i];
        QCOMPARE(run.Start, next);
        QVERIFY(run.Length > 0);
        if (i > 0)
            QVERIFY2(scan.Runs[i - 1].Style != run.Style, "adjacent runs of one class merge");
        next += run.Length;
    }
    QCOMPARE(next, text.size());
}

void TestSqlScanner::linesGoOnWithTheOpenState() {
    // The text area colours line by line; carrying the state must give what one pass
    // over the whole text gives.
    const QList<QByteArray> lines = {"select 'one\r\n", "two' /* a\r\n", "/* b */ c\r\n",
                                     "*/ from t"};
    const QByteArray whole = lines.join();
    const QByteArray expected = styleMask(ScanSql(whole), whole.size());
    QByteArray pieced;
    int state = kSqlNormal;
    for (const QByteArray& line : lines) {
        const TSqlScan scan = ScanSql(line, state);
        pieced += styleMask(scan, line.size());
        state = scan.EndState;
    }
    QCOMPARE(pieced, expected);
    QCOMPARE(state, int(kSqlNormal));
}

QTEST_APPLESS_MAIN(TestSqlScanner)
#include "tst_sqlscanner.moc"
