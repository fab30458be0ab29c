#pragma once
// A recording shown in the grid instead of a live server. It owns the recording being
// read and its bar; the window hands it its filters and sort, and takes each snapshot it
// shows as it takes a sampler's. Playing follows the recorded pace, faster when chosen,
// and skips the time of a gap at once.

#include "actions/widgets/viewhost.h"
#include "recorder/recordingsource.h"
#include "sampling/querycomposition.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

class QAction;
class TReplayBar;
class TReplayComparison;
class QWidget;

class TReplay : public QObject {
    Q_OBJECT
public:
    // What the replay needs of the window.
    struct THost {
        std::function<TQueryFilters()> Filters;
        std::function<int()> SortColumn;
        std::function<bool()> SortDescending;
        // A snapshot to show, filtered and sorted; the window takes the records.
        std::function<void(TRecList& rows, qint64 timeMs)> Show;
        // The recording was opened (true) or closed (false).
        std::function<void(bool active)> ActiveChanged;
        // The databases met in the recording so far, by name; grows as snapshots show.
        std::function<void(const QStringList& names)> Databases;
    };

    // AWindow's Ctrl+O opens a recording. The bar is made without a parent: the window
    // puts it into its layout where it belongs, which also gives it its place among the
    // window's controls for Tab.
    TReplay(THost AHost, QWidget* AWindow);
    ~TReplay() override;

    // "Открыть запись" (Ctrl+O): asks for a recording file and opens it.
    QAction* const actOpenRecording;
    void actOpenRecordingExecute();
    // "Открыть запись из базы" (Ctrl+Shift+O): a server's recording in a PostgreSQL database.
    QAction* const actOpenDatabaseRecording;
    void actOpenDatabaseRecordingExecute();

    // "Сохранить период…": a span of the recording as a recording file of its own, with
    // its HTML summary; from the marked moment (or the start) to the snapshot on show.
    QAction* const actExportSpan;
    void actExportSpanExecute();

    // Opens a recording and shows its first snapshot; tells the user and returns false
    // when the file is no readable recording.
    bool Open(const QString& APath);
    // The same for a server's recording in a database.
    bool OpenDatabase(const QString& AAddress, const QString& AServer);
    void Close();
    bool active() const { return FReader != nullptr; }

    TReplayBar* bar() const { return FBar; }
    const TRecordingInfo& info() const;
    const QString& path() const;
    int index() const { return FIndex; }
    int count() const;
    qint64 time() const;

    void Seek(int AIndex);
    void SeekTime(qint64 ATimeMs);
    void Step(int ADelta);
    void Play(bool APlay);
    bool playing() const { return FTimer.isActive(); }
    // Shows the snapshot again through the window's present filters and sort.
    void Refilter();

    // Two moments compared: the mark and the comparison's commands.
    TReplayComparison* comparison() const { return FComparison; }
    // Whether the snapshot on show is compared with a marked one: its rate fields then
    // hold the counters' growth since the mark, and each record its change.
    bool comparing() const;

    // Opens the recording on show anew, for a reader on another thread; empty when none is
    // on show. The function throws ERecordingError.
    const std::function<std::unique_ptr<TRecordingSource>()>& reopen() const { return FReopen; }

    // The recorded row behind a record of the snapshot on show, for the detail window.
    std::optional<TRecordedRow> RecordedRow(const TMonitorRec& ARec) const;
    // What the detail windows show of a session while the recording is on show.
    TViewHost::TRecorded RecordedView();

signals:
    // A recording was opened or closed, or the one on show read again: it may have grown.
    void recordingChanged();

private:
    // Shows the snapshot at FIndex; false (the user told) when it does not read.
    bool show();
    void scheduleNext();
    // Reads the recording's list again and finds the snapshot on show in it (or, when
    // retention dropped it, the first one after its time). False when the recording can
    // no longer be shown: the user was told, and it was closed if it has no snapshot.
    bool reload();
    bool open(std::unique_ptr<TRecordingSource> AReader,
              std::function<std::unique_ptr<TRecordingSource>()> AReopen);

    THost FHost;
    TReplayBar* FBar;
    TReplayComparison* FComparison;
    std::unique_ptr<TRecordingSource> FReader;
    std::function<std::unique_ptr<TRecordingSource>()> FReopen;
    QString FLastAddress; // the database last opened from, offered again
    int FIndex = -1;      // where FId is in the reader's list as last read
    qint64 FId = -1;      // the snapshot on show
    qint64 FTime = 0;
    QTimer FTimer;
    QStringList FDatabases;
};
