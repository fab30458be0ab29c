#include "recorder/widgets/recordercommands.h"

#include "database/dberror.h"
#include "episodes/episodeindexer.h"
#include "prompts/prompts.h"
#include "recorder/backgroundrecorder.h"
#include "recorder/recordingreader.h"
#include "recording/logfile.h"
#include "recording/logformat.h"
#include "resources/monitoraction.h"
#include "servers/server.h"

#include <QAction>
#include <QDateTime>
#include <QWidget>

TRecorderCommands::TRecorderCommands(THost AHost, QWidget* AWindow)
    : QObject(AWindow),
      actRecordReplay(MakeMonitorAction(this, "actRecordReplay", tr("Запись для воспроизведения"),
                                        tr("Записывать сеансы сервера для воспроизведения"), 18)),
      FHost(std::move(AHost)) {
    actRecordReplay->setCheckable(true);
    connect(actRecordReplay, &QAction::triggered, this,
            [this](bool on) { actRecordReplayExecute(on); });
}

TRecorderCommands::~TRecorderCommands() = default;

void TRecorderCommands::actRecordReplayExecute(bool AOn) {
    if (!AOn) {
        Stop();
        return;
    }
    TServer* server = FHost.Server();
    if (!server || server->State != stConnected || FHost.Replaying()) {
        actRecordReplay->setChecked(false);
        return;
    }
    QString path = LogFilePath(LogFolder(), QDateTime::currentDateTime(), server->Name);
    path.replace(path.size() - 4, 4, QStringLiteral(".dervelrec"));
    const int period = std::max(1000, FHost.PeriodMs());
    // A failure reported late, after this recording was stopped and maybe another begun,
    // is no longer this window's business.
    const quint64 recording = ++FRecordings;
    const auto failed = [this, recording](const QString& message) {
        QMetaObject::invokeMethod(
            this,
            [this, recording, message] {
                if (recording != FRecordings || !FRecorder)
                    return;
                Stop();
                ShowError(message);
            },
            Qt::QueuedConnection);
    };
    try {
        FRecorder = std::make_unique<TBackgroundRecorder>(
            path, server->Name, server->SharedConnection(), period, failed,
            [path](TRecordingStore& store) -> std::unique_ptr<TRecordingStore> {
                return std::make_unique<TEpisodeIndexer>(
                    store, [path] { return std::make_unique<TRecordingReader>(path); });
            });
    } catch (const ERecordingError& e) {
        actRecordReplay->setChecked(false);
        ShowError(e.message());
        return;
    } catch (const EDbError& e) {
        actRecordReplay->setChecked(false);
        ShowError(e.message());
        return;
    }
    actRecordReplay->setToolTip(tr("Идёт запись для воспроизведения: %1").arg(path));
    FHost.Changed();
}

void TRecorderCommands::Stop() {
    if (!FRecorder)
        return;
    // Returns at once: the recorder finishes a sample under way on its own (see
    // backgroundrecorder.h).
    FRecorder.reset();
    const QSignalBlocker block(actRecordReplay);
    actRecordReplay->setChecked(false);
    actRecordReplay->setToolTip(tr("Записывать сеансы сервера для воспроизведения"));
    FHost.Changed();
}

void TRecorderCommands::Tune(bool ALive) {
    actRecordReplay->setEnabled(ALive || FRecorder);
}
