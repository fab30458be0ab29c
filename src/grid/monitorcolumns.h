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

inline constexpr int MonitorColumnCount = 37;

std::span<const TMonitorColumn> MonitorColumns();
// The header text in the language in use.
QString ColumnCaption(int AColumn);
