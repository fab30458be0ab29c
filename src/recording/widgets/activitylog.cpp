#include "recording/widgets/activitylog.h"

#include "grid/celltext.h"
#include "grid/monitorcolumns.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorstatusbar.h"
#include "grid/widgets/monitorview.h"
#include "prompts/prompts.h"
#include "recording/logfile.h"
#include "recording/logformat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHeaderView>
#include <QToolButton>

TActivityLog::TActivityLog(QToolButton* tbRecord, TMonitorView* grid, TMonitorStatusBar* statusBar,
                           std::function<std::optional<QString>()> serverName)
    : FRecord(tbRecord), FGrid(grid), FStatusBar(statusBar), FServerName(std::move(serverName)) {}

QList<int> TActivityLog::visibleColumnsInDisplayOrder() const {
    const QHeaderView* header = FGrid->horizontalHeader();
    QList<int> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical))
            columns << logical;
    }
    return columns;
}

void TActivityLog::StartRecord(bool Start, const QString& Msg) {
    const bool wasEnabled = FRecord->isEnabled();
    FRecord->setEnabled(true);
    const std::optional<QString> server = FServerName();
    if (Start && server) {
        FileName = LogFilePath(LogFolder(), QDateTime::currentDateTime(), *server);
        FRecord->setChecked(true);
        LogToFileFirst();
    }
    if (!Start) {
        FRecord->setChecked(false);
        if (!Msg.isEmpty())
            ShowMessage(RecordStopMessage(Msg, FileName),
                        QCoreApplication::translate("ActivityLog", "Запись в файл"),
                        TMsgIcon::Information);
        FileName.clear();
    }
    // The log's columns are fixed while it is written.
    FGrid->setColumnDragAllowed(!FRecord->isChecked());
    FStatusBar->setPanelText(5, FileName);
    FRecord->setEnabled(wasEnabled);
}

void TActivityLog::LogToFileFirst() {
    QStringList captions;
    for (int column : visibleColumnsInDisplayOrder())
        captions << ColumnCaption(column);
    try {
        WriteLogText(FileName, LogHeaderLine(captions), true);
    } catch (const ELogWriteError& e) {
        StartRecord(false, e.message());
    }
}

void TActivityLog::LogToFile() {
    const QList<int> columns = visibleColumnsInDisplayOrder();
    const QString stamp = LogTimeStamp(QDateTime::currentDateTime());
    const TMonitorModel* model = FGrid->monitorModel();
    const int rows = model->rowCount();
    QString text;
    text.reserve(rows * (stamp.size() + 12 * columns.size()));
    for (int row = 0; row < rows; ++row) {
        const TMonitorRec& rec = *model->record(row);
        text += stamp;
        for (int column : columns) {
            text += QLatin1Char(';');
            text += CellText(rec, column, SystemThousandSeparator());
        }
        text += QLatin1String("\r\n");
    }
    try {
        WriteLogText(FileName, text, false);
    } catch (const ELogWriteError& e) {
        StartRecord(false, e.message());
    }
}

void TActivityLog::tbRecordClick() {
    StartRecord(FileName.isEmpty(), QString());
}
