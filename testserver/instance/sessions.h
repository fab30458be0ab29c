#pragma once
// The rows of sessions, their connections and their requests: which session id comes
// next, the connection id each connection gets, and which sessions a TDS client stands
// behind. Not thread-safe: the Instance serialises every call.

#include "model.h"
#include "scripting.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace testserver {

class Sessions {
public:
    // `clock` gives login and start times; it is read where they are written, as the
    // instance's clock may be replaced at any time.
    Sessions(Model& model, const std::function<double()>& clock);

    // Inserts the session with its connection row and input buffer; returns its id.
    // Throws std::invalid_argument for an id out of range or in use.
    int insert(const ScriptedSession& session);
    // Throws std::invalid_argument for a missing session or a request id in use.
    void insertRequest(const ScriptedRequest& request);
    // Deletes the session's rows; false when there was no such session.
    bool remove(int spid);
    // Deletes every user session that no TDS client stands behind.
    void removeScripted();
    std::vector<int> ids();

    // The sessions that TDS clients logged in: only their client ends them.
    void attachClient(int spid) { clients_.insert(spid); }
    void detachClient(int spid) { clients_.erase(spid); }
    bool hasClient(int spid) const { return clients_.count(spid) > 0; }

private:
    int allocateId();
    std::string newConnectionId();

    Model& model_;
    const std::function<double()>& clock_;
    int nextId_ = 51;
    std::uint64_t connectionSerial_ = 0;
    std::set<int> clients_;
};

} // namespace testserver
