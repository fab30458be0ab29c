#include "alerts/widgets/alertrulesdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

TAlertRulesDialog::TAlertRulesDialog(const TAlertRules& ARules, const QStringList& AServers,
                                     QWidget* parent)
    : QDialog(parent), RuleList(new QListWidget(this)), cbEnabled(new QCheckBox(tr("Включено"))),
      seThreshold(new QSpinBox), edLogins(new QLineEdit), edPrograms(new QLineEdit),
      edDatabases(new QLineEdit), edCommands(new QLineEdit),
      rbAllServers(new QRadioButton(tr("Все серверы"))),
      rbSomeServers(new QRadioButton(tr("Только отмеченные:"))), ServerList(new QListWidget),
      FRules(ARules), FServers(AServers) {
    setObjectName(QStringLiteral("AlertRulesDialog"));
    setWindowTitle(tr("Оповещения"));
    RuleList->setObjectName(QStringLiteral("RuleList"));
    for (TAlertKind kind : AllAlertKinds)
        RuleList->addItem(AlertRuleName(kind));
    RuleList->setFixedWidth(RuleList->sizeHintForColumn(0) + 24);
    cbEnabled->setObjectName(QStringLiteral("cbEnabled"));
    seThreshold->setObjectName(QStringLiteral("seThreshold"));
    seThreshold->setRange(1, 100000);
    edLogins->setObjectName(QStringLiteral("edLogins"));
    edPrograms->setObjectName(QStringLiteral("edPrograms"));
    edDatabases->setObjectName(QStringLiteral("edDatabases"));
    edCommands->setObjectName(QStringLiteral("edCommands"));
    rbAllServers->setObjectName(QStringLiteral("rbAllServers"));
    rbSomeServers->setObjectName(QStringLiteral("rbSomeServers"));
    ServerList->setObjectName(QStringLiteral("ServerList"));
    for (const QString& name : FServers) {
        auto* item = new QListWidgetItem(name, ServerList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }

    auto* form = new QFormLayout;
    form->addRow(cbEnabled);
    form->addRow(tr("Порог:"), seThreshold);
    auto* hint = new QLabel(tr("Не оповещать о сеансах (через «;», «*» — любой текст):"));
    hint->setWordWrap(true);
    form->addRow(hint);
    form->addRow(tr("Логины:"), edLogins);
    form->addRow(tr("Программы:"), edPrograms);
    form->addRow(tr("Базы данных:"), edDatabases);
    form->addRow(tr("Команды:"), edCommands);
    form->addRow(rbAllServers);
    form->addRow(rbSomeServers);
    form->addRow(ServerList);
    connect(rbSomeServers, &QRadioButton::toggled, ServerList, &QWidget::setEnabled);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* top = new QHBoxLayout;
    top->addWidget(RuleList);
    top->addLayout(form, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);

    connect(RuleList, &QListWidget::currentRowChanged, this, [this](int row) {
        keepRule();
        showRule(row);
    });
    RuleList->setCurrentRow(0);
}

void TAlertRulesDialog::showRule(int ARule) {
    if (ARule < 0 || ARule >= int(FRules.Rules.size()))
        return;
    FShown = ARule;
    const TAlertRule& r = FRules.Rules[std::size_t(ARule)];
    cbEnabled->setChecked(r.Enabled);
    seThreshold->setSuffix(QLatin1Char(' ') + AlertThresholdUnit(r.Kind));
    seThreshold->setValue(r.Threshold);
    edLogins->setText(JoinAlertList(r.ExcludeLogins));
    edPrograms->setText(JoinAlertList(r.ExcludePrograms));
    edDatabases->setText(JoinAlertList(r.ExcludeDatabases));
    edCommands->setText(JoinAlertList(r.ExcludeCommands));
    rbAllServers->setChecked(r.Servers.isEmpty());
    rbSomeServers->setChecked(!r.Servers.isEmpty());
    ServerList->setEnabled(!r.Servers.isEmpty());
    for (int i = 0; i < ServerList->count(); ++i) {
        QListWidgetItem* item = ServerList->item(i);
        item->setCheckState(r.Servers.contains(item->text(), Qt::CaseInsensitive) ? Qt::Checked
                                                                                  : Qt::Unchecked);
    }
}

void TAlertRulesDialog::keepRule() {
    if (FShown < 0)
        return;
    TAlertRule& r = FRules.Rules[std::size_t(FShown)];
    r.Enabled = cbEnabled->isChecked();
    r.Threshold = seThreshold->value();
    r.ExcludeLogins = SplitAlertList(edLogins->text());
    r.ExcludePrograms = SplitAlertList(edPrograms->text());
    r.ExcludeDatabases = SplitAlertList(edDatabases->text());
    r.ExcludeCommands = SplitAlertList(edCommands->text());
    QStringList servers;
    if (rbSomeServers->isChecked()) {
        for (int i = 0; i < ServerList->count(); ++i)
            if (ServerList->item(i)->checkState() == Qt::Checked)
                servers << ServerList->item(i)->text();
        // Servers of the rule that are not in this list (a recorder's) stay.
        for (const QString& s : r.Servers)
            if (!FServers.contains(s, Qt::CaseInsensitive))
                servers << s;
    }
    r.Servers = servers;
}

TAlertRules TAlertRulesDialog::rules() {
    keepRule();
    return FRules;
}
