#pragma once
// One row of a recorded snapshot: the session record as the sampler read it, and the
// running batch where the recorder was asked to keep texts.

#include "sampling/monitorrec.h"

#include <QString>
#include <vector>

struct TRecordedRow {
    TMonitorRec Rec;
    QString Text;          // the request's batch; empty when not recorded
    std::int32_t Idx1 = 0; // the current statement's first and last character, 1-based,
    std::int32_t Idx2 = 0; // as the detail window's statement gives them
};

using TRecordedRows = std::vector<TRecordedRow>;

// Whether two rows hold the same values (the colour and the rates, which the window works
// out, do not count).
bool SameRecordedValues(const TRecordedRow& a, const TRecordedRow& b);
