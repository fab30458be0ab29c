#include "incident/spanexport.h"

#include "recorder/recordingwriter.h"

#include <QCoreApplication>
#include <QFileInfo>

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
    TRecordingWriter writer(AOut, info);
    for (int i = first; i <= last; ++i) {
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
        writer.append(ASource.timeAt(i), rows);
    }
    const qint64 from = ASource.timeAt(first), to = ASource.timeAt(last);
    // A gap is kept when it lies between two snapshots of the span: one that ends at the
    // first snapshot was before it, and the export has no "before".
    for (const TRecordingGap& gap : ASource.gaps())
        if (gap.End > from && gap.Start < to)
            writer.addGap(gap.Start, gap.End, gap.Reason);
    for (const TRecordingEvent& event : ASource.events())
        if (event.Time >= ASpan.FromMs && event.Time <= ASpan.ToMs)
            writer.addEvent(event);
    return last - first + 1;
}
