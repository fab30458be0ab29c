#include "sessions.h"

#include "scripted_rows.h"

#include <cstdio>
#include <stdexcept>

namespace testserver {

Sessions::Sessions(Model& model, const std::function<double()>& clock)
    : model_(model), clock_(clock) {}

int Sessions::allocateId() {
    // Ids go round rather than back to the lowest free one, so an id that just went
    // does not come back while its old connection is still closing.
    for (int tries = 0; tries < 32767; ++tries) {
        const int id = nextId_;
        nextId_ = nextId_ >= 32767 ? 51 : nextId_ + 1;
        if (!model_.sessionExists(id))
            return id;
    }
    throw std::runtime_error("no free session id");
}

std::string Sessions::newConnectionId() {
    const std::uint64_t n = ++connectionSerial_;
    char buf[40];
    std::snprintf(buf, sizeof buf, "D3E0%04X-%04X-4%03X-8%03X-%012llX",
                  static_cast<unsigned>((n >> 48) & 0xFFFF),
                  static_cast<unsigned>((n >> 32) & 0xFFFF),
                  static_cast<unsigned>((n >> 20) & 0xFFF), static_cast<unsigned>((n >> 8) & 0xFFF),
                  static_cast<unsigned long long>(n * 0x9E3779B1ULL & 0xFFFFFFFFFFFFULL));
    return buf;
}

int Sessions::insert(const ScriptedSession& session) {
    int id = session.sessionId;
    if (id == 0)
        id = allocateId();
    if (id < 1 || id > 32767)
        throw std::invalid_argument("session id out of range: " + std::to_string(id));
    if (model_.sessionExists(id))
        throw std::invalid_argument("session id in use: " + std::to_string(id));
    const double loginTime = session.loginTime.value_or(clock_());
    const Catalog& catalog = model_.catalog();
    model_.insert(catalog.sessions(), sessionRow(session, id, loginTime));
    if (session.isUserProcess && session.withConnection)
        model_.insert(catalog.connections(),
                      connectionRow(session.connection, id, loginTime, newConnectionId()));
    if (session.inputBuffer)
        model_.setInputBuffer(id, InputBuffer{"Language Event", 0, *session.inputBuffer});
    return id;
}

void Sessions::insertRequest(const ScriptedRequest& request) {
    const auto sessionDb = model_.sessionDatabaseId(request.sessionId);
    if (!sessionDb)
        throw std::invalid_argument("no session " + std::to_string(request.sessionId));
    if (model_.requestExists(request.sessionId, request.requestId))
        throw std::invalid_argument("request in use: " + std::to_string(request.requestId));
    RequestLinks links;
    if (request.sqlText) {
        links.sqlHandle = model_.storeSqlText(*request.sqlText);
        links.planHandle = Model::planHandleFor(*request.sqlText);
    }
    if (auto connection =
            model_.scalar("SELECT connection_id FROM connections WHERE session_id = ?",
                          {Value(std::int64_t{request.sessionId})}))
        links.connectionId = std::move(*connection);
    links.databaseId = request.databaseId.value_or(*sessionDb);
    links.startTime = request.startTime.value_or(clock_());
    model_.insert(model_.catalog().requests(), requestRow(request, links));
    if (request.plan && request.sqlText)
        model_.storePlan(
            std::get<Bytes>(links.planHandle), links.databaseId, *request.plan,
            {{request.statementStartOffset, request.statementEndOffset, *request.plan}});
    if (request.livePlan)
        model_.setLivePlan(request.sessionId, request.requestId, request.livePlan);
}

bool Sessions::remove(int spid) {
    if (!model_.sessionExists(spid))
        return false;
    model_.deleteSession(spid);
    return true;
}

void Sessions::removeScripted() {
    std::vector<int> ids;
    auto& st = model_.db().statement("SELECT session_id FROM sessions WHERE is_user_process = 1");
    while (st.step())
        ids.push_back(static_cast<int>(st.intAt(0)));
    st.reset();
    model_.transaction([&] {
        for (int id : ids)
            if (!hasClient(id))
                model_.deleteSession(id);
    });
}

std::vector<int> Sessions::ids() {
    std::vector<int> ids;
    auto& st = model_.db().statement("SELECT session_id FROM sessions ORDER BY session_id");
    while (st.step())
        ids.push_back(static_cast<int>(st.intAt(0)));
    st.reset();
    return ids;
}

} // namespace testserver
