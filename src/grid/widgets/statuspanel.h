#pragma once
// The drop-down panel of the status filter: "Все", "Нет", the check list of the eight
// statuses and "ОК". Every change applies at once; the panel stays open until "ОК",
// Enter, Esc or the focus leaves it.

#include <QFrame>
#include <QStringList>

class QListWidget;

class TStatusPanel : public QFrame {
    Q_OBJECT
public:
    explicit TStatusPanel(QWidget* parent = nullptr);
    QStringList checkedStatuses() const; // in list order
    void setAllChecked(bool checked);
    // Opens below `anchor` (its width), unrolling in ten steps to the full height.
    void StatusPanelShow(QWidget* anchor);
    void StatusPanelClose();
    int fullHeight() const { return FFullHeight; }
    QListWidget* cbStatus;

signals:
    void changed(); // a status was checked or unchecked

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onFocusChanged(QWidget* old, QWidget* now);
    int FFullHeight = 176;
};
