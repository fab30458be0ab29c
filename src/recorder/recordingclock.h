#pragma once
// The times a recording's snapshots carry. They are the wall clock's while it keeps pace
// with real time; when it steps (set by hand, a wrong clock corrected, a virtual machine's
// clock catching up) the recording does not follow: it goes on from its last time at the
// pace of real time. So its times never jump or run back within a run, and retention,
// which counts back from the newest snapshot's time, never drops the history because the
// wall clock jumped a year ahead. Real time is the boot clock, which also runs while the
// machine sleeps.

#include <QtGlobal>
#include <optional>

class TRecordingClock {
public:
    // Steps within this are followed: NTP's small corrections, the moment between the two
    // clocks being read.
    static constexpr qint64 kToleranceMs = 5000;

    // ALastMs: the newest time already in the recording, -1 when it has none. A run that
    // finds its wall clock behind that goes on from it instead.
    explicit TRecordingClock(qint64 ALastMs = -1) : FLast(ALastMs) {}

    // The time for a snapshot answered when the wall clock said AWallMs and the boot clock
    // ARealMs; later than every time given before.
    qint64 next(qint64 AWallMs, qint64 ARealMs);
    // How far the wall clock is from the recording's own when it last stepped away from
    // it, once: the recorder says so. Nothing while they agree.
    std::optional<qint64> takeStep();

private:
    qint64 FLast;
    std::optional<qint64> FLastReal;
    qint64 FOffset = 0; // wall clock minus the recording's time, as last seen
    std::optional<qint64> FStep;
};

// The boot clock (CLOCK_BOOTTIME) in milliseconds.
qint64 BootClockMs();
