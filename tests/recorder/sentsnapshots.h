#pragma once
// What the test server sent for the recorder's sampling query, and the check that a
// recorded snapshot is exactly that: every recording store is held to it.

#include "recorder/recordingsource.h"
#include "scripting.h"
#include "tds_server.h"

#include <QString>
#include <cmath>
#include <mutex>
#include <vector>

// What the server sent for the sampling query, in the order it sent it.
class TSentSnapshots {
public:
    explicit TSentSnapshots(testserver::Instance& instance) {
        instance.setBatchObserver(
            [this](int, const std::string& sql, const testserver::BatchOutcome& out) {
                if (sql.rfind("select SPID            = S.session_id", 0) != 0)
                    return;
                for (const auto& statement : out.statements)
                    if (statement.result) {
                        std::lock_guard lock(FMutex);
                        FSent.push_back(*statement.result);
                    }
            });
    }
    int count() {
        std::lock_guard lock(FMutex);
        return int(FSent.size());
    }
    std::vector<testserver::ResultSet> all() {
        std::lock_guard lock(FMutex);
        return FSent;
    }

private:
    std::mutex FMutex;
    std::vector<testserver::ResultSet> FSent;
};

// Compares a recorded snapshot with what was sent, row by row and field by field; the
// empty text when they agree, else what differs.
inline QString difference(const TRowState& recorded, const testserver::ResultSet& sent) {
    std::vector<const testserver::Row*> rows;
    for (const auto& row : sent.rows)
        rows.push_back(&row);
    const auto column = [&sent](const char* name) {
        for (std::size_t i = 0; i < sent.columns.size(); ++i)
            if (sent.columns[i].name == name)
                return int(i);
        return -1;
    };
    const int spid = column("SPID"), request = column("RequestID");
    const auto number = [](const testserver::Value& v) {
        if (const auto* i = std::get_if<std::int64_t>(&v))
            return double(*i);
        if (const auto* d = std::get_if<double>(&v))
            return *d;
        return 0.0;
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const auto* a, const auto* b) {
        return std::pair(number((*a)[spid]), number((*a)[request])) <
               std::pair(number((*b)[spid]), number((*b)[request]));
    });
    if (rows.size() != recorded.size())
        return QStringLiteral("%1 rows recorded, %2 sent").arg(recorded.size()).arg(rows.size());
    auto r = recorded.begin();
    for (const auto* row : rows) {
        const TRecordedRow& rec = (r++)->second;
        for (int f = 0; f < RecordedFieldNames().size(); ++f) {
            const int c = column(RecordedFieldNames()[f].toUtf8().constData());
            if (c < 0)
                continue; // Text, Idx1, Idx2: not asked for here
            const testserver::Value& v = (*row)[std::size_t(c)];
            const QVariant mine = RecordedFieldValue(rec, f);
            bool same = false;
            if (const auto* s = std::get_if<std::string>(&v))
                same = mine.toString() == QString::fromStdString(*s);
            else if (sent.columns[std::size_t(c)].type == testserver::SqlType::DateTime)
                // The server counts days from 1900-01-01, the record from 1899-12-30;
                // the wire carries 1/300 s and the driver hands over milliseconds.
                same = std::abs(mine.toDouble() - (number(v) + 2)) < 0.0045 / 86400;
            else if (std::holds_alternative<std::monostate>(v)) // NULL reads as the default
                same = mine.typeId() == QMetaType::QString ? mine.toString().isEmpty()
                                                           : mine.toDouble() == 0;
            else
                same = mine.toDouble() == number(v);
            if (!same)
                return QStringLiteral("SPID %1: %2 recorded as %3")
                    .arg(rec.Rec.SPID)
                    .arg(RecordedFieldNames()[f], mine.toString());
        }
    }
    return {};
}

// Walks a recording against what was sent, in order: every recorded snapshot must be one
// that was sent, none out of order. ASkipped gets the sent ones not recorded (in flight
// when a recorder was killed or the server stopped). The empty text when all is well.
inline QString CompareWithSent(TRecordingSource& AReader,
                               const std::vector<testserver::ResultSet>& ASent, int& ASkipped) {
    ASkipped = 0;
    std::size_t next = 0;
    for (int i = 0; i < AReader.count(); ++i) {
        const QString why = next < ASent.size() ? difference(AReader.rowsAt(i), ASent[next])
                                                : QStringLiteral("nothing more was sent");
        while (next < ASent.size() && !difference(AReader.rowsAt(i), ASent[next]).isEmpty()) {
            ++next;
            ++ASkipped;
        }
        if (next >= ASent.size())
            return QStringLiteral("snapshot %1 was never sent: %2").arg(i).arg(why);
        ++next;
    }
    return {};
}
