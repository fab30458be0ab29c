#pragma once
// What the session windows need of the main window, handed to them as callbacks so
// that they know nothing else of it.

#include "actions/sessiondetail.h"
#include "sampling/monitorrec.h"

#include <functional>
#include <optional>

class TServer;

struct TViewHost {
    // Ends the session after confirmation and check; true when the kill went through.
    std::function<bool(PMonitorRec, TServer*)> KillProcess;
    // Recomposes the sampling query and hands it over, so the grid catches up at once.
    std::function<void()> Rearm;

    // Set while the grid replays a recording: the window shows what was recorded of the
    // session and asks the server nothing.
    struct TRecorded {
        QString Server; // the recorded server's name
        QString At;     // the snapshot's time as shown
        std::function<TSessionDetail(const TMonitorRec&)> Detail;
    };
    std::optional<TRecorded> Recorded;
};
