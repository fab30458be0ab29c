#pragma once
// One row of a snapshot: a session, with its current request and its connection.

#include <QList>
#include <QString>
#include <cstdint>

// How a session stands against a marked moment of a recording when two moments are
// compared; set by the window, None otherwise.
enum class TRowChange : std::uint8_t { None, Appeared, Ended, Changed };

// Field order is the record's documented order; the sampler fills it, the main
// window copies it field by field (QString copies share their buffer, so a copy
// of an unchanged text allocates nothing).
struct TMonitorRec {
    std::int32_t SPID = 0;
    QString Login;
    QString Status;
    QString Command;
    QString DB;
    QString ProgName;
    double LoginTime = 0; // days since 1899-12-30, time as the fraction
    double LastTime = 0;
    std::int32_t CPU = 0;
    std::int64_t IO = 0;
    std::int32_t Mem = 0;
    QString Host;
    QString NTLogin;
    QString ClientInterface;
    QString NTDomain;
    std::int32_t ElapsedTime = 0;
    std::int64_t Reads = 0;
    std::int64_t Writes = 0;
    std::int64_t LogicalReads = 0;
    std::int32_t IsolationLevel = 0;
    std::int32_t LockTimeout = 0;
    std::int64_t RowCnt = 0;
    QString OriginalLogin;
    std::int32_t OpenTran = 0;
    QString WaitType;
    std::int32_t WaitTime = 0;
    QString WaitResource;
    std::int32_t NestedLevel = 0;
    bool CLR = false;
    QString NetTransport;
    QString Protocol;
    QString AuthScheme;
    QString ClientAddress;
    std::int32_t ClientPort = 0;
    QString ServerAddress;
    std::int32_t ServerPort = 0;
    std::int32_t Blocking = 0; // the session this one waits for
    bool Blocked = false;      // this session holds others up
    bool IsUser = false;
    std::int32_t RequestID = 0;
    bool SelfID = false;
    std::uint32_t Color = 0; // 0x00BBGGRR; 0 = no row colour
    // Per second since the session's previous snapshot; negative when there is none (its
    // first snapshot, a counter that went down). Set by the window, not the sampler.
    double CpuRate = -1; // milliseconds of CPU per second
    double ReadsRate = -1;
    double WritesRate = -1;
    double LogicalReadsRate = -1;
    TRowChange Change = TRowChange::None;
};

using PMonitorRec = TMonitorRec*;

// A list that owns its records.
using TRecList = QList<PMonitorRec>;

// Releases every record of the list in index order, then empties it.
void ClearRecList(TRecList& list);
