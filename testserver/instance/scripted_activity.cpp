#include "scripted_activity.h"

namespace testserver {

namespace {

Value num(std::int64_t v) {
    return Value(v);
}

} // namespace

std::vector<int> applyChanges(Model& model, Sessions& sessions, const ScriptedChanges& changes,
                              const std::function<void(int spid)>& endSession) {
    std::vector<int> ids;
    const Catalog& catalog = model.catalog();
    auto live = [&](int spid) { return model.sessionExists(spid); };
    for (const auto& r : changes.removedRequests)
        model.deleteRequest(r.sessionId, r.requestId);
    for (int spid : changes.endedSessions)
        if (!sessions.hasClient(spid))
            endSession(spid);
    for (const auto& s : changes.newSessions)
        ids.push_back(sessions.insert(s));
    for (const auto& u : changes.sessionUpdates) {
        const ColumnValues v(u.columns.begin(), u.columns.end());
        model.update(catalog.sessions(), v, "session_id = ?", {num(u.sessionId)});
    }
    for (const auto& r : changes.newRequests) {
        if (!live(r.sessionId))
            continue;
        model.deleteRequest(r.sessionId, r.requestId);
        sessions.insertRequest(r);
    }
    for (const auto& u : changes.requestUpdates) {
        const ColumnValues v(u.columns.begin(), u.columns.end());
        model.update(catalog.requests(), v, "session_id = ? AND request_id = ?",
                     {num(u.sessionId), num(u.requestId)});
    }
    for (const auto& b : changes.inputBuffers)
        if (live(b.sessionId))
            model.setInputBuffer(b.sessionId, InputBuffer{"Language Event", 0, b.text});
    for (const auto& p : changes.livePlans)
        if (model.requestExists(p.sessionId, p.requestId))
            model.setLivePlan(p.sessionId, p.requestId, p.xml);
    return ids;
}

} // namespace testserver
