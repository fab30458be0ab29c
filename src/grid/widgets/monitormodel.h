#pragma once
// The session grid's model: row i shows RecList[i], read in place (no copy into items).
// The row count moves only at the end, and an arrival is one dataChanged: selection,
// current cell and scroll position survive every snapshot.

#include "sampling/monitorrec.h"

#include <QAbstractTableModel>
#include <functional>

class TMonitorModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TMonitorModel(const TRecList& recList, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The grid's row count: rows beyond n go from the end, new rows come at the end.
    // Every row that stays is reported changed (its record was overwritten in place).
    void setRowCount(int n);
    // The record a row shows, nullptr outside the rows.
    PMonitorRec record(int row) const;
    QList<PMonitorRec> records() const; // the rows shown, top to bottom
    // What a wait resource is on, for the tooltip of a "Wait Resource" cell.
    void setResourceName(std::function<QString(const QString&)> AName) {
        FResourceName = std::move(AName);
    }

    // While two moments of a recording are compared the rate columns hold the counters'
    // growth between them, and their headers say so.
    void setGrowthCaptions(bool AGrowth);
    bool growthCaptions() const { return FGrowth; }

private:
    const TRecList& FRecList;
    bool FGrowth = false;
    int FRowCount = 0;
    std::function<QString(const QString&)> FResourceName;
};
