#include "estate/widgets/estatecommands.h"

#include "estate/estatesampler.h"
#include "estate/widgets/estateconnector.h"
#include "estate/widgets/estatemodel.h"
#include "estate/widgets/estateview.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverlistview.h"
#include "servers/widgets/serverpanel.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDateTime>
#include <QMenu>
#include <QTimer>

const QList<std::pair<int, const char*>>& TEstateCommands::Periods() {
    static const QList<std::pair<int, const char*>> periods{
        {1000, QT_TRANSLATE_NOOP("TMonitorToolBar", "1 с")},
        {2000, QT_TRANSLATE_NOOP("TMonitorToolBar", "2 с")},
        {5000, QT_TRANSLATE_NOOP("TMonitorToolBar", "5 с")},
        {10000, QT_TRANSLATE_NOOP("TMonitorToolBar", "10 с")},
        {30000, QT_TRANSLATE_NOOP("TMonitorToolBar", "30 с")},
        {60000, QT_TRANSLATE_NOOP("TMonitorToolBar", "1 мин")}};
    return periods;
}

TEstateCommands::TEstateCommands(TServerPanel& APanel, QObject* parent)
    : QObject(parent), actConnectAll(new QAction(tr("Подключить все"), this)),
      actConnectAtStart(new QAction(tr("Подключать при запуске"), this)),
      PeriodMenu(new QMenu(tr("Обновлять сводку"))), FPanel(APanel),
      FSampler(new TEstateSampler(this)), FModel(new TEstateModel(APanel.model(), this)),
      FView(new TEstateView(FModel, APanel.view())), FConnector(new TEstateConnector(APanel, this)),
      FPeriods(new QActionGroup(this)), FRedraw(new QTimer(this)) {
    FRedraw->setSingleShot(true);
    FRedraw->setInterval(250);
    connect(FRedraw, &QTimer::timeout, FModel, &TEstateModel::refreshAll);
    actConnectAll->setObjectName(QStringLiteral("actConnectAll"));
    actConnectAtStart->setObjectName(QStringLiteral("actConnectAtStart"));
    actConnectAtStart->setCheckable(true);
    PeriodMenu->setObjectName(QStringLiteral("mnEstatePeriod"));
    for (const auto& [ms, caption] : Periods()) {
        // The same captions as the grid's periods, and their translations.
        QAction* a = PeriodMenu->addAction(QCoreApplication::translate("TMonitorToolBar", caption));
        a->setCheckable(true);
        a->setData(ms);
        a->setChecked(ms == APanel.estatePeriod());
        FPeriods->addAction(a);
    }
    connect(FPeriods, &QActionGroup::triggered, this,
            [this](QAction* a) { FPanel.setEstatePeriod(a->data().toInt()); });
    connect(&APanel, &TServerPanel::estatePeriodChanged, this, [this](int ms) {
        FSampler->setPeriod(ms);
        for (QAction* a : FPeriods->actions())
            a->setChecked(a->data().toInt() == ms);
    });
    FSampler->setPeriod(APanel.estatePeriod());

    QMenu* menu = APanel.MenuServer;
    menu->addSeparator();
    menu->addAction(actConnectAll);
    menu->addAction(actConnectAtStart);
    menu->addMenu(PeriodMenu);
    PeriodMenu->setParent(menu, PeriodMenu->windowFlags());

    connect(actConnectAll, &QAction::triggered, this, [this] {
        QList<TServer*> all;
        for (int row = 0; row < FPanel.model()->rowCount(); ++row)
            all << FPanel.model()->server(row);
        FConnector->Connect(all);
    });
    connect(actConnectAtStart, &QAction::toggled, this, [this](bool on) {
        if (TServer* s = FPanel.SelectedServer())
            s->ConnectAtStart = on;
    });

    APanel.setWideView(FView);
    connect(FView, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        FPanel.MenuServer->popup(FView->viewport()->mapToGlobal(p));
    });
    connect(FView, &TEstateView::rowDoubleClicked, &APanel, [this] { FPanel.actConnectExecute(); });
    connect(&APanel, &TServerPanel::entriesChanged, this, [this] {
        sync();
        tuneActions();
    });
    connect(FSampler, &TEstateSampler::summaryArrived, this, &TEstateCommands::summaryArrived);
    tuneActions();
}

TEstateCommands::~TEstateCommands() {
    Stop();
}

void TEstateCommands::Stop() {
    FSampler->stop();
}

void TEstateCommands::tuneActions() {
    const TServer* s = FPanel.SelectedServer();
    actConnectAtStart->setEnabled(s != nullptr);
    const QSignalBlocker quiet(actConnectAtStart);
    actConnectAtStart->setChecked(s && s->ConnectAtStart);
}

void TEstateCommands::sync() {
    const TServer* focused = FPanel.SelectedServer();
    for (int row = 0; row < FPanel.model()->rowCount(); ++row) {
        TServer* s = FPanel.model()->server(row);
        const bool watch = s->State == stConnected && s != focused;
        if (watch && !FSampler->watching(s->ServerID))
            FSampler->watch(s->ServerID, s->SharedConnection());
        else if (!watch && FSampler->watching(s->ServerID))
            FSampler->unwatch(s->ServerID);
        if (s->State != stConnected && s->Summary.Valid && s->Summary.Error.isEmpty()) {
            // Figures of a server no longer connected are not shown as if current.
            s->Summary = TServerSummary{};
            FModel->refresh(s);
        }
    }
}

void TEstateCommands::summaryArrived(const QUuid& AId, const TServerSummary& ASummary) {
    TServer* s = nullptr;
    for (int row = 0; row < FPanel.model()->rowCount() && !s; ++row)
        if (FPanel.model()->server(row)->ServerID == AId)
            s = FPanel.model()->server(row);
    // Gone, disconnected or watched by the grid since the summary began: not for the list.
    if (!s || s->State != stConnected || s == FPanel.SelectedServer())
        return;
    s->Summary = ASummary;
    if (!ASummary.Error.isEmpty()) {
        // As a failed sample of the watched server does: the entry turns to the error
        // state and lets its connection go; the grid is not touched.
        s->State = stError;
        s->Connection.close();
        FPanel.RedrawServer(s);
        FPanel.TuneActions();
        emit summaryChanged(s, false);
        return;
    }
    if (!FRedraw->isActive())
        FRedraw->start();
    emit summaryChanged(s, false);
}

void TEstateCommands::ShowSnapshot(TServer* AServer, const TRecList& ARows) {
    if (!AServer)
        return;
    AServer->Summary = SummarizeSnapshot(ARows, QDateTime::currentMSecsSinceEpoch());
    FModel->refresh(AServer);
    emit summaryChanged(AServer, true);
}

void TEstateCommands::ShowFailure(TServer* AServer, const QString& AMessage) {
    if (!AServer)
        return;
    AServer->Summary = TServerSummary{};
    AServer->Summary.Error = AMessage;
    AServer->Summary.TakenAtMs = QDateTime::currentMSecsSinceEpoch();
    FModel->refresh(AServer);
    emit summaryChanged(AServer, true);
}

void TEstateCommands::ConnectAtStart() {
    QList<TServer*> again;
    for (int row = 0; row < FPanel.model()->rowCount(); ++row) {
        TServer* s = FPanel.model()->server(row);
        if (s->ConnectAtStart && s->ConnectedAtExit)
            again << s;
    }
    if (!again.isEmpty())
        FConnector->Connect(again);
}
