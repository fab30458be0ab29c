#pragma once
// One batch of the demo workload in flight: its current statement, its status and wait,
// and counters that only grow. DemoWorkload owns one per busy session and turns it into
// a sys.dm_exec_requests row.

#include "demo_catalog.h"
#include "demo_random.h"
#include "scripting.h"

#include <cstdint>
#include <optional>
#include <string>

namespace testserver {

class DemoRequest {
public:
    // A batch starting now (`clock`: the instance's time in days).
    DemoRequest(const DemoBatch& batch, int databaseId, double clock, DemoRandom& random);

    // Runs for `seconds` (a blocked request only waits); true when the batch is done.
    bool advance(double seconds, DemoRandom& random);
    // Moves on to `statement` as if the earlier ones had run, with `left` seconds of it to go.
    void skipTo(std::size_t statement, double left, DemoRandom& random);
    // Waits for a lock that `blocker` holds until unblock().
    void blockOn(int blocker, const std::string& waitType, const std::string& resource);
    void unblock(DemoRandom& random);
    int blockedBy() const { return blockedBy_; }

    const DemoBatch& batch() const { return *batch_; }
    std::size_t statement() const { return statement_; }
    // How far the current statement has got, 0 to 1.
    double done() const { return statementLength_ > 0 ? 1 - statementLeft_ / statementLength_ : 1; }
    double startClock() const { return startClock_; }
    std::int64_t cpu() const { return static_cast<std::int64_t>(cpu_); }
    std::int64_t reads() const { return static_cast<std::int64_t>(reads_); }
    std::int64_t writes() const { return static_cast<std::int64_t>(writes_); }
    std::int64_t logicalReads() const { return static_cast<std::int64_t>(logicalReads_); }
    std::int64_t rows() const { return rows_; }
    std::int64_t elapsedMs() const { return static_cast<std::int64_t>(elapsed_ * 1000); }

    // The request row when it first appears, and its changing columns afterwards.
    ScriptedRequest row(int sessionId, int openTransactions, int isolationLevel) const;
    ColumnOverrides changes(int openTransactions) const;

private:
    const DemoStatement& current() const { return batch_->statements[statement_]; }
    void startStatement(DemoRandom& random);
    void drawStatus(DemoRandom& random);
    void setWait(const std::string& status, const std::optional<std::string>& waitType,
                 const std::string& resource);
    void grow(double seconds);

    const DemoBatch* batch_;
    int databaseId_;
    double startClock_;
    std::size_t statement_ = 0;
    double statementLength_ = 0; // seconds
    double statementLeft_ = 0;
    double statusLeft_ = 0;
    double intensity_ = 1;
    std::string status_ = "running";
    std::optional<std::string> waitType_;
    std::string lastWaitType_;
    std::string waitResource_;
    double waitSeconds_ = 0;
    int blockedBy_ = 0;
    double elapsed_ = 0;
    double cpu_ = 0, reads_ = 0, writes_ = 0, logicalReads_ = 0;
    std::int64_t rows_ = 0;
    int grantedMemory_ = 0;
    int scheduler_ = 0;
};

} // namespace testserver
