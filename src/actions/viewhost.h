#pragma once
// What the session windows need of the main window, handed to them as callbacks so
// that they know nothing else of it.

#include "sampling/monitorrec.h"

#include <functional>

class TServer;

struct TViewHost {
    // Ends the session after confirmation and check; true when the kill went through.
    std::function<bool(PMonitorRec, TServer*)> KillProcess;
    // Recomposes the sampling query and hands it over, so the grid catches up at once.
    std::function<void()> Rearm;
};
