#include "recorder/backgroundrecorder.h"

#include "platform/dbconnection.h"
#include "platform/dberror.h"

TBackgroundRecorder::TBackgroundRecorder(const QString& APath, const QString& AServerName,
                                         TDbConnection& AConnection, int APeriodMs, TFailed AFailed)
    : FPath(APath) {
    const TRecordedServer server = DescribeServer(AConnection);
    TRecordingInfo info;
    info.Server = AServerName;
    info.ConnectDescr = server.ConnectDescr;
    info.ServerVersion = server.ServerVersion;
    info.Recorder = QStringLiteral("Dervel %1").arg(QStringLiteral(DERVEL_VERSION));
    FWriter = std::make_unique<TRecordingWriter>(APath, info);
    TRecorderOptions options;
    options.PeriodMs = APeriodMs;
    // The window's connection is the window's: a failed sample is tried again on it, and
    // the window reconnects it when the user asks.
    FRecorder = std::make_unique<TRecorder>(
        *FWriter,
        [&AConnection]() -> TDbConnection& {
            if (!AConnection.connected())
                throw EDbError(QStringLiteral("The connection is not open."));
            return AConnection;
        },
        nullptr, options, [](const QString&) {});
    FThread = std::thread([this, failed = std::move(AFailed)] {
        try {
            FRecorder->Run(FStop);
        } catch (const ERecordingError& e) {
            if (failed)
                failed(e.message());
        } catch (const std::exception& e) {
            if (failed)
                failed(QString::fromLocal8Bit(e.what()));
        }
    });
}

TBackgroundRecorder::~TBackgroundRecorder() {
    FStop = true;
    if (FThread.joinable())
        FThread.join();
}
