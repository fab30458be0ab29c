#include "recorder/recordingclock.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <utility>

qint64 TRecordingClock::next(qint64 AWallMs, qint64 ARealMs) {
    qint64 time = AWallMs;
    if (FLastReal) {
        const qint64 expected = FLast + (ARealMs - *FLastReal);
        if (std::abs(AWallMs - expected) > kToleranceMs)
            time = expected;
    } else if (FLast >= 0 && AWallMs <= FLast) {
        time = FLast + 1;
    }
    time = std::max(time, FLast + 1);
    const qint64 offset = AWallMs - time;
    if (std::abs(offset - FOffset) > kToleranceMs)
        FStep = offset;
    FOffset = offset;
    FLast = time;
    FLastReal = ARealMs;
    return time;
}

std::optional<qint64> TRecordingClock::takeStep() {
    return std::exchange(FStep, std::nullopt);
}

qint64 BootClockMs() {
    timespec t{};
    clock_gettime(CLOCK_BOOTTIME, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}
