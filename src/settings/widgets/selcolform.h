#pragma once
// "Показывать колонки": a small pop-up in which the user ticks the grid columns to show
// or restores the built-in layout. Closes when it loses activation.

#include <QWidget>
#include <functional>

class QListWidget;
class QToolBar;
class QToolButton;
class TMonitorView;

class TSelColForm : public QWidget {
    Q_OBJECT
public:
    // monitoring: recomposes the query; loadDefCols: applies the built-in layout.
    TSelColForm(TMonitorView* grid, std::function<void()> monitoring,
                std::function<void()> loadDefCols, QWidget* parent = nullptr);

    // Shows at the mouse pointer with the grid's current visibility; read-only while
    // recording. currentColumn: the column under the pointer, or -1.
    void FormShow(bool recording, int currentColumn);

    void tbCheckAllClick();
    void tbUncheckAllClick();
    void tbOKClick();
    void tbDefaultsClick();

    QListWidget* ColList;
    QToolBar* ToolBar;
    QToolButton* tbCheckAll;
    QToolButton* tbUncheckAll;
    QToolButton* tbOK;
    QToolButton* tbCancel;
    QToolButton* tbDefaults;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setChecked(int from, bool checked);

    TMonitorView* FGrid;
    std::function<void()> FMonitoring;
    std::function<void()> FLoadDefCols;
};
