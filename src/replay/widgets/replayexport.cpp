#include "replay/widgets/replayexport.h"

#include "actions/widgets/modalrun.h"
#include "incident/summaryhtml.h"
#include "prompts/prompts.h"
#include "recording/logfile.h"
#include "replay/widgets/spanexportdialog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace {

QString summaryPath(const QString& APath) {
    const QFileInfo file(APath);
    return file.dir().filePath(file.completeBaseName() + QStringLiteral(".html"));
}

} // namespace

int WriteSpan(TRecordingSource& ASource, const TSpanExport& ASpan, const QString& APath,
              bool ASummary) {
    if (QFileInfo(APath) == QFileInfo(ASource.path()))
        throw ERecordingError(QCoreApplication::translate(
            "ReplayExport", "Период нельзя записать в ту же запись, из которой он взят."));
    // Written beside the file and put in its place when whole: a failure leaves what was
    // there as it was.
    const QString part = APath + QStringLiteral(".part");
    QFile::remove(part);
    int written = 0;
    try {
        written = ExportSpan(ASource, ASpan, part);
    } catch (const ERecordingError&) {
        QFile::remove(part);
        throw;
    }
    if (QFileInfo::exists(APath) && !QFile::remove(APath)) {
        QFile::remove(part);
        throw ERecordingError(
            QCoreApplication::translate("ReplayExport", "Не удалось заменить файл «%1».")
                .arg(APath));
    }
    QFile::rename(part, APath);
    if (ASummary) {
        WriteSpanSummary(ASource, ASpan.FromMs, ASpan.ToMs, summaryPath(APath));
    }
    return written;
}

void ExportSpanFromWindow(QWidget* AParent, TRecordingSource& ASource, qint64 AFromMs,
                          qint64 AToMs) {
    if (ASource.count() == 0)
        return;
    const auto write = [AParent, &ASource](const TSpanExport& span, bool summary) {
        const QString suggested =
            QDir(LogFolder())
                .filePath(QStringLiteral("%1-%2.dervelrec")
                              .arg(QDateTime::fromMSecsSinceEpoch(span.FromMs)
                                       .toString(QStringLiteral("yyyyMMdd-HHmmss")),
                                   ASource.info().Server)
                              .replace(QLatin1Char('/'), QLatin1Char('_'))
                              .replace(QLatin1Char('\\'), QLatin1Char('_')));
        const QString path = Prompts().saveFile(
            AParent, QCoreApplication::translate("ReplayExport", "Сохранить период"), suggested,
            QCoreApplication::translate("ReplayExport",
                                        "Записи Dervel (*.dervelrec);;Все файлы (*)"));
        if (path.isEmpty())
            return false;
        try {
            const int written = WriteSpan(ASource, span, path, summary);
            ShowMessage(
                summary
                    ? QCoreApplication::translate("ReplayExport",
                                                  "Записано снимков: %1, в «%2»; сводка — «%3».")
                          .arg(written)
                          .arg(path, summaryPath(path))
                    : QCoreApplication::translate("ReplayExport", "Записано снимков: %1, в «%2».")
                          .arg(written)
                          .arg(path),
                QCoreApplication::translate("ReplayExport", "Сохранить период"),
                TMsgIcon::Information);
            return true;
        } catch (const ERecordingError& e) {
            ShowError(e.message());
            return false;
        }
    };
    auto* dialog =
        new TSpanExportDialog(AParent, ASource.timeAt(0), ASource.timeAt(ASource.count() - 1),
                              AFromMs, AToMs, ASource.info().WithText, write);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    RunModal(dialog);
}
