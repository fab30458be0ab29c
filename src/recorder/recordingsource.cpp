#include "recorder/recordingsource.h"

#include "recorder/snapshotinflate.h"

#include <QCoreApplication>

TRecordingSource::TRecordingSource(const QString& APath, const TRecordingLimits& ALimits)
    : FPath(APath), FLimits(ALimits) {
    FBudget.Limit = FLimits.RowBytes;
}

TRecordingSource::~TRecordingSource() = default;

ERecordingError TRecordingSource::tooMany(qsizetype ALimit) const {
    return ERecordingError(
        QCoreApplication::translate("Recording",
                                    "В записи «%1» больше %2 снимков или перерывов: столько "
                                    "не прочесть. Такие записи ограничивают параметром --retain.")
            .arg(FPath)
            .arg(ALimit));
}

void TRecordingSource::reload() {
    std::vector<TListed> listed;
    QList<TRecordingGap> gaps;
    QList<TRecordingEvent> events;
    readLists(listed, gaps, events);
    std::vector<TEntry> index;
    index.reserve(listed.size());
    int full = -1;
    for (const TListed& s : listed) {
        if (s.Full)
            full = int(index.size());
        // Times only go forward: a time before the one of the snapshot before (a file
        // from a recorder that followed a clock set back) is read as that one.
        const qint64 time = std::max(s.Time, index.empty() ? s.Time : index.back().Time);
        index.push_back({s.Id, time, full});
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

int TRecordingSource::indexOfId(qint64 AId) const {
    const auto it = std::lower_bound(FIndex.begin(), FIndex.end(), AId,
                                     [](const TEntry& e, qint64 id) { return e.Id < id; });
    return it != FIndex.end() && it->Id == AId ? int(it - FIndex.begin()) : -1;
}

int TRecordingSource::indexAt(qint64 ATimeMs) const {
    if (FIndex.empty())
        return -1;
    const auto after = std::upper_bound(FIndex.begin(), FIndex.end(), ATimeMs,
                                        [](qint64 t, const TEntry& e) { return t < e.Time; });
    return after == FIndex.begin() ? 0 : int(after - FIndex.begin()) - 1;
}

std::optional<TRecordingGap> TRecordingSource::gapBefore(int AIndex) const {
    if (AIndex <= 0 || AIndex >= count())
        return std::nullopt;
    const qint64 from = timeAt(AIndex - 1);
    const qint64 to = timeAt(AIndex);
    for (const TRecordingGap& g : FGaps)
        if (g.End > from && g.Start < to)
            return g;
    return std::nullopt;
}

void TRecordingSource::forgetState() {
    FState.clear();
    FBudget.Used = 0;
    FStateAt = -1;
}

void TRecordingSource::applyEntry(int AIndex) {
    const TEntry& e = FIndex[std::size_t(AIndex)];
    QByteArray data;
    try {
        data = readData(e.Id, e.Time);
    } catch (const ERecordingError&) {
        forgetState();
        throw;
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

const TRowState& TRecordingSource::rowsAt(int AIndex) {
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
