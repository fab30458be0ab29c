#pragma once
// The session detail window: the session's rows from sys.dm_exec_sessions,
// sys.dm_exec_connections and sys.dm_exec_requests as name/value lists, and the text of
// its batch with the current statement's lines marked, or its last input buffer. Opened
// alone or as one pane of the two-pane window; it shows its last load until reloaded.

#include "actions/widgets/viewhost.h"

#include <QDialog>
#include <memory>

class QLabel;
class QSplitter;
class QPushButton;
class QTabWidget;
class QToolButton;
class TNameValueGrid;
class TPlanPage;
class TServer;
class TSqlView;

class TViewForm : public QDialog {
    Q_OBJECT
public:
    // Keeps AServer, copies the record and loads at once, so that the window shows
    // data when it first appears.
    TViewForm(QWidget* AOwner, TServer* AServer, PMonitorRec AMonitorRec, TViewHost AHost);
    ~TViewForm() override;

    void LoadData();

    TServer* Server;
    PMonitorRec MonitorRec() const { return FMonitorRec.get(); }
    int LineStart = 0; // the current statement's lines, 1-based; 0 when none is marked
    int LineEnd = 0;

    TNameValueGrid* SessionList;
    TNameValueGrid* ConnectionList;
    TNameValueGrid* RequestList;
    TPlanPage* PlanPage;
    QTabWidget* PageControl;
    QPushButton* btnRefresh;
    QPushButton* btnKill;
    QPushButton* btnClose;
    QLabel* lbSource;
    QToolButton* tbUp;
    QToolButton* tbDown;
    QToolButton* tbCopyAll;
    QToolButton* tbCopy;
    QToolButton* tbWordWrap;
    TSqlView* SynEdit;

    void btnRefreshClick();
    void btnKillClick();
    void btnCloseClick();
    void tbUpClick();
    void tbDownClick();
    void tbCopyClick();
    void tbCopyAllClick();
    void tbWordWrapClick();

protected:
    // The window sees keys before its controls do.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override; // FormShow

private:
    QWidget* createTopArea();
    QWidget* createTextArea();
    bool FormKeyDown(QObject* target, int key, Qt::KeyboardModifiers modifiers);
    void SynEditStatusChange();
    void setSourceLabel(const QString& text, const QColor& color);
    // The plan is read when its page is opened, and again after a reload while it shows.
    void PageControlChange();
    void loadPlan();

    std::unique_ptr<TMonitorRec> FMonitorRec;
    TViewHost FHost;
    QSplitter* FSplitter;
    bool FPlanStale = true;
    bool FPlanOpened = false;
};

// Opens one session's window modally and frees it when it closes.
void OpenSessionView(QWidget* AOwner, TServer* AServer, PMonitorRec AMonitorRec,
                     const TViewHost& AHost);
