#pragma once
// The status filter: the statuses offered, the list text put into the sampling query
// and the summary shown in the filter's field.

#include <QString>
#include <QStringList>

// The eight statuses of the check list, in list order.
QStringList StatusNames();

// The checked statuses, each in single quotes, joined by commas without blanks
// ('running','sleeping'); empty when none is checked. AChecked holds the checked
// items' texts in list order.
QString StatusFilterText(const QStringList& AChecked);

// "<all statuses>" for none, the status itself for one, "<N statuses>" otherwise.
QString StatusSummaryText(const QStringList& AChecked);
