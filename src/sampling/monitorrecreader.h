#pragma once
// Fills session records from the current row of the sampling query.

#include "sampling/monitorrec.h"

class TDbQuery;
class TDbField;

class TMonitorRecReader {
public:
    explicit TMonitorRecReader(const TDbQuery& query) : FQuery(query) {}

    // Reads the row into rec, every field of the record written. A missing mandatory
    // column or a value that does not convert (NULL included) throws EDbError; an absent
    // optional column leaves its field at the default.
    void fill(TMonitorRec& rec);

private:
    void resolve();

    const TDbQuery& FQuery;
    bool FResolved = false;
    // Columns are looked up once per result; the fields then read each current row.
    const TDbField* FSPID = nullptr;
    const TDbField* FOptional[34] = {};
    const TDbField* FMandatory[5] = {};
    const TDbField* FStatus = nullptr;
};
