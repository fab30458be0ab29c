#include "incident/spanexport.h"

#include "episodes/episodeindexer.h"
#include "recorder/recordingreader.h"
#include "recorder/recordingwriter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>

std::pair<int, int> SpanIndexes(const TRecordingSource& ASource, qint64 AFromMs, qint64 AToMs) {
    int first = ASource.indexAt(AFromMs);
    if (first >= 0 && ASource.timeAt(first) < AFromMs)
        ++first; // indexAt gives the last one at or before the time
    int last = ASource.indexAt(AToMs);
    if (last >= 0 && ASource.timeAt(last) > AToMs)
        last = -1; // the span ends before the recording begins
    if (first < 0)
        return {0, -1};
    return {first, last};
}

int ExportSpan(TRecordingSource& ASource, const TSpanExport& ASpan, const QString& AOut) {
    const auto [first, last] = SpanIndexes(ASource, ASpan.FromMs, ASpan.ToMs);
    if (first > last)
        throw ERecordingError(
            QCoreApplication::translate("SpanExport", "В записи «%1» нет снимков за этот период.")
                .arg(ASource.path()));
    if (QFileInfo::exists(AOut))
        throw ERecordingError(
            QCoreApplication::translate("SpanExport", "Файл «%1» уже существует.").arg(AOut));
    TRecordingInfo info = ASource.info();
    info.WithText = info.WithText && !ASpan.WithoutText;
    TRecordingWriter file(AOut, info);
    // Written through the episodes' indexer, as the recorder writes: the span's blocking
    // episodes are found as its snapshots go in and kept with the file, each beginning no
    // earlier than the span.
    TEpisodeIndexer writer(file, [&AOut] { return std::make_unique<TRecordingReader>(AOut); });
    // A gap is kept when it lies between two snapshots of the span (one that ends at the
    // first snapshot was before it, and the export has no "before"), written before the
    // snapshot after it, as the recorder writes it.
    QList<TRecordingGap> gaps = ASource.gaps();
    std::sort(gaps.begin(), gaps.end(),
              [](const TRecordingGap& a, const TRecordingGap& b) { return a.Start < b.Start; });
    auto gap = gaps.cbegin();
    for (int i = first; i <= last; ++i) {
        const qint64 time = ASource.timeAt(i);
        for (; gap != gaps.cend() && gap->Start < time; ++gap)
            if (i > first && gap->End > ASource.timeAt(i - 1))
                writer.addGap(gap->Start, gap->End, gap->Reason);
        const TRowState& state = ASource.rowsAt(i);
        TRecordedRows rows;
        rows.reserve(state.size());
        for (const auto& [key, row] : state) {
            rows.push_back(row);
            if (!info.WithText) {
                rows.back().Text.clear();
                rows.back().Idx1 = rows.back().Idx2 = 0;
            }
        }
        writer.append(time, rows);
    }
    for (const TRecordingEvent& event : ASource.events())
        if (event.Time >= ASpan.FromMs && event.Time <= ASpan.ToMs)
            writer.addEvent(event);
    return last - first + 1;
}
