#include "record/serverrecording.h"

#include "database/dbconnection.h"
#include "database/dberror.h"
#include "episodes/episodeindexer.h"
#include "metrics/metricsstate.h"
#include "pgstore/pgconnection.h"
#include "pgstore/pgrecordingwriter.h"
#include "recorder/recordcommandline.h"
#include "recorder/recorderalerts.h"
#include "recorder/recordingreader.h"
#include "recorder/recordingwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <chrono>

namespace {

QString refused(const QString& AName, const EDbError& AError) {
    return QCoreApplication::translate("RecordCommandLine",
                                       "Сервер «%1» отклонил вход: %2 Запись остановлена, чтобы "
                                       "повторные попытки не заблокировали вход; исправьте пароль "
                                       "и запустите снова.")
        .arg(AName, AError.message().trimmed());
}

} // namespace

std::unique_ptr<TRecordingStore> OpenRecordingStore(const QString& AOut,
                                                    const TRecordingInfo& AInfo,
                                                    std::unique_ptr<TWriterLock> ALock,
                                                    unsigned& ANarrowed) {
    ANarrowed = 0;
    if (IsPgAddress(AOut))
        return std::make_unique<TPgRecordingWriter>(AOut, AInfo);
    auto writer = std::make_unique<TRecordingWriter>(AOut, AInfo, std::move(ALock));
    ANarrowed = writer->narrowedFrom();
    return writer;
}

QString RecordingFileInFolder(const QString& AFolder, const QString& AName) {
    QString name = AName;
    // A name may be anything a user typed: a path's separators and a leading dot would
    // put the file elsewhere or hide it.
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\0'), QLatin1Char('_'));
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name.prepend(QLatin1Char('_'));
    return QDir(AFolder).filePath(name + QStringLiteral(".dervelrec"));
}

TServerRecording::TServerRecording(TServerJob AJob, const TRecorderOptions& AOptions, bool AAlone,
                                   TMetricsState* AMetrics, TReport AReport)
    : FJob(std::move(AJob)), FOptions(AOptions), FAlone(AAlone), FMetrics(AMetrics),
      FReport(std::move(AReport)) {
    if (FMetrics)
        FMetrics->addServer(FJob.Name);
}

TServerRecording::~TServerRecording() {
    join();
}

void TServerRecording::start(const std::atomic<bool>& AStop) {
    FThread = std::thread([this, &AStop] {
        FStatus = run(AStop);
        FFinished = true;
    });
}

void TServerRecording::join() {
    if (FThread.joinable())
        FThread.join();
}

void TServerRecording::openConnection(TDbConnection& AConnection) {
    if (FJob.Login.Credentials)
        AConnection.open(FJob.Login.Credentials->user, FJob.Login.Credentials->password);
    else
        AConnection.open();
}

bool TServerRecording::firstConnect(const std::atomic<bool>& AStop, TDbConnection& AConnection) {
    int backoffMs = 1000;
    for (;;) {
        try {
            openConnection(AConnection);
            return true;
        } catch (const EDbError& e) {
            if (FAlone || e.loginRefused())
                throw;
            if (FMetrics)
                FMetrics->failed(FJob.Name, 0);
            FReport(QCoreApplication::translate("Recorder",
                                                "Нет соединения: %1 Следующая попытка через %2 с.")
                        .arg(e.message().trimmed())
                        .arg(backoffMs / 1000));
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(backoffMs);
        while (std::chrono::steady_clock::now() < until) {
            if (AStop ||
                (FOptions.StopAtMs && QDateTime::currentMSecsSinceEpoch() >= FOptions.StopAtMs))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        backoffMs = std::min(backoffMs * 2, FOptions.MaxBackoffMs);
    }
}

void TServerRecording::observe(const TRecorder::TRound& ARound) {
    if (!FMetrics)
        return;
    if (!ARound.Rows) {
        FMetrics->failed(FJob.Name, ARound.DurationMs);
        FCpu.clear();
        FCpuAt = -1;
        return;
    }
    TSessionCpu current;
    const TServerFigures figures =
        MeasureSnapshot(*ARound.Rows, ARound.TimeMs, FCpu, FCpuAt, current);
    FCpu = std::move(current);
    FCpuAt = ARound.TimeMs;
    FMetrics->sampled(FJob.Name, figures, ARound.TimeMs, ARound.DurationMs);
}

int TServerRecording::run(const std::atomic<bool>& AStop) {
    TDbConnection connection;
    connection.setConnectionString(FJob.ConnectionString);
    TRecordedServer server;
    try {
        if (!firstConnect(AStop, connection))
            return kRecordExitOk;
        server = DescribeServer(connection);
    } catch (const EDbError& e) {
        if (e.loginRefused()) {
            FReport(refused(FJob.Name, e));
            return kRecordExitLoginRefused;
        }
        FReport(
            QCoreApplication::translate("RecordCommandLine", "Не удалось подключиться к «%1»: %2")
                .arg(FJob.Name, e.message().trimmed()));
        return kRecordExitNoConnection;
    }
    try {
        TRecordingInfo info;
        info.Server = FJob.Name;
        info.ConnectDescr = server.ConnectDescr;
        info.ServerVersion = server.ServerVersion;
        info.WithText = FOptions.WithText;
        info.Recorder = QStringLiteral("dervel-record %1").arg(QStringLiteral(DERVEL_VERSION));
        unsigned narrowed = 0;
        const std::unique_ptr<TRecordingStore> store =
            OpenRecordingStore(FJob.Out, info, std::move(FJob.Lock), narrowed);
        if (narrowed)
            FReport(QCoreApplication::translate("RecordCommandLine",
                                                "Файл %1 был доступен другим пользователям (права "
                                                "%2); теперь он только ваш (0600).")
                        .arg(FJob.Out)
                        .arg(narrowed, 4, 8, QLatin1Char('0')));
        // Episodes are kept with a file; a database's are found when it is read.
        TEpisodeIndexer indexed(
            *store, [&store] { return std::make_unique<TRecordingReader>(store->where()); });
        TRecorder recorder(
            indexed,
            [this, &connection]() -> TDbConnection& {
                if (!connection.connected())
                    openConnection(connection);
                return connection;
            },
            [](TDbConnection& lost) { lost.close(); }, FOptions, FReport);
        recorder.Observe = [this](const TRecorder::TRound& round) { observe(round); };
        TRecorderAlerts alerts(FJob.Name, AlertRules, FOptions.PeriodMs, indexed, AlertCommand,
                               FReport);
        if (FMetrics)
            alerts.OpenChanged = [this](const QMap<QString, int>& byRule) {
                FMetrics->setOpenAlerts(FJob.Name, byRule);
            };
        recorder.Sampled = [&alerts](qint64 at, const TRecordedRows& rows) {
            alerts.sampled(at, rows);
        };
        recorder.Silent = [&alerts](qint64 at) { alerts.silent(at); };
        FReport(QCoreApplication::translate("RecordCommandLine", "Запись в %1 каждые %2 мс.")
                    .arg(store->where())
                    .arg(FOptions.PeriodMs));
        try {
            recorder.Run(AStop);
        } catch (const EDbError& e) {
            // The recorder gives up on the server only for a refused login.
            if (!e.loginRefused()) {
                FReport(e.message().trimmed());
                return kRecordExitNoConnection;
            }
            FReport(refused(FJob.Name, e));
            return kRecordExitLoginRefused;
        }
        FReport(QCoreApplication::translate("RecordCommandLine",
                                            "Запись остановлена: записано снимков — %1.")
                    .arg(store->snapshotsWritten()));
    } catch (const ERecordingError& e) {
        FReport(e.message());
        return kRecordExitFailed;
    }
    return kRecordExitOk;
}
