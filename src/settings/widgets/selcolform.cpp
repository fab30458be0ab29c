#include "settings/widgets/selcolform.h"

#include "grid/monitorcolumns.h"
#include "grid/widgets/monitorview.h"
#include "prompts/prompts.h"
#include "resources/imagelists.h"

#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QToolButton* toolButton(QToolBar* bar, const char* name, int image, const QString& hint) {
    auto* b = new QToolButton(bar);
    b->setObjectName(QLatin1String(name));
    b->setFixedWidth(23);
    if (image >= 0)
        b->setIcon(SelColImageList(image));
    b->setToolTip(hint);
    b->setAutoRaise(true);
    bar->addWidget(b);
    return b;
}

void spacer(QToolBar* bar) {
    auto* b = new QToolButton(bar);
    b->setFixedWidth(23);
    b->setEnabled(false);
    b->setAutoRaise(true);
    bar->addWidget(b);
}

} // namespace

TSelColForm::TSelColForm(TMonitorView* grid, std::function<void()> monitoring,
                         std::function<void()> loadDefCols, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      FGrid(grid), FMonitoring(std::move(monitoring)), FLoadDefCols(std::move(loadDefCols)) {
    setObjectName(QStringLiteral("SelColForm"));
    setWindowTitle(tr("Показывать колонки"));
    QFont base(QStringLiteral("Tahoma"));
    base.setPixelSize(11);
    setFont(base);

    ToolBar = new QToolBar(this);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setFixedHeight(22);
    ToolBar->setIconSize(QSize(16, 16));
    tbCheckAll = toolButton(ToolBar, "tbCheckAll", 0, tr("Отметить все"));
    tbUncheckAll = toolButton(ToolBar, "tbUncheckAll", 1, tr("Очистить всё"));
    spacer(ToolBar);
    tbOK = toolButton(ToolBar, "tbOK", 2, tr("Принять"));
    tbCancel = toolButton(ToolBar, "tbCancel", 3, tr("Отмена"));
    spacer(ToolBar);
    tbDefaults = toolButton(ToolBar, "tbDefaults", 4, tr("Настройка по умолчанию"));
    tbDefaults->setText(tr("По умолчанию"));
    tbDefaults->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tbDefaults->setMinimumWidth(23);
    tbDefaults->setMaximumWidth(QWIDGETSIZE_MAX);
    connect(tbCheckAll, &QToolButton::clicked, this, [this] { tbCheckAllClick(); });
    connect(tbUncheckAll, &QToolButton::clicked, this, [this] { tbUncheckAllClick(); });
    connect(tbOK, &QToolButton::clicked, this, [this] { tbOKClick(); });
    connect(tbCancel, &QToolButton::clicked, this, &QWidget::close);
    connect(tbDefaults, &QToolButton::clicked, this, [this] { tbDefaultsClick(); });

    ColList = new QListWidget(this);
    ColList->setObjectName(QStringLiteral("ColList"));
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(16);
    ColList->setFont(mono);
    ColList->setStyleSheet(QStringLiteral("QListWidget { color: #000080; } "
                                          "QListWidget::item { height: 18px; }"));
    ColList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ColList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ColList->installEventFilter(this);

    // "%-Ns %s": captions padded to the longest, then the source; the monospaced font
    // lines the sources up.
    qsizetype longest = 0;
    for (const TMonitorColumn& c : MonitorColumns())
        longest = std::max(longest, ColumnCaption(c.Index).size());
    int widest = 0;
    const QFontMetrics fm(mono);
    for (const TMonitorColumn& c : MonitorColumns()) {
        const QString text = ColumnCaption(c.Index).leftJustified(longest, QLatin1Char(' ')) +
                             QLatin1Char(' ') + c.Source.toString();
        auto* item = new QListWidgetItem(text, ColList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Checked);
        item->setSizeHint(QSize(0, 18));
        item->setToolTip(text);
        widest = std::max(widest, fm.horizontalAdvance(text));
    }
    connect(ColList, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        // Column 0 can never be hidden from here.
        if (ColList->row(item) == 0 && item->checkState() != Qt::Checked)
            item->setCheckState(Qt::Checked);
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar);
    layout->addWidget(ColList);
    const int check = style()->pixelMetric(QStyle::PM_IndicatorWidth);
    setFixedSize(check + widest + 24,
                 ColList->count() * 18 + ToolBar->height() + 2 * ColList->frameWidth() + 4);
}

void TSelColForm::FormShow(bool recording, int currentColumn) {
    const QHeaderView* header = FGrid->horizontalHeader();
    {
        const QSignalBlocker block(ColList);
        for (int i = 0; i < ColList->count(); ++i)
            ColList->item(i)->setCheckState(header->isSectionHidden(i) ? Qt::Unchecked
                                                                       : Qt::Checked);
    }
    ColList->setCurrentRow(currentColumn);
    if (currentColumn < 0)
        ColList->setCurrentItem(nullptr);
    setWindowTitle(recording ? tr("Показывать колонки (недоступно, пока идёт запись в файл)")
                             : tr("Показывать колонки"));
    ToolBar->setEnabled(!recording);
    ColList->setEnabled(!recording);
    move(QCursor::pos());
    show();
    raise();
    activateWindow();
}

void TSelColForm::setChecked(int from, bool checked) {
    for (int i = from; i < ColList->count(); ++i)
        ColList->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TSelColForm::tbCheckAllClick() {
    setChecked(1, true);
}

void TSelColForm::tbUncheckAllClick() {
    setChecked(1, false);
}

void TSelColForm::tbOKClick() {
    QHeaderView* header = FGrid->horizontalHeader();
    for (int i = 1; i < ColList->count(); ++i)
        header->setSectionHidden(i, ColList->item(i)->checkState() != Qt::Checked);
    close();
    FMonitoring();
}

void TSelColForm::tbDefaultsClick() {
    if (ShowMessage(tr("Будут восстановлены видимость, порядок и размеры колонок. "
                       "Продолжить?"),
                    tr("Настройка по умолчанию"), TMsgIcon::Question, TMsgButtons::YesNo,
                    TMsgResult::No) != TMsgResult::Yes)
        return;
    FLoadDefCols();
    FMonitoring();
    close();
}

bool TSelColForm::eventFilter(QObject* watched, QEvent* event) {
    // The window sees Esc and Enter before the list does.
    if (watched == ColList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
            keyPressEvent(static_cast<QKeyEvent*>(event));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TSelColForm::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        tbOKClick();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TSelColForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow())
        close();
}
