#include "replay/widgets/spanexportdialog.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>

namespace {

QDateTimeEdit* timeEdit(QWidget* parent, const char* name, qint64 first, qint64 last, qint64 at) {
    auto* edit = new QDateTimeEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    // Whole seconds are what the edit shows; the span reaches the last snapshot's second.
    edit->setDateTimeRange(QDateTime::fromMSecsSinceEpoch(first / 1000 * 1000),
                           QDateTime::fromMSecsSinceEpoch(last / 1000 * 1000 + 999));
    edit->setDateTime(QDateTime::fromMSecsSinceEpoch(at));
    return edit;
}

} // namespace

TSpanExportDialog::TSpanExportDialog(QWidget* AParent, qint64 AFirstMs, qint64 ALastMs,
                                     qint64 AFromMs, qint64 AToMs, bool AWithText, TExport AExport)
    : QDialog(AParent), FExport(std::move(AExport)) {
    setObjectName(QStringLiteral("SpanExportDialog"));
    setWindowTitle(tr("Сохранить период"));
    edFrom = timeEdit(this, "edExportFrom", AFirstMs, ALastMs, AFromMs);
    edTo = timeEdit(this, "edExportTo", AFirstMs, ALastMs, AToMs);
    cbWithoutText = new QCheckBox(tr("Без текстов пакетов"), this);
    cbWithoutText->setObjectName(QStringLiteral("cbExportWithoutText"));
    cbWithoutText->setToolTip(tr("В текстах бывают пароли и данные клиентов"));
    cbWithoutText->setEnabled(AWithText); // a recording without texts has none to leave out
    cbSummary = new QCheckBox(tr("Сводка HTML рядом"), this);
    cbSummary->setObjectName(QStringLiteral("cbExportSummary"));
    cbSummary->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TSpanExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TSpanExportDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(tr("С:"), edFrom);
    form->addRow(tr("По:"), edTo);
    form->addRow(cbWithoutText);
    form->addRow(cbSummary);
    form->addRow(buttons);
}

void TSpanExportDialog::accept() {
    TSpanExport span;
    span.FromMs = edFrom->dateTime().toMSecsSinceEpoch();
    // The edit shows whole seconds: its last second counts whole.
    span.ToMs = edTo->dateTime().toMSecsSinceEpoch() + 999;
    span.WithoutText = cbWithoutText->isChecked();
    if (FExport(span, cbSummary->isChecked()))
        QDialog::accept();
}
