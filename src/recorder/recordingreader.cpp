#include "recorder/recordingreader.h"

#include "recorder/snapshotinflate.h"

#include <QCoreApplication>

namespace {

ERecordingError tooMany(const QString& APath, qsizetype ALimit) {
    return ERecordingError(
        QCoreApplication::translate("Recording",
                                    "В записи «%1» больше %2 снимков или перерывов: столько "
                                    "не прочесть. Такие записи ограничивают параметром --retain.")
            .arg(APath)
            .arg(ALimit));
}

} // namespace

TRecordingReader::TRecordingReader(const QString& APath, const TRecordingLimits& ALimits)
    : FPath(APath), FLimits(ALimits) {
    FBudget.Limit = FLimits.RowBytes;
    FFile = OpenRecordingFile(APath, false, FLimits);
    FInfo = ReadRecordingInfo(*FFile, APath);
    try {
        FHasEvents = RecordingHasEvents(*FFile);
        FData =
            std::make_unique<TSqliteStatement>(*FFile, "SELECT data FROM snapshots WHERE id = ?1");
    } catch (const ESqliteError& e) {
        throw RecordingError(APath, e);
    }
    reload();
}

TRecordingReader::~TRecordingReader() = default;

void TRecordingReader::reload() {
    std::vector<TEntry> index;
    QList<TRecordingGap> gaps;
    QList<TRecordingEvent> events;
    try {
        TSqliteStatement st(*FFile, "SELECT id, time, full FROM snapshots ORDER BY id");
        int full = -1;
        while (st.step()) {
            if (qsizetype(index.size()) >= FLimits.Snapshots)
                throw tooMany(FPath, FLimits.Snapshots);
            if (st.integer(2))
                full = int(index.size());
            // Times only go forward: a time before the one of the snapshot before (a file
            // from a recorder that followed a clock set back) is read as that one.
            const qint64 time =
                std::max(st.integer(1), index.empty() ? st.integer(1) : index.back().Time);
            index.push_back({st.integer(0), time, full});
        }
        TSqliteStatement g(*FFile, "SELECT start, end, substr(reason, 1, 1000) FROM gaps "
                                   "ORDER BY start");
        while (g.step()) {
            if (gaps.size() >= FLimits.Gaps)
                throw tooMany(FPath, FLimits.Gaps);
            gaps.append({g.integer(0), g.integer(1), g.text(2)});
        }
        if (FHasEvents) {
            TSqliteStatement e(*FFile, "SELECT time, substr(kind, 1, 16), substr(rule, 1, 64), "
                                       "substr(key, 1, 1000), substr(subject, 1, 1000), "
                                       "snapshot_time, substr(details, 1, 4000) FROM events "
                                       "ORDER BY time, id");
            while (e.step()) {
                if (events.size() >= FLimits.Events)
                    throw tooMany(FPath, FLimits.Events);
                events.append({e.integer(0), e.text(1), e.text(2), e.text(3), e.text(4),
                               e.isNull(5) ? -1 : e.integer(5), e.text(6)});
            }
        }
    } catch (const ESqliteError& e) {
        throw RecordingError(FPath, e);
    }
    // What was read stays valid while its snapshot is there: retention drops a full
    // snapshot only with every one that builds on it, and ids are never used again.
    const qint64 stateId = FStateAt >= 0 ? FIndex[std::size_t(FStateAt)].Id : -1;
    FIndex = std::move(index);
    FGaps = std::move(gaps);
    FEvents = std::move(events);
    FStateAt = stateId >= 0 ? indexOfId(stateId) : -1;
    if (FStateAt < 0)
        forgetState();
}

int TRecordingReader::indexOfId(qint64 AId) const {
    const auto it = std::lower_bound(FIndex.begin(), FIndex.end(), AId,
                                     [](const TEntry& e, qint64 id) { return e.Id < id; });
    return it != FIndex.end() && it->Id == AId ? int(it - FIndex.begin()) : -1;
}

int TRecordingReader::indexAt(qint64 ATimeMs) const {
    if (FIndex.empty())
        return -1;
    const auto after = std::upper_bound(FIndex.begin(), FIndex.end(), ATimeMs,
                                        [](qint64 t, const TEntry& e) { return t < e.Time; });
    return after == FIndex.begin() ? 0 : int(after - FIndex.begin()) - 1;
}

std::optional<TRecordingGap> TRecordingReader::gapBefore(int AIndex) const {
    if (AIndex <= 0 || AIndex >= count())
        return std::nullopt;
    const qint64 from = timeAt(AIndex - 1);
    const qint64 to = timeAt(AIndex);
    for (const TRecordingGap& g : FGaps)
        if (g.End > from && g.Start < to)
            return g;
    return std::nullopt;
}

void TRecordingReader::forgetState() {
    FState.clear();
    FBudget.Used = 0;
    FStateAt = -1;
}

void TRecordingReader::applyEntry(int AIndex) {
    const TEntry& e = FIndex[std::size_t(AIndex)];
    QByteArray data;
    try {
        FData->bind(1, e.Id);
        if (FData->step())
            data = FData->blob(0);
        FData->reset();
    } catch (const ESqliteError& err) {
        FData->reset();
        forgetState();
        throw RecordingError(FPath, err);
    }
    try {
        const QByteArray bytes = InflateSnapshot(data, FLimits.SnapshotBytes);
        if (e.Full == AIndex)
            forgetState();
        ApplySnapshot(FState, bytes, FBudget);
    } catch (const ERecordingFormat& format) {
        forgetState();
        throw SnapshotError(FPath, e.Id, format);
    }
    FStateAt = AIndex;
}

const TRowState& TRecordingReader::rowsAt(int AIndex) {
    if (AIndex < 0 || AIndex >= count())
        throw ERecordingError(
            QCoreApplication::translate("Recording", "В записи «%1» нет снимка %2 из %3.")
                .arg(FPath)
                .arg(AIndex + 1)
                .arg(count()));
    const TEntry& e = FIndex[std::size_t(AIndex)];
    if (e.Full < 0)
        throw SnapshotError(FPath, e.Id, ERecordingFormat());
    const bool onTheWay = FStateAt >= e.Full && FStateAt <= AIndex;
    for (int i = onTheWay ? FStateAt + 1 : e.Full; i <= AIndex; ++i)
        applyEntry(i);
    return FState;
}
