#include "record/recordexport.h"

#include "incident/spanexport.h"
#include "incident/summaryhtml.h"
#include "pgstore/pgrecordingreader.h"
#include "recorder/recordingreader.h"

#include <QCoreApplication>

namespace {

std::unique_ptr<TRecordingSource> openSource(const TRecordCommand& c) {
    if (c.Export.startsWith(QLatin1String("postgresql://")) ||
        c.Export.startsWith(QLatin1String("postgres://")))
        return std::make_unique<TPgRecordingReader>(c.Export, c.Servers.value(0));
    return std::make_unique<TRecordingReader>(c.Export);
}

} // namespace

int RunRecordExport(const TRecordCommand& c, const std::function<void(const QString&)>& AReport) {
    try {
        const std::unique_ptr<TRecordingSource> source = openSource(c);
        const int written = ExportSpan(*source, {c.FromMs, c.ToMs, c.WithoutText}, c.Out);
        AReport(QCoreApplication::translate("RecordExport", "Записано снимков: %1, в «%2».")
                    .arg(written)
                    .arg(c.Out));
        if (!c.Html.isEmpty()) {
            WriteSpanSummary(*source, c.FromMs, c.ToMs, c.Html);
            AReport(QCoreApplication::translate("RecordExport", "Сводка: «%1».").arg(c.Html));
        }
        return kRecordExitOk;
    } catch (const ERecordingError& e) {
        AReport(e.message());
        return kRecordExitFailed;
    }
}
