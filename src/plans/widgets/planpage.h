#pragma once
// The "План" page of the session detail window: the running request's plan, read when
// the page is asked for it (opened or refreshed), never with the samples. The statement's
// text at the top, the missing indexes the optimizer names, the tree of operators with the
// path to the costliest one open; the XML saved as a .sqlplan file or copied. A read that
// fails shows the server's text and nothing else.

#include "plans/planreader.h"

#include <QWidget>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QToolButton;
class QTreeView;
class TDbConnection;
class TPlanFetcher;
class TPlanTreeModel;

class TPlanPage : public QWidget {
    Q_OBJECT
public:
    explicit TPlanPage(QWidget* parent = nullptr);

    // Reads the request's plan; while a read is under way, asking again does nothing.
    void Load(std::shared_ptr<TDbConnection> AConnection, int ASPID, int ARequestID);
    // A recorded session: recordings keep no plans.
    void ShowRecorded();
    bool Reading() const;
    // Shows what a read brought: the plan, or what the page says instead.
    void ShowRead(const TPlanRead& ARead);
    const QString& Xml() const { return FXml; }

    QLabel* lbPlanSource;
    QToolButton* tbSavePlan;
    QToolButton* tbCopyXml;
    QPlainTextEdit* StatementText;
    QLabel* lbPlanNotes;
    QTreeView* PlanTree;
    TPlanTreeModel* PlanModel;
    QLabel* lbPlanMessage;

    void tbSavePlanClick();
    void tbCopyXmlClick();

private:
    // The page holds only this text (the server's words in red).
    void showMessage(const QString& AText, bool AError);
    void showPlan(const TPlanRead& ARead);

    TPlanFetcher* FFetcher;
    QString FXml;
    int FSPID = 0;
};
