#pragma once
// The pane under the grid with the blocking trees of the latest snapshot, or one line
// saying there is no chain. Selecting a session asks the window to focus it in the grid;
// Enter asks for its details, Del to end it (the window's own commands do both).

#include "blocking/widgets/blockingtreemodel.h"

#include <QSet>
#include <QWidget>

class QLabel;
class QStackedLayout;
class QTreeView;

class TBlockingPane : public QWidget {
    Q_OBJECT
public:
    explicit TBlockingPane(QWidget* parent = nullptr);

    // The rows of the latest snapshot, top to bottom.
    void showSnapshot(const QList<PMonitorRec>& ARows);
    void setResourceName(TBlockingTreeModel::TResourceName AName);
    // Names that were not known when first asked for have come.
    void resourceNamesChanged() { FModel->resourceNamesChanged(); }

    TBlockingTreeModel* model() const { return FModel; }
    QTreeView* tree() const { return FTree; }
    QLabel* noChains() const { return FNoChains; }

signals:
    void sessionSelected(int ASPID);
    void openRequested(int ASPID);
    void killRequested(int ASPID);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TBlockingTreeModel* FModel;
    QTreeView* FTree;
    QLabel* FNoChains;
    QStackedLayout* FStack;
    void fitColumns();

    QSet<int> FUserSized; // columns the user has sized: left as they are
    bool FFitPending = false;
    bool FFitting = false;
};
