#pragma once
// The colour legend: eight bars with the grid's row and text colours under their names.
// It goes away at any click, any key, or when another window becomes active.

#include <QWidget>

class QLabel;

class THelpForm : public QWidget {
    Q_OBJECT
public:
    // Centred over ACenterOver; frees itself when it closes.
    explicit THelpForm(QWidget* ACenterOver);

    QList<QLabel*> bars() const { return FBars; }

protected:
    void mousePressEvent(QMouseEvent* event) override; // AnyClick, also for the bars
    void keyPressEvent(QKeyEvent* event) override;     // FormKeyDown
    void changeEvent(QEvent* event) override;          // FormDeactivate

private:
    QList<QLabel*> FBars;
    bool FWasActive = false;
};

// actHelp: a new legend, shown without being modal.
THelpForm* ShowColourLegend(QWidget* AMainWindow);
