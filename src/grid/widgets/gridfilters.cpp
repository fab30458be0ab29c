#include "grid/widgets/gridfilters.h"

#include "grid/statusfilter.h"
#include "grid/widgets/monitortoolbar.h"
#include "grid/widgets/statusfilteredit.h"
#include "grid/widgets/statuspanel.h"
#include "resources/monitoraction.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

TGridFilters::TGridFilters(QString& AStatusFilter, std::function<void()> ARecompose,
                           QWidget* AWindow)
    : QObject(AWindow), actClearFilter(MakeMonitorAction(this, "actClearFilter", tr("Очистить"),
                                                         tr("Очистить все фильтры"), 4,
                                                         QKeySequence(Qt::CTRL | Qt::Key_Y))),
      FStatusFilter(AStatusFilter), FRecompose(std::move(ARecompose)), FWindow(AWindow) {
    AWindow->addAction(actClearFilter);
    connect(actClearFilter, &QAction::triggered, this, [this] { actClearFilterExecute(); });
}

void TGridFilters::attach(TMonitorToolBar* ABar, QWidget* AGrid) {
    FBar = ABar;
    FGrid = AGrid;
    connect(ABar->tbShowBlocked, &QToolButton::clicked, this, [this] { FRecompose(); });
    connect(ABar->tbHideSys, &QToolButton::clicked, this, [this] { FRecompose(); });
    connect(ABar->edLoginClear, &QAction::triggered, this, [this] {
        FBar->edLogin->clear();
        FRecompose();
    });
    ABar->edLogin->installEventFilter(this);
    connect(ABar->cbDBList, &QComboBox::activated, this, [this] { FRecompose(); });
    connect(ABar->edStFlt, &TStatusFilterEdit::openRequested, this,
            [this] { StatusPanel->StatusPanelShow(FBar->edStFlt); });
    StatusPanel = new TStatusPanel(FWindow);
    connect(StatusPanel, &TStatusPanel::changed, this,
            [this] { FBar->edStFlt->setText(StatusFilterUpdate()); });
}

TQueryFilters TGridFilters::filters(bool AViewServerState) const {
    return {FBar->cbDBList->currentIndex(),
            FBar->cbDBList->currentText(),
            FStatusFilter,
            FBar->edLogin->text(),
            FBar->tbHideSys->isChecked(),
            FBar->tbShowBlocked->isChecked(),
            AViewServerState};
}

void TGridFilters::composed() {
    FComposedLogin = FBar->edLogin->text();
}

bool TGridFilters::eventFilter(QObject* watched, QEvent* event) {
    if (FBar && watched == FBar->edLogin) {
        // The login applies when the field is left; Enter leaves it for the grid.
        if (event->type() == QEvent::FocusOut && loginFilterLeft())
            FRecompose();
        else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                FGrid->setFocus();
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

bool TGridFilters::loginFilterLeft() const {
    // Only a change the user made and then left the field for another control of this
    // window counts. Focus also goes when the window is deactivated or closed, and when
    // a failed sample disables the tool bar; none of those is the user's choice.
    const QLineEdit* login = FBar->edLogin;
    if (FClosing || !login->isEnabled() || login->text() == FComposedLogin)
        return false;
    const QWidget* now = QApplication::focusWidget();
    return now && now != login && FWindow->isAncestorOf(now);
}

QString TGridFilters::StatusFilterUpdate() {
    const QStringList checked = StatusPanel->checkedStatuses();
    FStatusFilter = StatusFilterText(checked);
    FRecompose();
    return StatusSummaryText(checked);
}

void TGridFilters::ClearStatusFilter() {
    {
        const QSignalBlocker block(StatusPanel);
        StatusPanel->setAllChecked(false);
    }
    FBar->edStFlt->setText(StatusFilterUpdate());
}

void TGridFilters::actClearFilterExecute() {
    FBar->tbHideSys->setChecked(false);
    FBar->tbShowBlocked->setChecked(false);
    if (FBar->cbDBList->count() > 0)
        FBar->cbDBList->setCurrentIndex(0);
    ClearStatusFilter();
    FBar->edLogin->clear();
    FRecompose();
}
