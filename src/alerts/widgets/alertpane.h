#pragma once
// "Оповещения": the pane below the grid listing this run's alerts, the open ones in the
// blocking colour, with a line above them when desktop notifications cannot be shown.
// Enter or a double click on an alert goes to it as its notification's action does.

#include <QWidget>

class QLabel;
class QTreeView;
class TAlertListModel;
struct TAlert;

class TAlertPane : public QWidget {
    Q_OBJECT
public:
    explicit TAlertPane(TAlertListModel* AModel, QWidget* parent = nullptr);

    QTreeView* view() const { return FView; }
    QLabel* notice() const { return FNotice; }
    void setNotice(const QString& AText);

signals:
    void alertChosen(const TAlert& AAlert);

private:
    TAlertListModel* FModel;
    QLabel* FNotice;
    QTreeView* FView;
};
