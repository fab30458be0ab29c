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

// The lengths of the lines the text area shows: CR LF, LF and CR each end a line, and
// a text that ends with one has an empty last line.
QList<int> TextLineLengths(const QString& AText);
// The 1-based line of a character index given by the server (a statement offset in
// characters, plus one). Lines are counted as if each ended with CR LF: the line of
// length L starting at count C holds the indexes C to C + L + 1. Past the last line
// the result is the number of lines + 1.
int LineOfCharIndex(const QList<int>& ALineLengths, qint64 AIndex);

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
TSessionDetail LoadSessionDetail(TDbConnection& AConnection, int ASPID, int ARequestID);

// The first of the rows whose session is the given blocker, nullptr when none is.
PMonitorRec FindBlockingRec(const QList<PMonitorRec>& ARows, int ABlocking);
