#pragma once
// The filters above the grid: the database, the login (applied when the user leaves the
// field), the statuses (a pop-up list below their summary), system sessions hidden and
// blocking chains only. Every change has the query composed again; "Очистить" (Ctrl+Y)
// clears them all.

#include "sampling/querycomposition.h"

#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QWidget;
class TMonitorToolBar;
class TStatusPanel;

class TGridFilters : public QObject {
    Q_OBJECT
public:
    // AStatusFilter is where the statuses' condition of the query is kept (empty for
    // all); ARecompose composes the query again and hands it over.
    TGridFilters(QString& AStatusFilter, std::function<void()> ARecompose, QWidget* AWindow);

    QAction* const actClearFilter;
    TStatusPanel* StatusPanel = nullptr; // the statuses' pop-up, made by attach()

    // The tool bar's filter controls, and the statuses' pop-up made for them; Enter in
    // the login filter goes on to AGrid. Once, before anything is composed.
    void attach(TMonitorToolBar* ABar, QWidget* AGrid);
    // The filters as the query composes them.
    TQueryFilters filters(bool AViewServerState) const;
    // A composition took the login filter's text as it is now.
    void composed();
    // The window goes: focus leaving the login filter no longer composes.
    void closing() { FClosing = true; }

    void actClearFilterExecute();
    QString StatusFilterUpdate(); // the statuses' condition anew; returns their summary
    void ClearStatusFilter();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override; // the login filter's keys

private:
    bool loginFilterLeft() const;

    QString& FStatusFilter;
    std::function<void()> FRecompose;
    QWidget* FGrid = nullptr;
    QWidget* FWindow;
    TMonitorToolBar* FBar = nullptr;
    QString FComposedLogin; // the login filter's text at the last composition
    bool FClosing = false;
};
