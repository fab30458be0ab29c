// The settings store as the settings code sees it: keys, values, the file on
// disk, damaged files, two instances at once and a store that cannot be written.

#include "registry/registry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kDervel = "Software\\Dervel";
const QString kServers = "Software\\Dervel\\Servers";

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

int Mode(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QString MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ERegistryException& e) {
        return e.Message();
    }
    return "<no exception>";
}

QStringList CorruptCopies(const QString& folder) {
    return QDir(folder).entryList({"registry.reg.corrupt-*"}, QDir::Files);
}

} // namespace

class TestRegistry : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FTemp;
    QString FFolder; // made by the store itself
    QString FFile;

    // A value written by one object and read by a fresh one, as at the next start.
    std::unique_ptr<TRegistry> Reopened(const QString& key = kDervel) {
        auto reg = std::make_unique<TRegistry>(FFolder);
        if (!reg->OpenKey(key, false))
            return nullptr;
        return reg;
    }

private slots:
    void init();
    void cleanup();

    void stringsRoundTrip_data();
    void stringsRoundTrip();
    void integersRoundTrip_data();
    void integersRoundTrip();
    void binaryRoundTrip_data();
    void binaryRoundTrip();
    void failureMessages_data();
    void failureMessages();
    void missingValues();
    void keyNamesAreListedInRegistryOrder();
    void openWithoutCreateNeedsTheKey();
    void pathsStartAtTheRoot();
    void deleteKeyRemovesTheTreeAtOnce();
    void keyAndValueNamesIgnoreCase();
    void fileAndFolderModes();
    void fileTextForASmallTree();
    void handWrittenFileIsRead();
    void damagedFileIsMovedAsideAndReported_data();
    void damagedFileIsMovedAsideAndReported();
    void damagedFileIsNotWrittenOverWhenItCannotBeMoved();
    void twoInstancesKeepEachOthersChanges();
    void twoProcessesWritingAtOnce();
    void unwritableStoreFailsToSet_data();
    void unwritableStoreFailsToSet();
    void failedSaveAtCloseIsReported();
    void unreadableStoreFailsToGet_data();
    void unreadableStoreFailsToGet();
    void storeLocation();
};

void TestRegistry::init() {
    FTemp = std::make_unique<QTemporaryDir>();
    QVERIFY(FTemp->isValid());
    FFolder = FTemp->path() + "/config/dervel";
    FFile = FFolder + "/registry.reg";
    TRegistry::TakeLoadProblem();
}

void TestRegistry::cleanup() {
    // Leave the folder removable whatever a test did to its modes.
    ::chmod(QFile::encodeName(FFolder).constData(), 0700);
    FTemp.reset();
}

void TestRegistry::stringsRoundTrip_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString("");
    QTest::newRow("quotes and backslashes") << QString(R"(Data Source=srv\inst;Password="p\"w\\")");
    QTest::newRow("Cyrillic") << QString("Продуктив — основной");
    QTest::newRow("line breaks and tab") << QString("line 1\r\nline 2\nline\t3\r");
    QTest::newRow("trailing backslash") << QString("C:\\");
    QTest::newRow("surrogate pair") << QString::fromUtf8("\xf0\x9f\x98\x80");
}

void TestRegistry::stringsRoundTrip() {
    QFETCH(QString, text);
    {
        TRegistry reg(FFolder);
        QVERIFY(reg.OpenKey(kDervel, true));
        reg.WriteString("Text", text);
        reg.CloseKey();
    }
    auto reg = Reopened();
    QVERIFY(reg);
    QCOMPARE(reg->GetDataType("Text"), rdString);
    QCOMPARE(reg->GetDataSize("Text"), 2 * text.size() + 2);
    QCOMPARE(reg->ReadString("Text"), text);
}

void TestRegistry::integersRoundTrip_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("0") << 0 << QByteArray("\"Value\"=dword:00000000\n");
    QTest::newRow("5") << 5 << QByteArray("\"Value\"=dword:00000005\n");
    QTest::newRow("-1") << -1 << QByteArray("\"Value\"=dword:ffffffff\n");
    QTest::newRow("INT_MIN") << INT_MIN << QByteArray("\"Value\"=dword:80000000\n");
    QTest::newRow("INT_MAX") << INT_MAX << QByteArray("\"Value\"=dword:7fffffff\n");
}

void TestRegistry::integersRoundTrip() {
    QFETCH(int, value);
    QFETCH(QByteArray, line);
    {
        TRegistry reg(FFolder);
        QVERIFY(reg.OpenKey(kDervel, true));
        reg.WriteInteger("Value", value);
    } // the destructor saves
    QVERIFY2(ReadAll(FFile).contains(line), ReadAll(FFile).constData());
    auto reg = Reopened();
    QVERIFY(reg);
    QCOMPARE(reg->GetDataType("Value"), rdInteger);
    QCOMPARE(reg->GetDataSize("Value"), 4);
    QCOMPARE(reg->ReadInteger("Value"), value);
}

void TestRegistry::binaryRoundTrip_data() {
    QTest::addColumn<QByteArray>("data");
    QByteArray columns(222, '\0');
    for (int i = 0; i < columns.size(); ++i)
        columns[i] = char(255 - i);
    QTest::newRow("0 bytes") << QByteArray();
    QTest::newRow("222 bytes") << columns;
}

void TestRegistry::binaryRoundTrip() {
    QFETCH(QByteArray, data);
    {
        TRegistry reg(FFolder);
        QVERIFY(reg.OpenKey(kDervel, true));
        reg.WriteBinaryData("Columns", data.constData(), int(data.size()));
        reg.CloseKey();
    }
    auto reg = Reopened();
    QVERIFY(reg);
    QVERIFY(reg->ValueExists("Columns"));
    QCOMPARE(reg->GetDataType("Columns"), rdBinary);
    QCOMPARE(reg->GetDataSize("Columns"), data.size());
    QByteArray buffer(222, '\x55');
    QCOMPARE(reg->ReadBinaryData("Columns", buffer.data(), int(buffer.size())), data.size());
    QCOMPARE(buffer.left(data.size()), data);
    QVERIFY(buffer.mid(data.size()).count('\x55') == buffer.size() - data.size());
}

enum TAction { readInteger, readString, readBinary, writeWithoutKey };

void TestRegistry::failureMessages_data() {
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");

    QTest::newRow("integer read from a string") << int(readInteger) << "Name"
                                                << "Invalid data type for 'Name'";
    QTest::newRow("integer read from binary") << int(readInteger) << "Columns"
                                              << "Invalid data type for 'Columns'";
    QTest::newRow("string read from an integer") << int(readString) << "Order"
                                                 << "Invalid data type for 'Order'";
    QTest::newRow("binary read from a string") << int(readBinary) << "Name"
                                               << "Invalid data type for 'Name'";
    QTest::newRow("binary read from an integer") << int(readBinary) << "Order"
                                                 << "Invalid data type for 'Order'";
    QTest::newRow("binary larger than the buffer") << int(readBinary) << "Columns"
                                                   << "Invalid data type for 'Columns'";
    QTest::newRow("missing integer") << int(readInteger) << "Missing"
                                     << "Failed to get data for 'Missing'";
    QTest::newRow("write with no key open") << int(writeWithoutKey) << "Width"
                                            << "Failed to set data for 'Width'";
}

void TestRegistry::failureMessages() {
    QFETCH(int, action);
    QFETCH(QString, name);
    QFETCH(QString, message);
    TRegistry reg(FFolder);
    QVERIFY(reg.OpenKey(kDervel, true));
    reg.WriteString("Name", "x");
    reg.WriteInteger("Order", 1);
    const QByteArray columns(7, '\1');
    reg.WriteBinaryData("Columns", columns.constData(), 7);
    char buffer[6] = {};
    switch (action) {
    case readInteger:
        QCOMPARE(MessageOf([&] { reg.ReadInteger(name); }), message);
        break;
    case readString:
        QCOMPARE(MessageOf([&] { reg.ReadString(name); }), message);
        break;
    case readBinary:
        QCOMPARE(MessageOf([&] { reg.ReadBinaryData(name, buffer, sizeof buffer); }), message);
        QCOMPARE(QByteArray(buffer, 6), QByteArray(6, '\0'));
        break;
    case writeWithoutKey:
        reg.CloseKey();
        QCOMPARE(MessageOf([&] { reg.WriteInteger(name, 1); }), message);
        break;
    }
    try {
        throw ERegistryException(message);
    } catch (const std::exception& e) {
        QCOMPARE(QString::fromUtf8(e.what()), message);
    }
}

void TestRegistry::missingValues() {
    TRegistry reg(FFolder);
    QVERIFY(reg.OpenKey(kDervel, true));
    QVERIFY(!reg.ValueExists("Version"));
    QCOMPARE(reg.GetDataType("Version"), rdUnknown);
    QCOMPARE(reg.GetDataSize("Version"), -1);
    QCOMPARE(reg.ReadString("Version"), QString(""));
    QCOMPARE(MessageOf([&] { reg.ReadInteger("Order"); }),
             QString("Failed to get data for 'Order'"));
    char buffer[4] = {1, 2, 3, 4};
    QCOMPARE(reg.ReadBinaryData("Columns", buffer, 4), 0);
    QCOMPARE(QByteArray(buffer, 4), QByteArray("\1\2\3\4"));
}

void TestRegistry::keyNamesAreListedInRegistryOrder() {
    const QStringList created = {"{B0000000-0000-0000-0000-000000000000}",
                                 "beta",
                                 "Alpha",
                                 "{a0000000-0000-0000-0000-000000000000}",
                                 "Гамма",
                                 "alpha2",
                                 "_x"};
    {
        TRegistry reg(FFolder);
        for (const QString& name : created) {
            QVERIFY(reg.OpenKey(kServers + "\\" + name, true));
            reg.WriteInteger("Order", 0);
        }
    }
    // By upper-cased names, as regedit lists them: "_" and "{" after the letters.
    const QStringList expected = {"Alpha",
                                  "alpha2",
                                  "beta",
                                  "_x",
                                  "{a0000000-0000-0000-0000-000000000000}",
                                  "{B0000000-0000-0000-0000-000000000000}",
                                  "Гамма"};
    auto reg = Reopened(kServers);
    QVERIFY(reg);
    QCOMPARE(reg->GetKeyNames(), expected);
    QCOMPARE(reg->GetValueNames(), QStringList());
    QVERIFY(reg->OpenKey("\\" + kDervel, false));
    QCOMPARE(reg->GetKeyNames(), QStringList{"Servers"});
}

void TestRegistry::openWithoutCreateNeedsTheKey() {
    TRegistry reg(FFolder);
    QVERIFY(!reg.OpenKey(kServers, false));
    QVERIFY(!QFile::exists(FFile));
    QVERIFY(!reg.KeyExists(kDervel));

    QVERIFY(reg.OpenKey(kDervel, true));
    reg.WriteInteger("Width", 800);
    // A failed open leaves the open key as it was.
    QVERIFY(!reg.OpenKey("\\Software\\Other", false));
    QCOMPARE(reg.CurrentPath(), kDervel);
    QCOMPARE(reg.ReadInteger("Width"), 800);
    QVERIFY(!reg.OpenKey("Software\\\\Dervel", true));
    reg.CloseKey();
    QVERIFY(reg.KeyExists(kDervel));
    QVERIFY(!reg.KeyExists("Software\\Other"));
}

void TestRegistry::pathsStartAtTheRoot() {
    TRegistry reg(FFolder);
    QVERIFY(reg.OpenKey("Software", true));
    QVERIFY(!reg.OpenKey("Dervel", false)); // not looked for below the open key
    QVERIFY(reg.OpenKey("Dervel", true));
    QCOMPARE(reg.CurrentPath(), QString("Dervel"));
    QVERIFY(reg.OpenKey("Software\\Dervel\\Servers\\", true));
    QCOMPARE(reg.CurrentPath(), kServers);
    QVERIFY(reg.OpenKey("\\Software\\Dervel", false));
    QCOMPARE(reg.CurrentPath(), kDervel);
    QVERIFY(!reg.DeleteKey(""));
    QVERIFY(!reg.DeleteKey("\\"));
    reg.CloseKey();
    QVERIFY(reg.KeyExists(kServers));
    QVERIFY(reg.KeyExists("Dervel"));
}

void TestRegistry::deleteKeyRemovesTheTreeAtOnce() {
    const QString doomed = kServers + "\\{11111111-2222-3333-4444-555555555555}";
    const QString kept = kServers + "\\{99999999-2222-3333-4444-555555555555}";
    {
        TRegistry reg(FFolder);
        QVERIFY(reg.OpenKey(doomed + "\\Sub\\Deeper", true));
        reg.WriteString("Name", "deep");
        QVERIFY(reg.OpenKey("\\" + doomed, false));
        reg.WriteString("Name", "doomed");
        QVERIFY(reg.OpenKey("\\" + kept, true));
        reg.WriteString("Name", "kept");
        reg.CloseKey();
    }
    TRegistry reg(FFolder);
    QVERIFY(reg.OpenKey(kept, false));
    reg.WriteString("Version", "16.0"); // pending until the delete saves it
    QVERIFY(reg.DeleteKey("\\" + doomed.toLower()));
    QVERIFY(!reg.DeleteKey("\\" + doomed));
    QVERIFY(!reg.DeleteKey("\\Software\\Nothing\\Here"));
    QVERIFY(!reg.DeleteKey(""));

    // Already on disk: a fresh object sees the outcome without this one closing.
    TRegistry other(FFolder);
    QVERIFY(!other.KeyExists(doomed));
    QVERIFY(!other.KeyExists(doomed + "\\Sub"));
    QVERIFY(other.OpenKey(kept, false));
    QCOMPARE(other.ReadString("Name"), QString("kept"));
    QCOMPARE(other.ReadString("Version"), QString("16.0"));
    QVERIFY(other.OpenKey("\\" + kServers, false));
    QCOMPARE(other.GetKeyNames(), QStringList{"{99999999-2222-3333-4444-555555555555}"});
}

void TestRegistry::keyAndValueNamesIgnoreCase() {
    {
        TRegistry reg(FFolder);
        QVERIFY(reg.OpenKey("Software\\Dervel\\Servers", true));
        reg.WriteString("ConnectionString", "a");
        QVERIFY(reg.OpenKey("\\SOFTWARE\\dervel\\servers\\New", true));
        QVERIFY(reg.OpenKey("\\software\\DERVEL\\SERVERS", true));
        QCOMPARE(reg.CurrentPath(), kServers);
        reg.WriteString("CONNECTIONSTRING", "b");
        QCOMPARE(reg.GetValueNames(), QStringList{"ConnectionString"});
    }
    auto reg = Reopened("software\\dervel");
    QVERIFY(reg);
    QCOMPARE(reg->GetKeyNames(), QStringList{"Servers"});
    QVERIFY(reg->OpenKey("software\\dervel\\servers", false));
    QCOMPARE(reg->ReadString("connectionstring"), QString("b"));
    QCOMPARE(reg->GetKeyNames(), QStringList{"New"});
}

void TestRegistry::fileAndFolderModes() {
    TRegistry reg(FFolder);
    QVERIFY(reg.OpenKey(kDervel, true));
    reg.WriteString("ConnectionString", "Password=secret");
    reg.CloseKey();
    QCOMPARE(Mode(FFile), 0600);
    QCOMPARE(Mode(FFolder), 0700);
    QCOMPARE(QDir(FFolder).entryList(QDir::Files),
             QStringList({"registry.reg", "registry.reg.lock"})); // no temporary left behind
}

void TestRegistry::fileTextForASmallTree() {
    const QString server = kServers + "\\{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";
    {
        TRegistry reg(FFolder);
        QVERIFY(reg.OpenKey(server, true));
        reg.WriteString("Name", "Прод \"main\"");
        reg.WriteString("ConnectionString", "Data Source=srv\\inst;Password=p;w");
        reg.WriteString("Version", "");
        reg.WriteString("Note", "a\nb");
        reg.WriteInteger("Order", 0);
        QVERIFY(reg.OpenKey("\\" + kDervel, false));
        reg.WriteInteger("Width", 1024);
        reg.WriteInteger("HideSys", 1);
        reg.WriteInteger("SortColumn", -1);
        const char columns[] = {0, 1, 2, char(0xfe), char(0xff), 16};
        reg.WriteBinaryData("Columns", columns, sizeof columns);
    }
    QCOMPARE(QString::fromUtf8(ReadAll(FFile)),
             QString("Windows Registry Editor Version 5.00\n"
                     "\n"
                     "[HKEY_CURRENT_USER\\Software]\n"
                     "\n"
                     "[HKEY_CURRENT_USER\\Software\\Dervel]\n"
                     "\"Width\"=dword:00000400\n"
                     "\"HideSys\"=dword:00000001\n"
                     "\"SortColumn\"=dword:ffffffff\n"
                     "\"Columns\"=hex:00,01,02,fe,ff,10\n"
                     "\n"
                     "[HKEY_CURRENT_USER\\Software\\Dervel\\Servers]\n"
                     "\n"
                     "[HKEY_CURRENT_USER\\Software\\Dervel\\Servers\\"
                     "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}]\n"
                     "\"Name\"=\"Прод \\\"main\\\"\"\n"
                     "\"ConnectionString\"=\"Data Source=srv\\\\inst;Password=p;w\"\n"
                     "\"Version\"=\"\"\n"
                     "\"Note\"=hex(1):61,00,0a,00,62,00,00,00\n"
                     "\"Order\"=dword:00000000\n"
                     "\n"));
}

void TestRegistry::handWrittenFileIsRead() {
    WriteAll(
        FFile,
        "\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Dervel]\r\n"
        "\"Width\"=dword:00000320\r\n"
        "\"SortColumn\"=dword:ffffffff\r\n"
        "\"Columns\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,\\\r\n"
        "  15,16\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Dervel\\Servers\\{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}]\r\n"
        "\"Name\"=\"\xd0\xa1\xd0\xb5\xd1\x80\xd0\xb2\xd0\xb5\xd1\x80\"\r\n"
        "\"ConnectionString\"=\"Provider=SQLOLEDB;Data Source=.\\\\SQL\"\r\n"
        "\"Order\"=dword:00000002\r\n"
        "\"Comment\"=hex(1):41,00,0d,00,0a,00,42,00,00,00\r\n"
        "\r\n");
    TRegistry reg(FFolder);
    QVERIFY(reg.OpenKey(kDervel, false));
    QCOMPARE(reg.ReadInteger("Width"), 800);
    QCOMPARE(reg.ReadInteger("SortColumn"), -1);
    char columns[22] = {};
    QCOMPARE(reg.ReadBinaryData("Columns", columns, sizeof columns), 22);
    QCOMPARE(columns[21], char(0x16));
    QVERIFY(reg.OpenKey(kServers + "\\{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}", false));
    QCOMPARE(reg.ReadString("Name"), QString("Сервер"));
    QCOMPARE(reg.ReadString("ConnectionString"), QString("Provider=SQLOLEDB;Data Source=.\\SQL"));
    QCOMPARE(reg.ReadInteger("Order"), 2);
    QCOMPARE(reg.ReadString("Comment"), QString("A\r\nB"));
    QCOMPARE(TRegistry::TakeLoadProblem(), QString());
}

void TestRegistry::damagedFileIsMovedAsideAndReported_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("line");

    const QByteArray good = "Windows Registry Editor Version 5.00\n\n"
                            "[HKEY_CURRENT_USER\\Software\\Dervel]\n"
                            "\"Width\"=dword:00000320\n"
                            "\"Columns\"=hex:01,02,03\n\n";
    QByteArray garbage(600, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919) >> 3);

    QTest::newRow("unparseable line")
        << QByteArray(good).insert(good.indexOf("\"Width"), "Width 800\n") << 4;
    QTest::newRow("bad hex") << QByteArray(good).replace("02", "0x") << 5;
    QTest::newRow("wrong header") << QByteArray(good).replace("5.00", "4.00") << 1;
    QTest::newRow("binary garbage") << garbage << 1;
    QTest::newRow("truncated in a value") << good.left(good.indexOf("00320")) << 4;
    QTest::newRow("truncated in hex") << good.left(good.indexOf(",03")) << 5;
    QTest::newRow("truncated to nothing") << QByteArray() << 1;
}

void TestRegistry::damagedFileIsMovedAsideAndReported() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, line);
    WriteAll(FFile, bytes);
    {
        TRegistry reg(FFolder);
        QVERIFY(!reg.OpenKey(kDervel, false)); // the store starts empty
    }
    QVERIFY(!QFile::exists(FFile));
    const QStringList copies = CorruptCopies(FFolder);
    QCOMPARE(copies.size(), 1);
    QVERIFY2(
        QRegularExpression("^registry\\.reg\\.corrupt-\\d{8}-\\d{6}$").match(copies[0]).hasMatch(),
        qPrintable(copies[0]));
    QCOMPARE(ReadAll(FFolder + "/" + copies[0]), bytes);

    const QString problem = TRegistry::TakeLoadProblem();
    QVERIFY2(problem.contains("\"" + FFile + "\""), qPrintable(problem));
    QVERIFY2(problem.contains(QString("в строке %1:").arg(line)), qPrintable(problem));
    QVERIFY2(problem.contains(copies[0]), qPrintable(problem));
    QCOMPARE(TRegistry::TakeLoadProblem(), QString());

    // The next save starts a new file and leaves the damaged copy alone.
    TRegistry reg(FFolder);
    QVERIFY(reg.OpenKey(kDervel, true));
    reg.WriteInteger("Width", 640);
    reg.CloseKey();
    QVERIFY(reg.OpenKey(kDervel, false));
    QCOMPARE(reg.ReadInteger("Width"), 640);
    QCOMPARE(CorruptCopies(FFolder), copies);
    QCOMPARE(TRegistry::TakeLoadProblem(), QString());
}

void TestRegistry::damagedFileIsNotWrittenOverWhenItCannotBeMoved() {
    if (::geteuid() == 0)
        QSKIP("root may write into a read-only folder");
    const QByteArray damaged = "not a registry file\n";
    WriteAll(FFile, damaged);
    QVERIFY(::chmod(QFile::encodeName(FFolder).constData(), 0500) == 0);
    TRegistry reg(FFolder);
    QVERIFY(!reg.OpenKey(kDervel, false));
    QVERIFY(TRegistry::TakeLoadProblem().contains("Переименовать его не удалось"));
    QVERIFY(!reg.OpenKey(kDervel, true));
    QCOMPARE(ReadAll(FFile), damaged);
}

void TestRegistry::twoInstancesKeepEachOthersChanges() {
    {
        TRegistry seed(FFolder);
        QVERIFY(seed.OpenKey(kDervel, true));
        seed.WriteInteger("Width", 100);
        seed.WriteInteger("Height", 100);
    }
    TRegistry first(FFolder);
    TRegistry second(FFolder);
    QVERIFY(first.OpenKey(kDervel, false));
    QVERIFY(second.OpenKey(kDervel, false));
    first.WriteInteger("Width", 1);
    second.WriteInteger("Height", 2);
    QVERIFY(second.OpenKey(kServers + "\\{S}", true));
    second.WriteString("Name", "from second");
    second.CloseKey();
    // `first` read the file before `second` saved; its save must not undo that.
    first.WriteString("Name", "from first");
    first.CloseKey();

    auto reg = Reopened();
    QVERIFY(reg);
    QCOMPARE(reg->ReadInteger("Width"), 1);
    QCOMPARE(reg->ReadInteger("Height"), 2);
    QCOMPARE(reg->ReadString("Name"), QString("from first"));
    QVERIFY(reg->OpenKey(kServers + "\\{S}", false));
    QCOMPARE(reg->ReadString("Name"), QString("from second"));
}

void TestRegistry::twoProcessesWritingAtOnce() {
    // Without the lock the re-read, change and replace of one process can
    // overlap the other's, and whole saves get lost.
    constexpr int kSaves = 40;
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
        children[p] = ::fork();
        QVERIFY(children[p] >= 0);
        if (children[p] == 0) {
            int status = 0;
            try {
                for (int i = 0; i < kSaves; ++i) {
                    TRegistry reg(FFolder);
                    if (!reg.OpenKey(kServers, true))
                        status = 2;
                    reg.WriteInteger(QString("P%1-%2").arg(p).arg(i), i);
                    reg.CloseKey();
                }
            } catch (const ERegistryException&) {
                status = 3;
            }
            ::_exit(status);
        }
    }
    for (pid_t child : children) {
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }
    auto reg = Reopened(kServers);
    QVERIFY(reg);
    QCOMPARE(reg->GetValueNames().size(), 2 * kSaves);
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < kSaves; ++i)
            QCOMPARE(reg->ReadInteger(QString("P%1-%2").arg(p).arg(i)), i);
}

void TestRegistry::unwritableStoreFailsToSet_data() {
    QTest::addColumn<bool>("readOnlyFolder"); // else a file stands where a folder must be
    QTest::newRow("a file in the folder's path") << false;
    QTest::newRow("read-only folder") << true;
}

void TestRegistry::unwritableStoreFailsToSet() {
    QFETCH(bool, readOnlyFolder);
    QString folder = FFolder;
    if (readOnlyFolder) {
        if (::geteuid() == 0)
            QSKIP("root may write into a read-only folder");
        QVERIFY(QDir().mkpath(FFolder));
        QVERIFY(::chmod(QFile::encodeName(FFolder).constData(), 0500) == 0);
    } else {
        WriteAll(FTemp->path() + "/config", "a file");
    }
    TRegistry reg(folder);
    QVERIFY(!reg.OpenKey(kDervel, true));
    QCOMPARE(MessageOf([&] { reg.WriteInteger("Width", 1); }),
             QString("Failed to set data for 'Width'"));
    QVERIFY(!reg.DeleteKey(kDervel));
}

void TestRegistry::failedSaveAtCloseIsReported() {
    TRegistry reg(FFolder);
    QVERIFY(reg.OpenKey(kDervel, true));
    reg.WriteInteger("Width", 1);
    reg.WriteString("Name", "x");
    // The folder goes away under the open key and a file takes its place.
    QVERIFY(QDir(FFolder).removeRecursively());
    WriteAll(FFolder, "a file");
    QCOMPARE(MessageOf([&] { reg.CloseKey(); }), QString("Failed to set data for 'Width'"));
    QCOMPARE(MessageOf([&] { reg.CloseKey(); }), QString("<no exception>"));
    QCOMPARE(ReadAll(FFolder), QByteArray("a file"));
}

void TestRegistry::unreadableStoreFailsToGet_data() {
    QTest::addColumn<bool>("withoutPermission"); // else a folder stands in the file's place
    QTest::newRow("a folder in the file's place") << false;
    QTest::newRow("file without read permission") << true;
}

void TestRegistry::unreadableStoreFailsToGet() {
    QFETCH(bool, withoutPermission);
    if (withoutPermission) {
        if (::geteuid() == 0)
            QSKIP("root reads any file");
        WriteAll(FFile, "Windows Registry Editor Version 5.00\n\n");
        QVERIFY(::chmod(QFile::encodeName(FFile).constData(), 0) == 0);
    } else {
        QVERIFY(QDir().mkpath(FFile));
    }
    TRegistry reg(FFolder);
    QCOMPARE(MessageOf([&] { reg.OpenKey(kDervel, false); }),
             QString("Failed to get data for 'Software\\Dervel'"));
    QCOMPARE(MessageOf([&] { reg.OpenKey(kDervel, true); }),
             QString("Failed to get data for 'Software\\Dervel'"));
    QVERIFY(!reg.DeleteKey(kDervel));
    QVERIFY(QFileInfo::exists(FFile));
    QVERIFY(CorruptCopies(FFolder).isEmpty());
    QCOMPARE(TRegistry::TakeLoadProblem(), QString());
}

void TestRegistry::storeLocation() {
    const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
    const QString home = QDir::homePath();

    qputenv("XDG_CONFIG_HOME", FTemp->path().toUtf8());
    QCOMPARE(TRegStorage::DefaultFilePath(), FTemp->path() + "/dervel/registry.reg");
    QCOMPARE(TRegistry().FileName(), FTemp->path() + "/dervel/registry.reg");
    qputenv("XDG_CONFIG_HOME", "relative/path");
    QCOMPARE(TRegStorage::DefaultFilePath(), home + "/.config/dervel/registry.reg");
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(TRegStorage::DefaultFilePath(), home + "/.config/dervel/registry.reg");

    TRegistry::SetDefaultLocation(FFolder);
    QCOMPARE(TRegistry().FileName(), FFile);
    TRegistry::SetDefaultLocation(FTemp->path() + "/demo.reg");
    QCOMPARE(TRegistry().FileName(), FTemp->path() + "/demo.reg");
    TRegistry::SetDefaultLocation(QString());
    QCOMPARE(TRegistry().FileName(), home + "/.config/dervel/registry.reg");

    if (savedXdg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", savedXdg);
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
