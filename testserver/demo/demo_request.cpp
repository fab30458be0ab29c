#include "demo_request.h"

#include <algorithm>
#include <cstdio>

namespace testserver {

namespace {

// Per second of work at full intensity: CPU milliseconds, logical reads, physical reads,
// page writes; and the rows a statement of that kind returns or touches.
struct LoadRates {
    double cpu, logicalReads, reads, writes;
    int rowsMin, rowsMax;
};

LoadRates ratesOf(DemoLoad load) {
    switch (load) {
    case DemoLoad::Cpu:
        return {800, 4000, 10, 0, 1, 200};
    case DemoLoad::Read:
        return {250, 30000, 2500, 0, 10, 5000};
    case DemoLoad::Parallel:
        return {3200, 90000, 6000, 12, 10, 2000};
    case DemoLoad::Write:
        return {200, 3000, 40, 300, 1, 500};
    case DemoLoad::Network:
        return {15, 400, 5, 0, 1000, 60000};
    case DemoLoad::Backup:
        return {120, 0, 12000, 60, 0, 0};
    case DemoLoad::Check:
        return {1600, 60000, 5000, 0, 0, 0};
    case DemoLoad::Delay:
    case DemoLoad::Instant:
        return {0, 0, 0, 0, 0, 1};
    }
    return {};
}

std::string pageResource(int databaseId, DemoRandom& random) {
    return std::to_string(databaseId) + ":1:" + std::to_string(random.integer(1200, 2400000));
}

std::string exchangeResource(DemoRandom& random) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "exchangeEvent id=Port%010llx WaitType=e_waitPortOpen nodeId=%d",
                  static_cast<unsigned long long>(random.next() & 0xFFFFFFFFFFULL),
                  static_cast<int>(random.integer(1, 12)));
    return buf;
}

} // namespace

DemoRequest::DemoRequest(const DemoBatch& batch, int databaseId, double clock, DemoRandom& random)
    : batch_(&batch), databaseId_(databaseId), startClock_(clock) {
    intensity_ = random.between(0.5, 1.5);
    scheduler_ = static_cast<int>(random.integer(0, 7));
    startStatement(random);
}

void DemoRequest::startStatement(DemoRandom& random) {
    const DemoStatement& s = current();
    statementLength_ = random.between(s.minSeconds, s.maxSeconds);
    statementLeft_ = statementLength_;
    statusLeft_ = 0;
    const bool memoryHungry =
        s.load == DemoLoad::Read || s.load == DemoLoad::Parallel || s.load == DemoLoad::Check;
    grantedMemory_ = memoryHungry ? static_cast<int>(random.integer(128, 40000)) : 0;
    drawStatus(random);
}

void DemoRequest::setWait(const std::string& status, const std::optional<std::string>& waitType,
                          const std::string& resource) {
    if (waitType_ != waitType || status_ != status) {
        if (waitType_)
            lastWaitType_ = *waitType_;
        waitSeconds_ = 0;
    }
    if (status == "runnable")
        lastWaitType_ = "SOS_SCHEDULER_YIELD";
    if (waitType)
        lastWaitType_ = *waitType;
    status_ = status;
    waitType_ = waitType;
    waitResource_ = resource;
}

void DemoRequest::drawStatus(DemoRandom& random) {
    statusLeft_ = random.between(0.5, 4);
    const double r = random.unit();
    const std::string none;
    switch (current().load) {
    case DemoLoad::Instant:
        setWait("running", std::nullopt, none);
        return;
    case DemoLoad::Delay:
        setWait("suspended", std::string("WAITFOR"), none);
        return;
    case DemoLoad::Cpu:
        if (r < 0.6)
            setWait("running", std::nullopt, none);
        else if (r < 0.9)
            setWait("runnable", std::nullopt, none);
        else
            setWait("suspended", std::string("PAGEIOLATCH_SH"), pageResource(databaseId_, random));
        return;
    case DemoLoad::Read:
        if (r < 0.3)
            setWait("running", std::nullopt, none);
        else if (r < 0.4)
            setWait("runnable", std::nullopt, none);
        else
            setWait("suspended", std::string("PAGEIOLATCH_SH"), pageResource(databaseId_, random));
        return;
    case DemoLoad::Parallel:
    case DemoLoad::Check:
        if (r < 0.3)
            setWait("running", std::nullopt, none);
        else if (r < 0.4)
            setWait("runnable", std::nullopt, none);
        else if (r < 0.75)
            setWait("suspended", std::string("CXPACKET"), exchangeResource(random));
        else
            setWait("suspended", std::string("PAGEIOLATCH_SH"), pageResource(databaseId_, random));
        return;
    case DemoLoad::Write:
        if (r < 0.45)
            setWait("running", std::nullopt, none);
        else if (r < 0.55)
            setWait("runnable", std::nullopt, none);
        else if (r < 0.9)
            setWait("suspended", std::string("WRITELOG"), none);
        else
            setWait("suspended", std::string("PAGEIOLATCH_EX"), pageResource(databaseId_, random));
        return;
    case DemoLoad::Network:
        if (r < 0.15)
            setWait("running", std::nullopt, none);
        else
            setWait("suspended", std::string("ASYNC_NETWORK_IO"), none);
        return;
    case DemoLoad::Backup:
        if (r < 0.2)
            setWait("running", std::nullopt, none);
        else
            setWait("suspended", std::string(r < 0.6 ? "BACKUPIO" : "ASYNC_IO_COMPLETION"), none);
        return;
    }
}

void DemoRequest::grow(double seconds) {
    const LoadRates rates = ratesOf(current().load);
    const double onCpu = status_ == "running" ? 1.0 : status_ == "runnable" ? 0.3 : 0.1;
    cpu_ += rates.cpu * intensity_ * onCpu * seconds;
    logicalReads_ += rates.logicalReads * intensity_ * seconds;
    reads_ += rates.reads * intensity_ * seconds;
    writes_ += rates.writes * intensity_ * seconds;
}

bool DemoRequest::advance(double seconds, DemoRandom& random) {
    elapsed_ += seconds;
    if (blockedBy_) {
        waitSeconds_ += seconds;
        return false;
    }
    double left = seconds;
    while (left > 0) {
        const double used = std::min(left, std::min(statementLeft_, statusLeft_));
        grow(used);
        waitSeconds_ += used;
        left -= used;
        statementLeft_ -= used;
        statusLeft_ -= used;
        if (statementLeft_ <= 0) {
            const LoadRates rates = ratesOf(current().load);
            rows_ = random.integer(rates.rowsMin, rates.rowsMax);
            if (statement_ + 1 >= batch_->statements.size())
                return true;
            ++statement_;
            startStatement(random);
        } else if (statusLeft_ <= 0) {
            drawStatus(random);
        }
    }
    return false;
}

void DemoRequest::skipTo(std::size_t statement, double left, DemoRandom& random) {
    while (statement_ < statement && statement_ + 1 < batch_->statements.size()) {
        grow(statementLength_);
        ++statement_;
        startStatement(random);
    }
    statementLeft_ = std::min(statementLeft_, left);
}

void DemoRequest::blockOn(int blocker, const std::string& waitType, const std::string& resource) {
    blockedBy_ = blocker;
    setWait("suspended", waitType, resource);
}

void DemoRequest::unblock(DemoRandom& random) {
    blockedBy_ = 0;
    drawStatus(random);
}

ScriptedRequest DemoRequest::row(int sessionId, int openTransactions, int isolationLevel) const {
    ScriptedRequest r;
    r.sessionId = sessionId;
    r.startTime = startClock_;
    r.sqlText = batch_->text;
    r.databaseId = databaseId_;
    r.transactionIsolationLevel = isolationLevel;
    // Overrides win over the typed fields: every changing column comes from one place.
    r.overrides = changes(openTransactions);
    r.overrides["scheduler_id"] = std::int64_t{scheduler_};
    r.overrides["user_id"] = std::int64_t{1};
    return r;
}

ColumnOverrides DemoRequest::changes(int openTransactions) const {
    const DemoLoad load = current().load;
    const bool progress = load == DemoLoad::Backup || load == DemoLoad::Check;
    const double done = statementLength_ > 0 ? 1 - statementLeft_ / statementLength_ : 1;
    ColumnOverrides c;
    c["status"] = status_;
    c["command"] = current().command;
    c["statement_start_offset"] = std::int64_t{batch_->startOffsets[statement_]};
    c["statement_end_offset"] = std::int64_t{batch_->endOffsets[statement_]};
    c["wait_type"] = waitType_ ? Value(*waitType_) : Value();
    c["wait_time"] = std::int64_t{waitType_ ? static_cast<std::int64_t>(waitSeconds_ * 1000) : 0};
    c["last_wait_type"] = lastWaitType_;
    c["wait_resource"] = waitResource_;
    c["blocking_session_id"] = std::int64_t{blockedBy_};
    c["open_transaction_count"] = std::int64_t{openTransactions};
    c["cpu_time"] = cpu();
    c["total_elapsed_time"] = elapsedMs();
    c["reads"] = reads();
    c["writes"] = writes();
    c["logical_reads"] = logicalReads();
    c["row_count"] = rows_;
    c["nest_level"] = std::int64_t{current().nestLevel};
    c["granted_query_memory"] = std::int64_t{grantedMemory_};
    c["percent_complete"] = progress ? 100.0 * done : 0.0;
    c["estimated_completion_time"] =
        std::int64_t{progress ? static_cast<std::int64_t>(statementLeft_ * 1000) : 0};
    return c;
}

} // namespace testserver
