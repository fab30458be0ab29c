#pragma once
// The main window's recording of the watched server: the recorder's loop on a thread of
// its own, sampling over the server's connection (which it shares with the live sampler
// under the connection's command lock) into a recording file.

#include "recorder/recorder.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class TBackgroundRecorder {
public:
    // Called on the recorder's thread when the recording file fails; the recording has
    // stopped by then.
    using TFailed = std::function<void(const QString& message)>;

    // Creates or continues the file and starts sampling. Throws ERecordingError when the
    // file cannot be used; EDbError when the server cannot describe itself.
    TBackgroundRecorder(const QString& APath, const QString& AServerName,
                        TDbConnection& AConnection, int APeriodMs, TFailed AFailed);
    ~TBackgroundRecorder(); // stops and waits

    const QString& path() const { return FPath; }

private:
    QString FPath;
    std::unique_ptr<TRecordingWriter> FWriter;
    std::unique_ptr<TRecorder> FRecorder;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};
