#include "actions/widgets/viewform.h"

#include "actions/sessiondetail.h"
#include "actions/widgets/modalrun.h"
#include "actions/widgets/namevaluegrid.h"
#include "actions/widgets/sqlview.h"
#include "plans/widgets/planpage.h"
#include "servers/server.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QColor kSourceColor(0x00, 0x80, 0x80);
const QColor kErrorColor(0xFF, 0x00, 0x00);

QFont tahoma(int pixels, bool bold) {
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setFixedSize(90, 25);
    return b;
}

QToolButton* makeToolButton(QWidget* parent, const char* name, const QString& hint,
                            const QIcon& icon) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(hint);
    b->setText(hint);
    b->setIcon(icon);
    b->setAutoRaise(true);
    return b;
}

} // namespace

TViewForm::TViewForm(QWidget* AOwner, TServer* AServer, PMonitorRec AMonitorRec, TViewHost AHost)
    : QDialog(AOwner), Server(AServer), FMonitorRec(std::make_unique<TMonitorRec>(*AMonitorRec)),
      FHost(std::move(AHost)) {
    setObjectName(QStringLiteral("ViewForm"));
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    const QString serverName = FHost.Recorded ? FHost.Recorded->Server : Server->Name;
    QString title = QStringLiteral("%1 SPID=%2 (%3)")
                        .arg(serverName, QString::number(FMonitorRec->SPID), FMonitorRec->Login);
    if (FHost.Recorded)
        title += tr(" — запись от %1").arg(FHost.Recorded->At);
    setWindowTitle(title);
    setFont(tahoma(11, false));
    resize(884, 861);

    FSplitter = new QSplitter(Qt::Vertical, this);
    FSplitter->setHandleWidth(3);
    FSplitter->setChildrenCollapsible(false);
    FSplitter->addWidget(createTopArea());
    FSplitter->addWidget(createTextArea());
    FSplitter->setStretchFactor(1, 1);
    FSplitter->setSizes({300, 561});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FSplitter);

    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
    LoadData();
}

TViewForm::~TViewForm() = default;

QWidget* TViewForm::createTopArea() {
    auto* top = new QWidget(this);
    PageControl = new QTabWidget(top);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->tabBar()->setFont(tahoma(11, true));
    SessionList = new TNameValueGrid(195, PageControl);
    SessionList->setObjectName(QStringLiteral("SessionList"));
    ConnectionList = new TNameValueGrid(195, PageControl);
    ConnectionList->setObjectName(QStringLiteral("ConnectionList"));
    RequestList = new TNameValueGrid(324, PageControl);
    RequestList->setObjectName(QStringLiteral("RequestList"));
    PageControl->addTab(SessionList, QStringLiteral("dm_exec_sessions"));
    PageControl->addTab(ConnectionList, QStringLiteral("dm_exec_connections"));
    PageControl->addTab(RequestList, QStringLiteral("dm_exec_requests"));
    PlanPage = new TPlanPage(PageControl);
    PageControl->addTab(PlanPage, tr("План"));
    PageControl->setCurrentIndex(0);
    connect(PageControl, &QTabWidget::currentChanged, this, [this] { PageControlChange(); });

    auto* buttons = new QWidget(top);
    buttons->setFixedWidth(120);
    btnRefresh = makeButton(buttons, "btnRefresh", tr("Обновить (F5)"));
    btnKill = makeButton(buttons, "btnKill", tr("Kill"));
    btnKill->setFont(tahoma(11, true));
    btnClose = makeButton(buttons, "btnClose", tr("Закрыть"));
    btnClose->setDefault(true);
    connect(btnRefresh, &QPushButton::clicked, this, [this] { btnRefreshClick(); });
    connect(btnKill, &QPushButton::clicked, this, [this] { btnKillClick(); });
    connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
    auto* column = new QVBoxLayout(buttons);
    for (QPushButton* b : {btnRefresh, btnKill, btnClose})
        column->addWidget(b, 0, Qt::AlignHCenter);
    column->addStretch(1);

    auto* layout = new QHBoxLayout(top);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl, 1);
    layout->addWidget(buttons);
    return top;
}

QWidget* TViewForm::createTextArea() {
    auto* area = new QWidget(this);
    auto* bar = new QToolBar(area);
    bar->setIconSize(QSize(16, 16));
    lbSource = new QLabel(bar);
    lbSource->setObjectName(QStringLiteral("lbSource"));
    lbSource->setFixedWidth(353);
    lbSource->setFont(tahoma(15, true));
    // On a tool bar a label would take the bar's button text colour.
    lbSource->setForegroundRole(QPalette::WindowText);
    bar->addWidget(lbSource);
    tbUp = makeToolButton(bar, "tbUp", tr("Вверх"), style()->standardIcon(QStyle::SP_ArrowUp));
    tbDown = makeToolButton(bar, "tbDown", tr("Вниз"), style()->standardIcon(QStyle::SP_ArrowDown));
    tbCopyAll = makeToolButton(bar, "tbCopyAll", tr("Выделить и скопировать всё"), {});
    tbCopyAll->setToolButtonStyle(Qt::ToolButtonTextOnly);
    tbCopy = makeToolButton(bar, "tbCopy", tr("Копировать"),
                            QIcon::fromTheme(QStringLiteral("edit-copy")));
    tbWordWrap = makeToolButton(bar, "tbWordWrap", tr("Перенос по словам"),
                                QIcon::fromTheme(QStringLiteral("format-text-wrap")));
    tbWordWrap->setCheckable(true);
    for (QToolButton* b : {tbUp, tbDown, tbCopyAll, tbCopy, tbWordWrap})
        bar->addWidget(b);
    connect(tbUp, &QToolButton::clicked, this, [this] { tbUpClick(); });
    connect(tbDown, &QToolButton::clicked, this, [this] { tbDownClick(); });
    connect(tbCopyAll, &QToolButton::clicked, this, [this] { tbCopyAllClick(); });
    connect(tbCopy, &QToolButton::clicked, this, [this] { tbCopyClick(); });
    connect(tbWordWrap, &QToolButton::clicked, this, [this] { tbWordWrapClick(); });

    SynEdit = new TSqlView(area);
    connect(SynEdit, &QsciScintilla::selectionChanged, this, [this] { SynEditStatusChange(); });

    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(SynEdit, 1);
    return area;
}

void TViewForm::setSourceLabel(const QString& text, const QColor& color) {
    lbSource->setText(text);
    QPalette p = lbSource->palette();
    p.setColor(QPalette::WindowText, color);
    lbSource->setPalette(p);
}

void TViewForm::LoadData() {
    SessionList->setLines({});
    RequestList->setLines({});
    ConnectionList->setLines({});
    SynEdit->setMarkedLines(0, 0);
    SynEdit->setSqlText(QString());
    LineStart = 0;
    LineEnd = 0;
    setSourceLabel(QString(), kSourceColor);
    btnKill->setEnabled(!FHost.Recorded);
    btnRefresh->setEnabled(!FHost.Recorded);

    const TSessionDetail d =
        FHost.Recorded ? FHost.Recorded->Detail(*FMonitorRec)
                       : LoadSessionDetail(Server->Connection, FMonitorRec->SPID,
                                           FMonitorRec->RequestID, Server->ViewServerState);
    SessionList->setLines(d.SessionList);
    RequestList->setLines(d.RequestList);
    ConnectionList->setLines(d.ConnectionList);
    SynEdit->setSqlText(d.Text);
    if (d.Source == TDetailSource::Error) {
        setSourceLabel(DetailSourceLabel(d.Source), kErrorColor);
        btnKill->setEnabled(false);
        if (FHost.Rearm)
            FHost.Rearm();
    } else if (FHost.Recorded) {
        // Nothing here comes from the server now: the label says whence it is.
        setSourceLabel(tr(" Запись от %1").arg(FHost.Recorded->At), kSourceColor);
    } else {
        setSourceLabel(DetailSourceLabel(d.Source), kSourceColor);
    }
    if (d.Source == TDetailSource::Requests) {
        LineStart = d.LineStart;
        LineEnd = d.LineEnd;
        SynEdit->setMarkedLines(LineStart, LineEnd);
        SynEdit->showStatementAt(LineStart);
    }
    SynEditStatusChange();
    FPlanStale = true;
    if (PageControl->currentWidget() == PlanPage)
        loadPlan();
}

void TViewForm::PageControlChange() {
    if (PageControl->currentWidget() != PlanPage)
        return;
    if (!FPlanOpened) {
        // A tree of operators wants more room than the name/value lists: the first time
        // the page opens, the lists' area takes two thirds of the window.
        FPlanOpened = true;
        const int height = FSplitter->height();
        if (FSplitter->sizes().value(0) < 2 * height / 3)
            FSplitter->setSizes({2 * height / 3, height - 2 * height / 3});
    }
    if (FPlanStale)
        loadPlan();
}

void TViewForm::loadPlan() {
    FPlanStale = false;
    if (FHost.Recorded)
        PlanPage->ShowRecorded();
    else
        PlanPage->Load(Server->SharedConnection(), FMonitorRec->SPID, FMonitorRec->RequestID);
}

void TViewForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (SynEdit->length() > 0)
        SynEdit->setFocus();
}

bool TViewForm::FormKeyDown(QObject* target, int key, Qt::KeyboardModifiers modifiers) {
    if (modifiers & ~Qt::KeypadModifier)
        return false;
    switch (key) {
    case Qt::Key_F5:
        if (FHost.Recorded)
            return true;
        LoadData();
        // In the two-pane window F5 brings both panes up to date.
        if (window() != this)
            for (TViewForm* other : window()->findChildren<TViewForm*>())
                if (other != this)
                    other->LoadData();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A focused button takes Enter for itself, as in any dialog.
        if (qobject_cast<QPushButton*>(target))
            return false;
        btnCloseClick();
        return true;
    case Qt::Key_Escape:
        btnCloseClick();
        return true;
    default:
        return false;
    }
}

bool TViewForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (FormKeyDown(watched, key->key(), key->modifiers()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TViewForm::keyPressEvent(QKeyEvent* event) {
    if (!FormKeyDown(this, event->key(), event->modifiers()))
        QDialog::keyPressEvent(event);
}

void TViewForm::SynEditStatusChange() {
    tbCopy->setEnabled(SynEdit->hasSelectedText());
}

void TViewForm::btnRefreshClick() {
    if (!FHost.Recorded)
        LoadData();
}

void TViewForm::btnKillClick() {
    if (FHost.KillProcess && FHost.KillProcess(FMonitorRec.get(), Server))
        btnCloseClick();
}

void TViewForm::btnCloseClick() {
    // Alone this is the window; as a pane, the two-pane window closes with it.
    window()->close();
}

void TViewForm::tbUpClick() {
    SynEdit->SendScintilla(QsciScintillaBase::SCI_DOCUMENTSTART);
}

void TViewForm::tbDownClick() {
    SynEdit->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
}

void TViewForm::tbCopyClick() {
    SynEdit->copy();
}

void TViewForm::tbCopyAllClick() {
    SynEdit->selectAll();
    SynEdit->copy();
}

void TViewForm::tbWordWrapClick() {
    const bool wrap = SynEdit->wrapMode() == QsciScintilla::WrapNone;
    SynEdit->setWrapMode(wrap ? QsciScintilla::WrapWord : QsciScintilla::WrapNone);
    tbWordWrap->setChecked(wrap);
}

void OpenSessionView(QWidget* AOwner, TServer* AServer, PMonitorRec AMonitorRec,
                     const TViewHost& AHost) {
    auto* view = new TViewForm(AOwner, AServer, AMonitorRec, AHost);
    view->setAttribute(Qt::WA_DeleteOnClose);
    if (const QScreen* screen = view->screen())
        view->move(screen->availableGeometry().center() - view->rect().center());
    RunModal(view);
}
