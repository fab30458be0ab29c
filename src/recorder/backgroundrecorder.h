#pragma once
// The main window's recording of the watched server: the recorder's loop on a thread of
// its own, sampling over the server's connection (which it shares with the live sampler
// under the connection's command lock) into a recording file.
//
// Stopping never waits. A sample on a server that has stopped answering lasts until the
// query's timeout (30 s); the window must not hang that long on a disconnect, a click on
// another server or its close. So the thread is told to stop and left to finish on its
// own: it owns the file and shares the ownership of the connection, and lets go of both
// when it ends, whatever has become of the window and the server entry by then. While it
// still works on the connection it counts among the connection's data sets, so a
// disconnect waits for it as long as for the sampler (about a second) and otherwise
// leaves the connection open.

#include "recorder/recorder.h"

#include <QString>
#include <functional>
#include <memory>

class TBackgroundRecorder {
public:
    // Called on the recorder's thread when the recording file fails, the recording having
    // stopped by then; never after the recorder was destroyed.
    using TFailed = std::function<void(const QString& message)>;
    // Wraps the file's store in one that does more with what is written (the window keeps
    // the recording's blocking episodes so); called on the recorder's thread, before the
    // first snapshot, since it may read what the file holds.
    using TWrapStore = std::function<std::unique_ptr<TRecordingStore>(TRecordingStore&)>;

    // Creates or continues the file and starts sampling. Throws ERecordingError when the
    // file cannot be used; EDbError when the server cannot describe itself.
    TBackgroundRecorder(const QString& APath, const QString& AServerName,
                        std::shared_ptr<TDbConnection> AConnection, int APeriodMs, TFailed AFailed,
                        TWrapStore AWrapStore = {});
    // Tells the thread to stop and returns at once.
    ~TBackgroundRecorder();
    TBackgroundRecorder(const TBackgroundRecorder&) = delete;
    TBackgroundRecorder& operator=(const TBackgroundRecorder&) = delete;

    const QString& path() const { return FPath; }

    // Waits at most ATimeoutMs for every recorder thread of the process to have ended (a
    // stopped recorder's thread lets go of its file and connection as it ends); true when
    // none is left. For the program's end, which should let a stopped recorder finish
    // writing its snapshot, and for tests.
    static bool WaitForAllStopped(int ATimeoutMs);

private:
    struct TState;
    QString FPath;
    std::shared_ptr<TState> FState;
};
