#pragma once
// The alerts of this run, in the order raised: a row appears when an alert is raised and
// changes when it ends; the oldest ended rows go once there are more than kMaxRows.

#include "alerts/alert.h"

#include <QAbstractTableModel>

class TAlertListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { Start, End, Duration, Server, Rule, Subject, ColumnCount };
    static constexpr int kMaxRows = 1000;

    explicit TAlertListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void raised(const TAlert& AAlert);
    void cleared(const TAlert& AAlert);
    const TAlert* alert(int ARow) const;

private:
    int rowOf(qint64 AId) const;
    QList<TAlert> FAlerts;
};
