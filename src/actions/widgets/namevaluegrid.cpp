#include "actions/widgets/namevaluegrid.h"

#include <QHeaderView>

TNameValueGrid::TNameValueGrid(int ANameWidth, QWidget* parent) : QTableWidget(0, 2, parent) {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(13);
    setFont(f);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    setColumnWidth(0, ANameWidth);
    setEditTriggers(NoEditTriggers);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setWordWrap(false);
    QPalette p = palette();
    p.setColor(QPalette::Base, p.color(QPalette::ToolTipBase));
    setPalette(p);
}

void TNameValueGrid::setLines(const TNameValues& ALines) {
    clearContents();
    setRowCount(static_cast<int>(ALines.size()));
    for (int row = 0; row < ALines.size(); ++row) {
        setItem(row, 0, new QTableWidgetItem(ALines[row].Name));
        setItem(row, 1, new QTableWidgetItem(ALines[row].Value));
    }
}

TNameValues TNameValueGrid::lines() const {
    TNameValues result;
    for (int row = 0; row < rowCount(); ++row)
        result.append({item(row, 0)->text(), item(row, 1)->text()});
    return result;
}
