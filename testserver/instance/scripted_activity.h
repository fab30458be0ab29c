#pragma once
// A round of scripted activity (the demo's step): sessions coming and going, requests
// starting, moving on and ending, all in the order ScriptedChanges gives.

#include "model.h"
#include "scripting.h"
#include "sessions.h"

#include <functional>
#include <vector>

namespace testserver {

// Applies `changes` inside the caller's transaction and returns the ids of the new
// sessions. `endSession` ends a session as a logout does; a session that a TDS client
// stands behind ends only with its client, and changes to one that has gone are skipped.
std::vector<int> applyChanges(Model& model, Sessions& sessions, const ScriptedChanges& changes,
                              const std::function<void(int spid)>& endSession);

} // namespace testserver
