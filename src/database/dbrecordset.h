#pragma once
// The forward-only row set a plain command returns, held in memory.

#include "database/dbvalue.h"

#include <QString>
#include <vector>

class TDbRecordset {
public:
    TDbRecordset() = default;
    TDbRecordset(std::vector<QString> names, std::vector<std::vector<TDbValue>> rows)
        : FNames(std::move(names)), FRows(std::move(rows)) {}

    bool eof() const { return FPos >= FRows.size(); }
    bool bof() const { return FRows.empty(); } // both true: no rows
    void moveNext() {
        if (!eof())
            ++FPos;
    }

    int fieldCount() const { return static_cast<int>(FNames.size()); }
    // The current row's field at a position. Valid until the next move.
    TDbField field(int i) const;
    // The current row's field by name; throws EDbError when there is no such column.
    TDbField fieldByName(const QString& name) const;

private:
    const TDbValue& valueAt(int i) const;

    std::vector<QString> FNames;
    std::vector<std::vector<TDbValue>> FRows;
    size_t FPos = 0;
    TDbValue FNoRow; // what fields read past the last row: NULL
};
