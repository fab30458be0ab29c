// Two windows over one settings file: each read the server list at its start and writes it
// at its exit, while the other may have changed an entry's connection string meanwhile (a
// password moved to the keyring is written at once). A window's exit never puts a moved
// password back, and never overwrites another window's change with a string it left alone.

#include "registry/registry.h"
#include "servers/passwordplacement.h"
#include "servers/server.h"
#include "settings/savedcols.h"
#include "settings/settingsstore.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

enum class TWrite { None, Move, Exit }; // how the first window writes the entry

// A window's server list as its start reads it.
std::unique_ptr<TServer> startWindow(TRegistry& registry) {
    const TLoadedSettings loaded = ReadSettings(registry, 0);
    if (loaded.Servers.size() != 1)
        return nullptr;
    auto server = std::make_unique<TServer>();
    server->Name = loaded.Servers[0].Name;
    server->ConnectionString = loaded.Servers[0].ConnectionString;
    server->ServerID = loaded.Servers[0].ServerID;
    server->SavedConnectionString = loaded.Servers[0].ConnectionString;
    return server;
}

void exitWindow(TRegistry& registry, TServer& server) {
    WriteSettings(registry, {&server}, true, 800, 600, false, 0, 0, BuiltInSavedCols());
}

} // namespace

Q_DECLARE_METATYPE(TWrite)

class TestServerStrings : public QObject {
    Q_OBJECT
private slots:
    void secondWindowsExit_data();
    void secondWindowsExit();
};

void TestServerStrings::secondWindowsExit_data() {
    QTest::addColumn<QString>("initial");   // in the file before both windows start
    QTest::addColumn<TWrite>("firstWrite"); // the first window's write of the entry
    QTest::addColumn<QString>("first");     // its string then
    QTest::addColumn<QString>("second");    // the second window's string at its exit
    QTest::addColumn<QString>("expected");  // in the file after the second window's exit

    const QString pw = u"Data Source=h;User ID=sa;Password=pw"_s;
    QTest::newRow("moved by the first, left alone by the second")
        << pw << TWrite::Move << u"Data Source=h;User ID=sa"_s << pw
        << u"Data Source=h;User ID=sa"_s;
    QTest::newRow("moved, a blank before the keyword, PWD")
        << u"Data Source=h; PWD=pw;User ID=sa"_s << TWrite::Move << u"Data Source=h;User ID=sa"_s
        << u"Data Source=h; PWD=pw;User ID=sa"_s << u"Data Source=h;User ID=sa"_s;
    QTest::newRow("moved, a quoted password with ;")
        << u"Data Source=h;User ID=sa;Password=\"a;b\""_s << TWrite::Move
        << u"Data Source=h;User ID=sa"_s << u"Data Source=h;User ID=sa;Password=\"a;b\""_s
        << u"Data Source=h;User ID=sa"_s;
    QTest::newRow("moved, the second changed the server: its change without the password")
        << pw << TWrite::Move << u"Data Source=h;User ID=sa"_s
        << u"Data Source=h2;User ID=sa;Password=pw"_s << u"Data Source=h2;User ID=sa"_s;
    QTest::newRow("moved, the second typed a new password: it is written")
        << pw << TWrite::Move << u"Data Source=h;User ID=sa"_s
        << u"Data Source=h;User ID=sa;Password=new"_s << u"Data Source=h;User ID=sa;Password=new"_s;
    QTest::newRow("edited by the first at its exit, left alone by the second")
        << pw << TWrite::Exit << u"Data Source=h3;User ID=sa;Password=pw"_s << pw
        << u"Data Source=h3;User ID=sa;Password=pw"_s;
    QTest::newRow("changed by both: the later exit wins")
        << pw << TWrite::Exit << u"Data Source=h3;User ID=sa;Password=pw"_s
        << u"Data Source=h4;User ID=sa;Password=pw"_s << u"Data Source=h4;User ID=sa;Password=pw"_s;
    QTest::newRow("only the second changed it")
        << pw << TWrite::None << QString() << u"Data Source=h5;User ID=sa;Password=pw"_s
        << u"Data Source=h5;User ID=sa;Password=pw"_s;
}

void TestServerStrings::secondWindowsExit() {
    QFETCH(QString, initial);
    QFETCH(TWrite, firstWrite);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString file = dir.filePath(u"registry.reg"_s);
    {
        TRegistry registry(file);
        TServer entry;
        entry.Name = u"Prod"_s;
        entry.ConnectionString = initial;
        exitWindow(registry, entry);
    }
    TRegistry firstRegistry(file);
    TRegistry secondRegistry(file);
    const std::unique_ptr<TServer> firstWindow = startWindow(firstRegistry);
    const std::unique_ptr<TServer> secondWindow = startWindow(secondRegistry);
    QVERIFY(firstWindow && secondWindow);

    firstWindow->ConnectionString = first;
    if (firstWrite == TWrite::Move)
        QVERIFY(WriteServerConnectionString(firstRegistry, *firstWindow));
    else if (firstWrite == TWrite::Exit)
        exitWindow(firstRegistry, *firstWindow);
    secondWindow->ConnectionString = second;
    exitWindow(secondRegistry, *secondWindow);

    TRegistry reader(file);
    const std::unique_ptr<TServer> after = startWindow(reader);
    QVERIFY(after);
    QCOMPARE(after->ConnectionString, expected);
    // A third window starts from it and, changing nothing, keeps it.
    exitWindow(reader, *after);
    QCOMPARE(startWindow(reader)->ConnectionString, expected);
}

QTEST_GUILESS_MAIN(TestServerStrings)
#include "tst_serverstrings.moc"
