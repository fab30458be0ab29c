#pragma once
// The session grid's 37 columns. A column is always named by its fixed index (its
// place in this table), never by its display position.

#include <QString>
#include <QStringView>
#include <Qt>
#include <span>

enum class TCellForm {
    Text,     // the field's string as stored
    Decimal,  // plain signed decimal
    Grouped,  // whole number with thousands separators
    DateTime, // dd.mm.yyyy hh:mm:ss
    Blocker,  // empty for 0, else decimal
    Flag,     // "True" / "False"
    Rate,     // per second between two samples, grouped; empty when there is none
};

struct TMonitorColumn {
    int Index;
    const char* Caption; // header text as the source text of its translation
    QStringView Source;  // description shown by the column chooser
    TCellForm Form;
    Qt::AlignmentFlag Alignment; // of the cells; header captions are always left-aligned
    int DefaultWidth;            // pixels at 96 dots per inch
    bool DefaultVisible;
};

// The grid's columns: the 37 that the sampling query selects (indices 0 to 36, the
// settings value "Columns" and the query composition know these), then the rates, which
// the window computes from two snapshots (37 to 40).
inline constexpr int QueryColumnCount = 37;
inline constexpr int FirstRateColumn = 37;
inline constexpr int RateColumnCount = 4;
inline constexpr int MonitorColumnCount = QueryColumnCount + RateColumnCount;
inline constexpr int LoginColumn = 1;
inline constexpr int StatusColumn = 2;
inline constexpr int WaitTimeColumn = 26;
inline constexpr int BlockingColumn = 13; // the rates come after it in the built-in layout

inline constexpr bool IsRateColumn(int AColumn) {
    return AColumn >= FirstRateColumn && AColumn < MonitorColumnCount;
}

std::span<const TMonitorColumn> MonitorColumns();
// The header text in the language in use.
QString ColumnCaption(int AColumn);
// A rate column's header while two moments are compared: the counter's growth between them.
QString GrowthCaption(int ARateColumn);
