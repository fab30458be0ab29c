#pragma once
// The text of a session grid cell. The same text is shown in the grid, copied to the
// clipboard and written to the activity log.

#include <QString>

struct TMonitorRec;

// Text of column AColumn (fixed index, see monitorcolumns.h) for a record; empty for
// an index outside the grid. AThousandSeparator is used by the grouped numbers.
QString CellText(const TMonitorRec& ARec, int AColumn, const QString& AThousandSeparator);

// A number rounded to a whole one (halves away from zero), digits grouped by three.
QString GroupedText(double AValue, const QString& AThousandSeparator);

// "dd.mm.yyyy hh:mm:ss" of a day count since 1899-12-30. A negative count keeps its
// whole part as the day and its fraction, without the sign, as the time of day
// (-1.25 is 29.12.1899 06:00:00). The time is taken to the millisecond and the
// seconds shown are whole ones, so 23:59:59.9996 reads as 00:00:00 of the next day.
// Empty for a count outside the years 1 to 9999.
QString DateTimeText(double ADays);

// The thousands separator of the user's locale, read on first use.
const QString& SystemThousandSeparator();
