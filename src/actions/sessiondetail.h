#pragma once
// What the session detail window shows, loaded as plain values: the session's rows from
// the three views as name/value lines, and the text of its batch with the current
// statement's lines, or its last input buffer.

#include "sampling/monitorrec.h"

#include <QList>
#include <QString>

class TDbConnection;
class TDbRecordset;

struct TNameValue {
    QString Name;
    QString Value;
    bool operator==(const TNameValue&) const = default;
};
using TNameValues = QList<TNameValue>;

QString SessionRowsStatement(int ASPID);
QString RequestRowsStatement(int ASPID, int ARequestID);
QString ConnectionRowsStatement(int ASPID);
QString StatementTextStatement(int ASPID, int ARequestID);
QString InputBufferStatement(int ASPID);

// Every row's columns in result order; a NULL reads as empty text.
TNameValues NameValueLines(TDbRecordset& ARows);

// How many character indexes each line of the text area takes: its characters and its
// line break as the text has it (CR LF two, a bare LF or CR one). The last line has no
// break and is given two, so that the end of the batch plus one still falls on it. CR
// LF, LF and CR each end a line; a text that ends with one has an empty last line.
QList<int> TextLineSpans(const QString& AText);
// The 1-based line of a character index given by the server (a statement offset in
// characters, plus one): the line whose span, counted from the sum of the spans before
// it, holds the index. Past the last line the result is the number of lines + 1.
int LineOfCharIndex(const QList<int>& ALineSpans, qint64 AIndex);

enum class TDetailSource { Requests, InputBuffer, Nothing, Error };
// The source label's text: " sys.dm_exec_requests", " DBCC INPUTBUFFER",
// " No statesments available", " Error".
QString DetailSourceLabel(TDetailSource ASource);

struct TSessionDetail {
    TNameValues SessionList;
    TNameValues RequestList;
    TNameValues ConnectionList;
    TDetailSource Source = TDetailSource::Nothing;
    QString Text;      // the batch, the input buffer, or the failure's message
    int LineStart = 0; // the current statement's lines, 1-based; 0 when none
    int LineEnd = 0;
};

// Sends the detail statements in order. A failure ends the load with Source Error and
// the message as Text; the lists keep what they received before it.
// Without VIEW SERVER STATE (AWithConnections false) the connection's rows are not asked
// for: reading sys.dm_exec_connections is an error for such a login.
TSessionDetail LoadSessionDetail(TDbConnection& AConnection, int ASPID, int ARequestID,
                                 bool AWithConnections = true);

// The first of the rows whose session is the given blocker, nullptr when none is.
PMonitorRec FindBlockingRec(const QList<PMonitorRec>& ARows, int ABlocking);
