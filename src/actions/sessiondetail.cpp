#include "actions/sessiondetail.h"

#include "database/dbconnection.h"
#include "database/dberror.h"

#include <QCoreApplication>

namespace {

// The input buffer is the one result the window cannot do without: a reply without a
// row is a failure, worded as the classic data access message for a missing record.
const QString kNoCurrentRecord = QStringLiteral(
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
    "requires a current record.");

QString fieldText(const TDbField& AField) {
    return AField.isNull() ? QString() : AField.asString();
}

} // namespace

QString SessionRowsStatement(int ASPID) {
    return QStringLiteral("select * from sys.dm_exec_sessions where session_id=%1").arg(ASPID);
}

QString RequestRowsStatement(int ASPID, int ARequestID) {
    return QStringLiteral("select * from sys.dm_exec_requests where session_id=%1 and "
                          "request_id=%2")
        .arg(QString::number(ASPID), QString::number(ARequestID));
}

QString ConnectionRowsStatement(int ASPID) {
    return QStringLiteral("select * from sys.dm_exec_connections where session_id=%1").arg(ASPID);
}

QString StatementTextStatement(int ASPID, int ARequestID) {
    const QStringList lines = {
        QStringLiteral("select Idx1 = isnull((R.statement_start_offset/2)+1,0),"),
        QStringLiteral("       Idx2 = isnull(((case R.statement_end_offset when -1 then "
                       "datalength(T.text) else R.statement_end_offset END)/2) + 1,0),"),
        QStringLiteral("       Text = isnull(T.text,'')"),
        QStringLiteral("from sys.dm_exec_requests R"),
        QStringLiteral("cross apply sys.dm_exec_sql_text(R.sql_handle) T"),
        QStringLiteral("where R.session_id=%1").arg(ASPID),
        QStringLiteral("  and R.request_id=%1").arg(ARequestID)};
    return lines.join(QStringLiteral("\r\n"));
}

QString InputBufferStatement(int ASPID) {
    return QStringLiteral("DBCC INPUTBUFFER(%1) WITH NO_INFOMSGS ").arg(ASPID);
}

TNameValues NameValueLines(TDbRecordset& ARows) {
    TNameValues lines;
    for (; !ARows.eof(); ARows.moveNext())
        for (int i = 0; i < ARows.fieldCount(); ++i) {
            const TDbField field = ARows.field(i);
            lines.append({field.name(), fieldText(field)});
        }
    return lines;
}

QList<int> TextLineSpans(const QString& AText) {
    QList<int> spans;
    const qsizetype n = AText.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = AText[i];
        if (c != u'\r' && c != u'\n')
            continue;
        const int breakLength = c == u'\r' && i + 1 < n && AText[i + 1] == u'\n' ? 2 : 1;
        spans.append(static_cast<int>(i - start) + breakLength);
        i += breakLength - 1;
        start = i + 1;
    }
    spans.append(static_cast<int>(n - start) + 2);
    return spans;
}

int LineOfCharIndex(const QList<int>& ALineSpans, qint64 AIndex) {
    qint64 count = 0;
    for (int line = 0; line < ALineSpans.size(); ++line) {
        count += ALineSpans[line];
        if (AIndex < count)
            return line + 1;
    }
    return static_cast<int>(ALineSpans.size()) + 1;
}

QString DetailSourceLabel(TDetailSource ASource) {
    switch (ASource) {
    case TDetailSource::Requests:
        return QStringLiteral(" sys.dm_exec_requests");
    case TDetailSource::InputBuffer:
        return QStringLiteral(" DBCC INPUTBUFFER");
    case TDetailSource::Nothing:
        return QCoreApplication::translate("SessionDetail", " No statesments available");
    case TDetailSource::Error:
        break;
    }
    return QCoreApplication::translate("SessionDetail", " Error");
}

TSessionDetail LoadSessionDetail(TDbConnection& AConnection, int ASPID, int ARequestID,
                                 bool AWithConnections) {
    TSessionDetail d;
    try {
        TDbRecordset rows = AConnection.execute(SessionRowsStatement(ASPID));
        d.SessionList = NameValueLines(rows);
        rows = AConnection.execute(RequestRowsStatement(ASPID, ARequestID));
        d.RequestList = NameValueLines(rows);
        if (AWithConnections) {
            rows = AConnection.execute(ConnectionRowsStatement(ASPID));
            d.ConnectionList = NameValueLines(rows);
        }

        const TDbRecordset statement =
            AConnection.execute(StatementTextStatement(ASPID, ARequestID));
        const QString batch =
            statement.eof() ? QString() : fieldText(statement.fieldByName(QStringLiteral("Text")));
        if (!batch.isEmpty()) {
            const QList<int> spans = TextLineSpans(batch);
            d.LineStart =
                LineOfCharIndex(spans, statement.fieldByName(QStringLiteral("Idx1")).asLargeInt());
            d.LineEnd =
                LineOfCharIndex(spans, statement.fieldByName(QStringLiteral("Idx2")).asLargeInt());
            d.Text = batch;
            d.Source = TDetailSource::Requests;
            return d;
        }

        const TDbRecordset buffer = AConnection.execute(InputBufferStatement(ASPID));
        if (buffer.eof())
            throw EDbError(kNoCurrentRecord);
        d.Text = fieldText(buffer.fieldByName(QStringLiteral("EventInfo")));
        d.Source = d.Text.isEmpty() ? TDetailSource::Nothing : TDetailSource::InputBuffer;
    } catch (const EDbError& e) {
        d.Source = TDetailSource::Error;
        d.Text = e.message();
        d.LineStart = 0;
        d.LineEnd = 0;
    }
    return d;
}

PMonitorRec FindBlockingRec(const QList<PMonitorRec>& ARows, int ABlocking) {
    for (const PMonitorRec rec : ARows)
        if (rec->SPID == ABlocking)
            return rec;
    return nullptr;
}
