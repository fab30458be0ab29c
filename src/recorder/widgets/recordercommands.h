#pragma once
// "Запись для воспроизведения": the window's recording of the watched server into a
// recording file beside its logs, at the window's period (a second at least), until the
// button is pressed again or another server is watched. The recording runs on a thread
// of its own (backgroundrecorder.h) that the window never waits for.

#include <QObject>
#include <functional>
#include <memory>

class QAction;
class QWidget;
class TBackgroundRecorder;
class TServer;

class TRecorderCommands : public QObject {
    Q_OBJECT
public:
    struct THost {
        std::function<TServer*()> Server; // the watched entry, or null
        std::function<bool()> Replaying;  // a recording is on show: nothing to record
        std::function<int()> PeriodMs;    // the window's period
        std::function<void()> Changed;    // the recording began or ended
    };
    TRecorderCommands(THost AHost, QWidget* AWindow);
    ~TRecorderCommands() override;

    QAction* const actRecordReplay;

    void actRecordReplayExecute(bool AOn);
    // Stops the recording, if one runs; returns at once.
    void Stop();
    bool Recording() const { return FRecorder != nullptr; }
    // Enabled while the watched server can be recorded, or a recording runs.
    void Tune(bool ALive);

private:
    THost FHost;
    std::unique_ptr<TBackgroundRecorder> FRecorder;
    quint64 FRecordings = 0; // numbers the recordings, so that a late failure finds its own
};
