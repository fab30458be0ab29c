#pragma once
// "Оповещения…": the four alert rules, each on or off, its threshold, the logins,
// programs, databases and commands it passes over, and the servers it watches.

#include "alerts/alertrule.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QSpinBox;

class TAlertRulesDialog : public QDialog {
    Q_OBJECT
public:
    TAlertRulesDialog(const TAlertRules& ARules, const QStringList& AServers,
                      QWidget* parent = nullptr);

    // The rules as edited (the rule on show included).
    TAlertRules rules();

    QListWidget* RuleList;
    QCheckBox* cbEnabled;
    QSpinBox* seThreshold;
    QLineEdit* edLogins;
    QLineEdit* edPrograms;
    QLineEdit* edDatabases;
    QLineEdit* edCommands;
    QRadioButton* rbAllServers;
    QRadioButton* rbSomeServers;
    QListWidget* ServerList;

private:
    void showRule(int ARule);
    void keepRule();

    TAlertRules FRules;
    QStringList FServers;
    int FShown = -1;
};
