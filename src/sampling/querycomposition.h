#pragma once
// The sampling query: its fixed template and the composition of the text that is
// handed to the sampler from the template, the visible grid columns, the filters
// and the sort order. Everything here is a function of plain values.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Lines 0..36 select the grid column of the same index; 37..42 the columns every
// sample needs; 43..46 the source and "where 1=1".
QStringList QueryTemplateLines();

// Filter state read from the grid's tool bar.
struct TQueryFilters {
    int DBIndex = 0;      // selected index of the database list, -1 for none
    QString DBName;       // text of the selected database item
    QString StatusFilter; // 'running','sleeping' form, empty for no status filter
    QString Login;        // exact login name, empty for none
    bool HideSys = false;
    bool ShowBlocked = false;
    // False for a login without VIEW SERVER STATE, for which sys.dm_exec_connections is an
    // error: the join and the connection columns are left out (their values stay at the
    // record's defaults).
    bool WithConnections = true;
};

// The columns that come from sys.dm_exec_connections.
inline constexpr int FirstConnectionColumn = 30;
inline constexpr int LastConnectionColumn = 36;

struct TComposedQuery {
    QString Text;   // every line ended by CR LF
    int SortColumn; // the sort column the grid must show afterwards
};

// The sort column while the grid shows the columns of AShown (one flag per grid column, in
// column index order): ASortColumn when it is shown, else 0 (SPID). Only what is shown
// counts: a column the query selects for another reason keeps no order.
int ShownSortColumn(const QList<bool>& AShown, int ASortColumn);

// AVisible holds one entry per grid column, in column index order.
TComposedQuery ComposeQuery(const QStringList& ATemplate, const QList<bool>& AVisible,
                            int ASortColumn, bool ADescending, const TQueryFilters& AFilters);

// Doubles every single quote so the text can stand inside a T-SQL string literal.
QString QuoteSqlLiteralText(const QString& AText);

// Items of the database filter: "<all databases>", "<empty>", then the names.
QStringList DBFilterItems(const QStringList& ADBList);

// Which item of the rebuilt database filter to select after a reload: index 0 and 1
// stay; a database name is looked up again ignoring letter case; nothing when the
// name has gone or nothing was selected (the caller then selects index 0).
std::optional<int> DBReselectIndex(int ACurrentIndex, const QString& ASelectedName,
                                   const QStringList& ANewDBList);
