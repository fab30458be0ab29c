#include "compare/momentcompare.h"

#include <algorithm>

namespace {

qint64 growth(qint64 later, qint64 earlier) {
    return later >= earlier ? later - earlier : -1;
}

TCounterGrowth growthOf(const TMonitorRec& earlier, const TMonitorRec& later) {
    return {growth(later.CPU, earlier.CPU), growth(later.Reads, earlier.Reads),
            growth(later.Writes, earlier.Writes), growth(later.LogicalReads, earlier.LogicalReads)};
}

} // namespace

std::vector<TComparedRow> CompareMoments(const TRowState& AEarlier, const TRowState& ALater) {
    std::vector<TComparedRow> rows;
    rows.reserve(ALater.size() + AEarlier.size() / 8);
    // Both states are ordered by key: one walk pairs every row with its earlier self.
    auto before = AEarlier.cbegin();
    for (const auto& [key, row] : ALater) {
        for (; before != AEarlier.cend() && before->first < key; ++before)
            rows.push_back({before->first, &before->second, TRowChange::Ended, {}});
        if (before != AEarlier.cend() && before->first == key) {
            const TRowChange change =
                SameRecordedValues(before->second, row) ? TRowChange::None : TRowChange::Changed;
            rows.push_back({key, &row, change, growthOf(before->second.Rec, row.Rec)});
            ++before;
        } else {
            rows.push_back({key, &row, TRowChange::Appeared, {}});
        }
    }
    for (; before != AEarlier.cend(); ++before)
        rows.push_back({before->first, &before->second, TRowChange::Ended, {}});
    return rows;
}

TRowState ComparedState(const std::vector<TComparedRow>& ARows) {
    TRowState state;
    for (const TComparedRow& compared : ARows) {
        auto it = state.emplace_hint(state.end(), compared.Key, *compared.Row);
        TMonitorRec& rec = it->second.Rec;
        rec.Change = compared.Change;
        rec.CpuRate = double(compared.Growth.CPU);
        rec.ReadsRate = double(compared.Growth.Reads);
        rec.WritesRate = double(compared.Growth.Writes);
        rec.LogicalReadsRate = double(compared.Growth.LogicalReads);
    }
    return state;
}

bool GapBetween(const QList<TRecordingGap>& AGaps, qint64 AFirstMs, qint64 ASecondMs) {
    const qint64 from = std::min(AFirstMs, ASecondMs), to = std::max(AFirstMs, ASecondMs);
    return std::any_of(AGaps.begin(), AGaps.end(),
                       [=](const TRecordingGap& gap) { return gap.Start < to && gap.End > from; });
}
