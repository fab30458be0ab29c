#include "replay/recordeddetail.h"

#include "grid/celltext.h"
#include "grid/monitorcolumns.h"

TSessionDetail RecordedSessionDetail(const TRecordedRow& ARow) {
    TSessionDetail d;
    const TMonitorRec& r = ARow.Rec;
    // A session without a request has no row in sys.dm_exec_requests; the request's
    // columns then fell back to the session's own, or are empty.
    const bool hasRequest = !r.Command.isEmpty();
    if (hasRequest)
        d.RequestList << TNameValue{QStringLiteral("request_id"), QString::number(r.RequestID)};
    for (int column = 0; column < QueryColumnCount; ++column) {
        const TMonitorColumn& c = MonitorColumns()[column];
        const QString source = c.Source.toString();
        const QString view = source.section(QLatin1Char('.'), 0, 0);
        TNameValues* page = &d.SessionList;
        if (view == QLatin1String("requests")) {
            if (!hasRequest && !source.contains(QLatin1String("sessions.")))
                continue;
            if (hasRequest)
                page = &d.RequestList;
        } else if (view == QLatin1String("connections")) {
            page = &d.ConnectionList;
        }
        *page << TNameValue{ColumnCaption(column), CellText(r, column, SystemThousandSeparator())};
    }
    if (!ARow.Text.isEmpty()) {
        d.Source = TDetailSource::Requests;
        d.Text = ARow.Text;
        const QList<int> spans = TextLineSpans(ARow.Text);
        d.LineStart = LineOfCharIndex(spans, ARow.Idx1);
        d.LineEnd = LineOfCharIndex(spans, ARow.Idx2);
    } else {
        d.Source = TDetailSource::Nothing;
    }
    return d;
}
