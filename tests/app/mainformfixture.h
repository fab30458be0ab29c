#pragma once
// A main window for one test: settings in a temporary folder, prompts answered in
// advance, the test server running, and helpers to feed the grid snapshots directly.

#include "app/mainform.h"
#include "scriptedprompts.h"
#include "testserverfixture.h"

#include <QTemporaryDir>
#include <memory>

class TServer;

class TMainFormFixture {
public:
    // startNow false: the settings folder exists but the window is made by start(), so a
    // test can write the settings a start should find.
    explicit TMainFormFixture(bool startNow = true);
    ~TMainFormFixture();
    void start();

    TMainForm& form() { return *FForm; }
    TScriptedPrompts& prompts() { return FPrompts; }
    TTestServer& server() { return FServer; }
    QString settingsFolder() const { return FSettings.path(); }

    // Adds a server entry for the test server and connects it through the Add command.
    TServer* addConnectedServer(const QString& name = QStringLiteral("Test"));
    // Closes the window and makes a new one over the same settings (a restart).
    void restart();
    // Destroys the window as the program's end does (closing it first if it is open).
    void finish();
    // Puts a snapshot into the sampler's buffer and applies it as an arrival would.
    void arrive(const QList<TMonitorRec>& records, qint64 sampleTimeMs = 0);

private:
    QTemporaryDir FSettings;
    TScriptedPrompts FPrompts;
    TTestServer FServer;
    std::unique_ptr<TMainForm> FForm;
};

// A record with the fields the grid tests care about.
TMonitorRec Rec(int spid, int request = 0, const QString& status = QStringLiteral("sleeping"),
                int blocking = 0, bool blocked = false);
