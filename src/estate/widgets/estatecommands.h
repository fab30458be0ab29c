#pragma once
// The estate: every connected server but the watched one summarized by the estate's
// sampler, the figures in the widened server panel, and the panel's commands for it
// ("Подключить все", "Подключать при запуске", the summary's period). The main window
// creates it and hands it the grid's snapshots; the rest it wires itself.

#include "sampling/monitorrec.h"

#include <QObject>
#include <QUuid>

class QAction;
class QActionGroup;
class QMenu;
class TEstateConnector;
class TEstateModel;
class TEstateSampler;
class TEstateView;
class TServer;
class TServerPanel;
struct TServerSummary;

class TEstateCommands : public QObject {
    Q_OBJECT
public:
    TEstateCommands(TServerPanel& APanel, QObject* parent);
    ~TEstateCommands() override;

    // The periods offered, in milliseconds, with their captions.
    static const QList<std::pair<int, const char*>>& Periods();

    QAction* const actConnectAll;
    QAction* const actConnectAtStart;
    QMenu* const PeriodMenu;
    TEstateView* View() const { return FView; }
    TEstateModel* Model() const { return FModel; }
    TEstateSampler* Sampler() const { return FSampler; }

    // The watched server's figures, from the grid's rows.
    void ShowSnapshot(TServer* AServer, const TRecList& ARows);
    // The watched server failed a sample: its tooltip says why.
    void ShowFailure(TServer* AServer, const QString& AMessage);
    // Connects the entries that were connected at the last exit and are to be again.
    void ConnectAtStart();
    // Breaks off the summaries still running and ends the sampler's threads: at close.
    void Stop();

signals:
    // A server's summary changed: a new one came, or a failure. AFromGrid: it is the
    // server the grid watches, summarized from the grid's rows.
    void summaryChanged(TServer* AServer, bool AFromGrid);

private:
    // Watches every connected entry but the focused one, and no other.
    void sync();
    void summaryArrived(const QUuid& AId, const TServerSummary& ASummary);
    void tuneActions();

    TServerPanel& FPanel;
    TEstateSampler* FSampler;
    TEstateModel* FModel;
    TEstateView* FView;
    TEstateConnector* FConnector;
    QActionGroup* FPeriods;
    // Summaries of many servers arrive apart; the list is drawn again for them together.
    class QTimer* FRedraw;
};
