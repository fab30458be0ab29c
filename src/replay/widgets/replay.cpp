#include "replay/widgets/replay.h"

#include "actions/widgets/modalrun.h"
#include "pgstore/pgrecordingreader.h"
#include "prompts/prompts.h"
#include "recorder/recordingreader.h"
#include "recording/logfile.h"
#include "replay/recordeddetail.h"
#include "replay/replayfilter.h"
#include "replay/widgets/databaserecordingdialog.h"
#include "replay/widgets/replaybar.h"
#include "replay/widgets/replaycomparison.h"
#include "replay/widgets/replayexport.h"
#include "resources/monitoraction.h"

#include <QAction>
#include <QComboBox>

TReplay::TReplay(THost AHost, QWidget* AWindow)
    : actOpenRecording(MakeMonitorAction(this, "actOpenRecording", tr("Открыть запись"),
                                         tr("Открыть запись для просмотра (Ctrl+O)"), 17,
                                         QKeySequence(Qt::CTRL | Qt::Key_O))),
      actOpenDatabaseRecording(
          MakeMonitorAction(this, "actOpenDatabaseRecording", tr("Открыть запись из базы"),
                            tr("Открыть запись из базы PostgreSQL (Ctrl+Shift+O)"), 17,
                            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O))),
      actExportSpan(MakeMonitorAction(this, "actExportSpan", tr("Сохранить период…"),
                                      tr("Сохранить период записи отдельным файлом и сводку "
                                         "HTML"),
                                      -1, QKeySequence())),
      FHost(std::move(AHost)), FBar(new TReplayBar),
      FComparison(new TReplayComparison(FBar, this)) {
    FBar->addTools({actExportSpan}, nullptr);
    connect(actExportSpan, &QAction::triggered, this, [this] { actExportSpanExecute(); });
    AWindow->addAction(actOpenRecording);
    AWindow->addAction(actOpenDatabaseRecording);
    connect(actOpenRecording, &QAction::triggered, this, [this] { actOpenRecordingExecute(); });
    connect(actOpenDatabaseRecording, &QAction::triggered, this,
            [this] { actOpenDatabaseRecordingExecute(); });
    FBar->hide();
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        if (FIndex + 1 >= count() && !reload())
            return;
        if (FIndex + 1 < count()) {
            Seek(FIndex + 1);
            scheduleNext();
        } else {
            Play(false);
        }
    });
    connect(FBar->actPrevious, &QAction::triggered, this, [this] { Step(-1); });
    connect(FBar->actNext, &QAction::triggered, this, [this] { Step(1); });
    connect(FBar->actPlay, &QAction::triggered, this, [this](bool on) { Play(on); });
    connect(FBar->actClose, &QAction::triggered, this, [this] { Close(); });
    connect(FBar, &TReplayBar::seekRequested, this, [this](qint64 t) { SeekTime(t); });
    connect(FComparison->actMark, &QAction::triggered, this, [this] {
        if (!FReader)
            return;
        try {
            FComparison->Mark(FReader->rowsAt(FIndex), FReader->timeAt(FIndex));
        } catch (const ERecordingError& e) {
            ShowError(e.message());
        }
        Refilter();
    });
    connect(FComparison->actCompare, &QAction::toggled, this, [this] { Refilter(); });
    connect(FBar->cbSpeed, &QComboBox::currentIndexChanged, this, [this] {
        if (playing())
            scheduleNext();
    });
}

TReplay::~TReplay() = default;

void TReplay::actOpenRecordingExecute() {
    const QString path = Prompts().openFile(FBar->window(), tr("Открыть запись"),
                                            LogFolder(), // where the window's recordings go
                                            tr("Записи Dervel (*.dervelrec);;Все файлы (*)"));
    if (!path.isEmpty())
        Open(path);
}

void TReplay::actOpenDatabaseRecordingExecute() {
    auto* dialog = new TDatabaseRecordingDialog(
        FBar->window(), FLastAddress, [this](const QString& address, const QString& server) {
            return OpenDatabase(address, server);
        });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    RunModal(dialog);
}

void TReplay::actExportSpanExecute() {
    if (!FReader)
        return;
    Play(false);
    const qint64 mark = FComparison->markTime();
    const qint64 now = FReader->timeAt(FIndex);
    ExportSpanFromWindow(FBar->window(), *FReader,
                         mark >= 0 ? std::min(mark, now) : FReader->timeAt(0),
                         mark >= 0 ? std::max(mark, now) : now);
}

TViewHost::TRecorded TReplay::RecordedView() {
    return {info().Server, ReplayTimeText(time()), [this](const TMonitorRec& rec) {
                const std::optional<TRecordedRow> row = RecordedRow(rec);
                TRecordedRow fallback;
                fallback.Rec = rec;
                return RecordedSessionDetail(row ? *row : fallback);
            }};
}

const TRecordingInfo& TReplay::info() const {
    return FReader->info();
}

const QString& TReplay::path() const {
    return FReader->path();
}

int TReplay::count() const {
    return FReader ? FReader->count() : 0;
}

bool TReplay::reload() {
    // A recording that is still being written goes on; one that retention shrinks loses
    // its oldest snapshots, and every index after them moves. The place is the snapshot's.
    const qint64 first = FReader->idAt(0), last = FReader->idAt(count() - 1);
    try {
        FReader->reload();
    } catch (const ERecordingError& e) {
        Play(false);
        ShowError(e.message());
        return false;
    }
    if (count() == 0) {
        const QString path = FReader->path();
        Close();
        ShowError(tr("В записи «%1» нет ни одного снимка.").arg(path));
        return false;
    }
    FBar->setSpan(FReader->timeAt(0), FReader->timeAt(count() - 1), FReader->gaps());
    FBar->setEvents(FReader->events());
    // Played at the end of a recording being written, it is read again every second:
    // only a recording that changed is news.
    if (FReader->idAt(0) != first || FReader->idAt(count() - 1) != last)
        emit recordingChanged();
    const int at = FReader->indexOfId(FId);
    if (at < 0) {
        Seek(FReader->indexAt(FTime));
        return true;
    }
    FIndex = at;
    FBar->showPosition(FTime, FIndex, count(), FReader->gapBefore(FIndex));
    return true;
}

qint64 TReplay::time() const {
    return FReader && FIndex >= 0 ? FReader->timeAt(FIndex) : 0;
}

bool TReplay::Open(const QString& APath) {
    try {
        return open(std::make_unique<TRecordingReader>(APath),
                    [APath] { return std::make_unique<TRecordingReader>(APath); });
    } catch (const ERecordingError& e) {
        ShowError(e.message());
        return false;
    }
}

bool TReplay::OpenDatabase(const QString& AAddress, const QString& AServer) {
    try {
        const bool opened =
            open(std::make_unique<TPgRecordingReader>(AAddress, AServer), [AAddress, AServer] {
                return std::make_unique<TPgRecordingReader>(AAddress, AServer);
            });
        if (opened)
            FLastAddress = AAddress;
        return opened;
    } catch (const ERecordingError& e) {
        ShowError(e.message());
        return false;
    }
}

bool TReplay::open(std::unique_ptr<TRecordingSource> AReader,
                   std::function<std::unique_ptr<TRecordingSource>()> AReopen) {
    if (AReader->count() == 0) {
        ShowError(tr("В записи «%1» нет ни одного снимка.").arg(AReader->path()));
        return false;
    }
    if (FReader)
        Close();
    FReader = std::move(AReader);
    FReopen = std::move(AReopen);
    FComparison->Clear();
    FDatabases.clear();
    FIndex = 0;
    FId = FReader->idAt(0);
    FTime = FReader->timeAt(0);
    FBar->setSpan(FReader->timeAt(0), FReader->timeAt(count() - 1), FReader->gaps());
    FBar->setEvents(FReader->events());
    FBar->setPlaying(false);
    FBar->show();
    FHost.ActiveChanged(true);
    show();
    emit recordingChanged();
    return true;
}

void TReplay::Close() {
    if (!FReader)
        return;
    FTimer.stop();
    FReader.reset();
    FReopen = nullptr;
    FComparison->Clear();
    FIndex = -1;
    FBar->hide();
    FHost.ActiveChanged(false);
    emit recordingChanged();
}

void TReplay::Seek(int AIndex) {
    if (!FReader)
        return;
    const int index = FIndex;
    const qint64 id = FId, time = FTime;
    FIndex = std::clamp(AIndex, 0, count() - 1);
    FId = FReader->idAt(FIndex);
    FTime = FReader->timeAt(FIndex);
    // A snapshot that does not read leaves the one on show where it was.
    if (!show() && index >= 0 && FReader->indexOfId(id) >= 0) {
        FIndex = FReader->indexOfId(id);
        FId = id;
        FTime = time;
    }
}

void TReplay::SeekTime(qint64 ATimeMs) {
    if (FReader)
        Seek(FReader->indexAt(ATimeMs));
}

void TReplay::Step(int ADelta) {
    if (!FReader)
        return;
    // Past the last snapshot of a recording still being written: whatever came since.
    if (FIndex + ADelta >= count() && !reload())
        return;
    Seek(FIndex + ADelta);
}

void TReplay::Play(bool APlay) {
    FBar->setPlaying(APlay && FReader);
    if (!APlay || !FReader) {
        FTimer.stop();
        return;
    }
    if (FIndex + 1 >= count())
        Seek(0); // from the start again
    scheduleNext();
}

void TReplay::scheduleNext() {
    if (!FReader)
        return;
    qint64 wait = 1000;
    if (FIndex + 1 < count()) {
        wait = FReader->timeAt(FIndex + 1) - FReader->timeAt(FIndex);
        // No snapshot was taken in a gap: there is nothing to wait for.
        if (FReader->gapBefore(FIndex + 1))
            wait = 500;
    }
    FTimer.start(int(std::clamp<qint64>(qint64(double(wait) / FBar->speed()), 10, 60000)));
}

void TReplay::Refilter() {
    if (FReader)
        show();
}

bool TReplay::show() {
    const TRowState* rows = nullptr;
    try {
        rows = &FReader->rowsAt(FIndex);
    } catch (const ERecordingError& e) {
        Play(false);
        ShowError(e.message());
        return false;
    }
    bool grown = false;
    for (const auto& [key, row] : *rows)
        if (!row.Rec.DB.isEmpty() && !FDatabases.contains(row.Rec.DB)) {
            FDatabases << row.Rec.DB;
            grown = true;
        }
    if (grown) {
        FDatabases.sort(Qt::CaseInsensitive);
        FHost.Databases(FDatabases);
    }
    TRowState compared;
    if (comparing()) {
        compared = FComparison->Compare(*rows, FReader->timeAt(FIndex), FReader->gaps());
        rows = &compared;
    }
    TRecList shown = ReplayRows(*rows, FHost.Filters(), FHost.SortColumn(), FHost.SortDescending());
    FBar->showPosition(FReader->timeAt(FIndex), FIndex, count(), FReader->gapBefore(FIndex));
    FHost.Show(shown, FReader->timeAt(FIndex));
    ClearRecList(shown);
    return true;
}

bool TReplay::comparing() const {
    return FReader && FComparison->comparing();
}

std::optional<TRecordedRow> TReplay::RecordedRow(const TMonitorRec& ARec) const {
    if (!FReader || FIndex < 0)
        return std::nullopt;
    const TRowState* found = nullptr;
    try {
        found = &FReader->rowsAt(FIndex);
    } catch (const ERecordingError&) {
        return std::nullopt; // the grid's own record then; the error was shown with the grid
    }
    const TRowState& rows = *found;
    const auto it = rows.lower_bound(TRowKey{ARec.SPID, ARec.RequestID, ARec.LoginTime, 0});
    if (it == rows.end() || it->first.SPID != ARec.SPID || it->first.RequestID != ARec.RequestID)
        return std::nullopt;
    return it->second;
}
