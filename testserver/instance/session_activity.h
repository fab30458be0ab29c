#pragma once
// What a session's own batches do to the views: while a batch runs the session is
// "running" with request 0 pointing at the batch text and the current statement;
// afterwards it is "sleeping" again with its request times and counters moved on.

#include "ast.h"
#include "model.h"

#include <map>
#include <optional>
#include <string>

namespace testserver {

class SessionActivity {
public:
    explicit SessionActivity(Model& model);

    // A batch has arrived: it becomes the running request, and the input buffer shows
    // `event` (a "Language Event" of the batch itself unless given).
    // Does nothing for a session that does not exist or already runs a batch.
    void begin(int spid, const std::string& batch, double now,
               const std::optional<InputBuffer>& event = std::nullopt);
    bool active(int spid) const { return batches_.count(spid) > 0; }
    // The statement about to run becomes the request's current statement.
    void statementStarting(int spid, const Statement& statement);
    // The batch is over; `completed` is false for a cancelled one (no end time).
    void end(int spid, bool completed, double now);
    void forget(int spid) { batches_.erase(spid); }

private:
    Model& model_;
    std::map<int, std::string> batches_; // spid -> running batch
};

} // namespace testserver
