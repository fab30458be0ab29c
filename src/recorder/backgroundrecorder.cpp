#include "recorder/backgroundrecorder.h"

#include "database/dbconnection.h"
#include "database/dberror.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// The recorder threads still running. Never destroyed: a thread may end after the
// program's static objects are gone.
struct TRunning {
    std::mutex Lock;
    std::condition_variable Ended;
    int Count = 0;
};

TRunning& running() {
    static auto* r = new TRunning;
    return *r;
}

} // namespace

struct TBackgroundRecorder::TState {
    std::shared_ptr<TDbConnection> Connection;
    std::unique_ptr<TRecordingWriter> Writer;
    TWrapStore WrapStore;
    std::unique_ptr<TRecordingStore> Wrapped; // goes before the writer it wraps
    TRecorderOptions Options;
    std::unique_ptr<TRecorder> Recorder;
    std::atomic<bool> Stop{false};
    std::mutex Lock; // guards Failed
    TFailed Failed;
};

TBackgroundRecorder::TBackgroundRecorder(const QString& APath, const QString& AServerName,
                                         std::shared_ptr<TDbConnection> AConnection, int APeriodMs,
                                         TFailed AFailed, TWrapStore AWrapStore)
    : FPath(APath), FState(std::make_shared<TState>()) {
    const TRecordedServer server = DescribeServer(*AConnection);
    TRecordingInfo info;
    info.Server = AServerName;
    info.ConnectDescr = server.ConnectDescr;
    info.ServerVersion = server.ServerVersion;
    info.Recorder = QStringLiteral("Dervel %1").arg(QStringLiteral(DERVEL_VERSION));
    FState->Writer = std::make_unique<TRecordingWriter>(APath, info);
    FState->Connection = std::move(AConnection);
    FState->Failed = std::move(AFailed);
    FState->WrapStore = std::move(AWrapStore);
    FState->Options.PeriodMs = APeriodMs;
    {
        std::lock_guard lock(running().Lock);
        ++running().Count;
    }
    std::thread([state = FState]() mutable {
        QString failure;
        try {
            TRecordingStore* store = state->Writer.get();
            if (state->WrapStore) {
                state->Wrapped = state->WrapStore(*state->Writer);
                store = state->Wrapped.get();
            }
            // The window's connection is the window's: a failed sample is tried again on
            // it, and the window reconnects it when the user asks.
            TDbConnection* connection = state->Connection.get();
            state->Recorder = std::make_unique<TRecorder>(
                *store, [connection]() -> TDbConnection& { return *connection; }, nullptr,
                state->Options, [](const QString&) {});
            state->Recorder->Run(state->Stop);
        } catch (const ERecordingError& e) {
            failure = e.message();
        } catch (const EDbError& e) {
            failure = e.message();
        } catch (const std::exception& e) {
            failure = QString::fromLocal8Bit(e.what());
        }
        if (!failure.isEmpty()) {
            std::lock_guard lock(state->Lock);
            if (state->Failed)
                state->Failed(failure);
        }
        // The file and the connection go here when the window has let go already.
        state.reset();
        std::lock_guard lock(running().Lock);
        --running().Count;
        running().Ended.notify_all();
    }).detach();
}

TBackgroundRecorder::~TBackgroundRecorder() {
    {
        std::lock_guard lock(FState->Lock);
        FState->Failed = nullptr;
    }
    FState->Stop = true;
}

bool TBackgroundRecorder::WaitForAllStopped(int ATimeoutMs) {
    std::unique_lock lock(running().Lock);
    return running().Ended.wait_for(lock, std::chrono::milliseconds(ATimeoutMs),
                                    [] { return running().Count == 0; });
}
