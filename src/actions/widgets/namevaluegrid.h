#pragma once
// A read-only two-column list of name/value lines, without a title row.

#include "actions/sessiondetail.h"

#include <QTableWidget>

class TNameValueGrid : public QTableWidget {
    Q_OBJECT
public:
    TNameValueGrid(int ANameWidth, QWidget* parent = nullptr);

    void setLines(const TNameValues& ALines);
    TNameValues lines() const;
};
