#pragma once
// "Сохранить период": the span of the recording to write as a recording of its own (from
// the marked moment, or the start, to the snapshot on show), whether without texts, and
// whether with the HTML summary beside it. OK hands the choice to the caller, which asks
// for the file and writes it; the dialog stays open when that fails.

#include "incident/spanexport.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QDateTimeEdit;

class TSpanExportDialog : public QDialog {
    Q_OBJECT
public:
    // AExport: writes the span (with the summary when asked); false when it did not.
    using TExport = std::function<bool(const TSpanExport& span, bool summary)>;
    // AFirstMs..ALastMs: the recording's span; AFromMs..AToMs: the span offered.
    TSpanExportDialog(QWidget* AParent, qint64 AFirstMs, qint64 ALastMs, qint64 AFromMs,
                      qint64 AToMs, bool AWithText, TExport AExport);

    QDateTimeEdit* edFrom;
    QDateTimeEdit* edTo;
    QCheckBox* cbWithoutText;
    QCheckBox* cbSummary;

    void accept() override;

private:
    TExport FExport;
};
