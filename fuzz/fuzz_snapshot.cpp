// A recording's snapshot data comes from a file anyone may have made: any bytes must be
// refused or read, never crash, never take more than the budget, and the rows read must
// count in the budget as the same rows read whole do.

#include "recorder/rowcodec.h"
#include "recorder/snapshotinflate.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte chooses: the bytes as they are stored (compressed), or a delta as
    // it is after inflating, applied on top of a full snapshot of the same bytes' making.
    const bool compressed = data[0] & 1;
    QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    TRowState state;
    TRowBudget budget;
    budget.Limit = 16 << 20;
    try {
        if (compressed)
            bytes = InflateSnapshot(bytes, 1 << 20);
        ApplySnapshot(state, bytes, budget);
        ApplySnapshot(state, bytes, budget); // the same bytes as a delta on what they made
    } catch (const ERecordingFormat&) {
        return 0;
    }
    if (budget.Used > budget.Limit)
        std::abort();
    TRowState whole;
    TRowBudget fresh;
    ApplySnapshot(whole, EncodeSnapshot({}, state), fresh);
    if (!SameRowStates(whole, state) || fresh.Used != budget.Used)
        std::abort();
    return 0;
}
