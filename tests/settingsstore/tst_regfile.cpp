// The store file's text: what the writer produces and what the reader accepts.

#include "registry/regkey.h"
#include "registry/regreader.h"
#include "registry/regwriter.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

QByteArray Sz(const QString& text) {
    QByteArray data;
    for (QChar c : text) {
        data += char(c.unicode() & 0xff);
        data += char(c.unicode() >> 8);
    }
    return data + QByteArray(2, '\0');
}

QByteArray Dword(quint32 v) {
    const char bytes[] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(bytes, 4);
}

QByteArray Bytes(int count) {
    QByteArray data(count, '\0');
    for (int i = 0; i < count; ++i)
        data[i] = char(i);
    return data;
}

const QByteArray kHead = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\K]\n";

// The text written for one value in key K.
QByteArray ValueText(const TRegValue& value) {
    TRegKey root;
    root.Ensure({"K"}).Values.push_back(value);
    const QByteArray text = FormatRegFile(root);
    return text.mid(kHead.size(), text.size() - kHead.size() - 1);
}

QString ParseFailure(const QByteArray& text, int* line = nullptr) {
    TRegKey root;
    TRegParseError error;
    if (ParseRegFile(text, root, error))
        return QString();
    if (line)
        *line = error.Line;
    return error.Reason;
}

} // namespace

class TestRegFile : public QObject {
    Q_OBJECT

private slots:
    void valueForms_data();
    void valueForms();
    void longHexFoldsLikeRegedit();
    void everyTreeReadsBackAsWritten();
    void handWrittenForms_data();
    void handWrittenForms();
    void grammarErrors_data();
    void grammarErrors();
    void damagedTextIsRejectedOrReadConsistently();
};

void TestRegFile::valueForms_data() {
    QTest::addColumn<TRegValue>("value");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("plain") << TRegValue{"Name", regSz, Sz("Prod")}
                           << QByteArray("\"Name\"=\"Prod\"\n");
    QTest::newRow("empty") << TRegValue{"Version", regSz, Sz("")}
                           << QByteArray("\"Version\"=\"\"\n");
    QTest::newRow("quote and backslash escaped")
        << TRegValue{"a\"b\\c", regSz, Sz("srv\\inst;pw=\"x\"")}
        << QByteArray(R"("a\"b\\c"="srv\\inst;pw=\"x\"")"
                      "\n");
    QTest::newRow("Cyrillic as UTF-8")
        << TRegValue{"Имя", regSz, Sz("Сервер")} << QString("\"Имя\"=\"Сервер\"\n").toUtf8();
    QTest::newRow("default value") << TRegValue{"", regSz, Sz("x")} << QByteArray("@=\"x\"\n");
    QTest::newRow("line break as hex(1), with its NUL")
        << TRegValue{"N", regSz, Sz("a\r\nb")}
        << QByteArray("\"N\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\n");
    QTest::newRow("tab as hex(1)")
        << TRegValue{"N", regSz, Sz("\t")} << QByteArray("\"N\"=hex(1):09,00,00,00\n");
    QTest::newRow("REG_SZ without its NUL stays exact")
        << TRegValue{"N", regSz, QByteArray("a\0", 2)} << QByteArray("\"N\"=hex(1):61,00\n");
    QTest::newRow("lone surrogate stays exact")
        << TRegValue{"N", regSz, QByteArray("\x00\xd8\0\0", 4)}
        << QByteArray("\"N\"=hex(1):00,d8,00,00\n");
    QTest::newRow("dword 0") << TRegValue{"Order", regDword, Dword(0)}
                             << QByteArray("\"Order\"=dword:00000000\n");
    QTest::newRow("dword -1") << TRegValue{"SortColumn", regDword, Dword(0xffffffff)}
                              << QByteArray("\"SortColumn\"=dword:ffffffff\n");
    QTest::newRow("dword of odd size")
        << TRegValue{"D", regDword, QByteArray(2, '\x01')} << QByteArray("\"D\"=hex(4):01,01\n");
    QTest::newRow("binary empty") << TRegValue{"B", regBinary, QByteArray()}
                                  << QByteArray("\"B\"=hex:\n");
    QTest::newRow("binary") << TRegValue{"B", regBinary, QByteArray("\x00\x7f\xff", 3)}
                            << QByteArray("\"B\"=hex:00,7f,ff\n");
    QTest::newRow("expand string") << TRegValue{"E", regExpandSz, Sz("%A%")}
                                   << QByteArray("\"E\"=hex(2):25,00,41,00,25,00,00,00\n");
    QTest::newRow("qword") << TRegValue{"Q", 11, QByteArray(8, '\0')}
                           << QByteArray("\"Q\"=hex(b):00,00,00,00,00,00,00,00\n");
}

void TestRegFile::valueForms() {
    QFETCH(TRegValue, value);
    QFETCH(QByteArray, text);
    QCOMPARE(ValueText(value), text);
}

void TestRegFile::longHexFoldsLikeRegedit() {
    // regedit breaks a hex line once it reaches 77 characters, and continues
    // with two spaces: 21 bytes after "Columns"=hex:, then 25 a line.
    QCOMPARE(ValueText(TRegValue{"Columns", regBinary, Bytes(50)}),
             QByteArray("\"Columns\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,"
                        "13,14,\\\n"
                        "  15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,"
                        "2c,2d,\\\n"
                        "  2e,2f,30,31\n"));

    const QList<QByteArray> lines =
        ValueText(TRegValue{"Columns", regBinary, Bytes(222)}).split('\n');
    QCOMPARE(lines.size(), 1 + 9 + 1); // 21 + 8 × 25 + 1 bytes, then the final line break
    for (int i = 1; i < 9; ++i)
        QCOMPARE(lines[i].size(), 2 + 25 * 3 + 1);
    QCOMPARE(lines[9], QByteArray("  dd"));
}

void TestRegFile::everyTreeReadsBackAsWritten() {
    TRegKey root;
    TRegKey& dervel = root.Ensure({"Software", "Dervel"});
    dervel.SetValue("Width", regDword, Dword(1024));
    dervel.SetValue("Columns", regBinary, Bytes(222));
    dervel.SetValue("", regSz, Sz("default"));
    TRegKey& server = root.Ensure({"Software", "Dervel", "Servers", "{8A1C-Ключ] [x}"});
    server.SetValue("Name", regSz, Sz("\"q\" \\ Имя\r\n"));
    server.SetValue("Raw", regSz, QByteArray("\x00\xdc", 2));
    server.SetValue("Multi", 7, Sz("a") + Sz(""));
    server.SetValue("Empty", regBinary, QByteArray());
    root.Ensure({"Software", "Dervel", "Empty key"});
    root.SetValue("RootValue", regDword, Dword(7));

    TRegKey parsed;
    TRegParseError error;
    QVERIFY2(ParseRegFile(FormatRegFile(root), parsed, error), qPrintable(error.Reason));
    QVERIFY(parsed == root);
}

void TestRegFile::handWrittenForms_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("canonical");

    const QByteArray head = "Windows Registry Editor Version 5.00\n\n";
    const QByteArray canonical = head + "[HKEY_CURRENT_USER\\Software]\n\n"
                                        "[HKEY_CURRENT_USER\\Software\\Dervel]\n"
                                        "\"Width\"=dword:000004d2\n"
                                        "\"Columns\"=hex:0a,0b,0c\n\n";

    QTest::newRow("as written here") << canonical << canonical;
    QTest::newRow("CRLF, BOM, comments, spacing, short upper-case hex")
        << QByteArray("\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n\r\n"
                      "; exported by hand\r\n"
                      "  [HKEY_CURRENT_USER\\Software\\Dervel]  \r\n"
                      "\"Width\" = DWORD:4D2\r\n"
                      "\"Columns\"=hex:0A, 0B,\\\r\n"
                      "      0c\r\n")
        << canonical;
    QTest::newRow("UTF-16LE with BOM, as regedit saves") << [&] {
        const QString text = QString::fromUtf8(canonical);
        QByteArray bytes("\xff\xfe");
        bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        return bytes;
    }() << canonical;
    QTest::newRow("HKCU, sections repeated, later value wins")
        << head + "[HKCU\\Software\\Dervel]\n\"Width\"=dword:00000001\n\"Columns\"=hex:0a,0b,0c\n"
                  "[HKEY_CURRENT_USER\\SOFTWARE\\dervel]\n\"WIDTH\"=dword:000004d2\n"
        << canonical;
    QTest::newRow("deletions") << head + "[HKEY_CURRENT_USER\\Software\\Dervel\\Servers\\{X}]\n"
                                         "\"Name\"=\"x\"\n"
                                         "[HKEY_CURRENT_USER\\Software\\Dervel]\n"
                                         "\"Width\"=dword:000004d2\n\"Gone\"=dword:00000001\n"
                                         "\"Columns\"=hex:0a,0b,0c\n\"Gone\"=-\n"
                                         "[-HKEY_CURRENT_USER\\Software\\Dervel\\Servers]\n"
                               << canonical;
}

void TestRegFile::handWrittenForms() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, canonical);
    TRegKey root;
    TRegParseError error;
    QVERIFY2(ParseRegFile(text, root, error),
             qPrintable(QString("line %1: %2").arg(error.Line).arg(error.Reason)));
    QCOMPARE(FormatRegFile(root), canonical);
}

void TestRegFile::grammarErrors_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");

    const QByteArray head = "Windows Registry Editor Version 5.00\n\n";
    const QByteArray key = head + "[HKEY_CURRENT_USER\\K]\n"; // values start at line 4

    QTest::newRow("empty file") << QByteArray() << 1;
    QTest::newRow("only a line break") << QByteArray("\n") << 1;
    QTest::newRow("older header") << QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n") << 1;
    QTest::newRow("no final line break") << key + "\"A\"=dword:00000001" << 4;
    QTest::newRow("invalid UTF-8") << key + "\"A\"=\"\xc3\x28\"\n" << 4;
    QTest::newRow("NUL byte") << key + "\"A\"=\"a" + QByteArray(1, '\0') + "\"\n" << 4;
    QTest::newRow("odd UTF-16 size") << QByteArray("\xff\xfe\x41\x00\x0a", 5) << 1;
    QTest::newRow("value before any key") << head + "\"A\"=\"x\"\n" << 3;
    QTest::newRow("key outside HKEY_CURRENT_USER") << head + "[HKEY_LOCAL_MACHINE\\Software]\n"
                                                   << 3;
    QTest::newRow("empty key name") << head + "[HKEY_CURRENT_USER\\Software\\\\Dervel]\n" << 3;
    QTest::newRow("unclosed section") << head + "[HKEY_CURRENT_USER\\K\n" << 3;
    QTest::newRow("stray text") << key + "Width=5\n" << 4;
    QTest::newRow("unterminated name") << key + "\"A=\"x\"\n" << 4;
    QTest::newRow("no equals sign") << key + "\"A\" \"x\"\n" << 4;
    QTest::newRow("unknown escape") << key + "\"A\"=\"a\\nb\"\n" << 4;
    QTest::newRow("text after a string") << key + "\"A\"=\"x\" y\n" << 4;
    QTest::newRow("long dword") << key + "\"A\"=dword:000000001\n" << 4;
    QTest::newRow("empty dword") << key + "\"A\"=dword:\n" << 4;
    QTest::newRow("dword not hex") << key + "\"A\"=dword:0000000g\n" << 4;
    QTest::newRow("bad hex byte") << key + "\"A\"=hex:01,zz\n" << 4;
    QTest::newRow("three-digit hex byte") << key + "\"A\"=hex:01,002\n" << 4;
    QTest::newRow("hex cut after a comma") << key + "\"A\"=hex:01,02,\n" << 4;
    QTest::newRow("bad hex type") << key + "\"A\"=hex(z):01\n" << 4;
    QTest::newRow("bad folded byte") << key + "\"A\"=hex:01,\\\n  0x\n" << 5;
    QTest::newRow("folded past the end") << key + "\"A\"=hex:01,\\\n" << 4;
    QTest::newRow("value under a deleted key") << head + "[-HKEY_CURRENT_USER\\K]\n\"A\"=\"x\"\n"
                                               << 4;
}

void TestRegFile::grammarErrors() {
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    int errorLine = 0;
    const QString reason = ParseFailure(text, &errorLine);
    QVERIFY2(!reason.isEmpty(), "the text was accepted");
    QCOMPARE(errorLine, line);
}

void TestRegFile::damagedTextIsRejectedOrReadConsistently() {
    TRegKey root;
    TRegKey& key = root.Ensure({"Software", "Dervel", "Servers", "{S}"});
    key.SetValue("Name", regSz, Sz("Имя \"x\" \\ y"));
    key.SetValue("Note", regSz, Sz("a\nb"));
    key.SetValue("Order", regDword, Dword(3));
    key.SetValue("Columns", regBinary, Bytes(90));
    const QByteArray good = FormatRegFile(root);
    const int lines = int(good.count('\n'));

    // Whatever a damaged file holds, the reader either names a line of it or
    // gives a tree that the writer puts back into text it reads the same way.
    QRandomGenerator random(20261210);
    for (int round = 0; round < 3000; ++round) {
        QByteArray text = good;
        for (int n = 1 + random.bounded(3); n > 0 && !text.isEmpty(); --n) {
            const int pos = random.bounded(int(text.size()));
            switch (random.bounded(3)) {
            case 0:
                text[pos] = char(random.bounded(256));
                break;
            case 1:
                text.remove(pos, 1 + random.bounded(8));
                break;
            default:
                text.truncate(pos);
                break;
            }
        }
        TRegKey parsed;
        TRegParseError error;
        if (!ParseRegFile(text, parsed, error)) {
            QVERIFY2(error.Line >= 1 && error.Line <= lines + 1, qPrintable(error.Reason));
            QVERIFY(!error.Reason.isEmpty());
            continue;
        }
        TRegKey again;
        QVERIFY2(ParseRegFile(FormatRegFile(parsed), again, error), qPrintable(error.Reason));
        QVERIFY2(again == parsed, text.constData());
    }
}

QTEST_GUILESS_MAIN(TestRegFile)
#include "tst_regfile.moc"
