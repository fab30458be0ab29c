#include "grid/widgets/monitortoolbar.h"

#include "grid/widgets/statusfilteredit.h"
#include "resources/imagelists.h"
#include "sampling/querycomposition.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QToolButton>
#include <iterator>

namespace {

// The period list: texts and the sampler's Period in 10 ms steps.
struct TPeriodEntry {
    const char* text;
    int period;
};
constexpr TPeriodEntry kPeriods[] = {
    {QT_TRANSLATE_NOOP("TMonitorToolBar", "0 с"), 1},
    {QT_TRANSLATE_NOOP("TMonitorToolBar", "0.1 с"), 10},
    {QT_TRANSLATE_NOOP("TMonitorToolBar", "1 с"), 100},
    {QT_TRANSLATE_NOOP("TMonitorToolBar", "2 с"), 200},
    {QT_TRANSLATE_NOOP("TMonitorToolBar", "5 с"), 500},
    {QT_TRANSLATE_NOOP("TMonitorToolBar", "10 с"), 1000},
    {QT_TRANSLATE_NOOP("TMonitorToolBar", "30 с"), 3000},
    {QT_TRANSLATE_NOOP("TMonitorToolBar", "1 мин"), 6000},
    {QT_TRANSLATE_NOOP("TMonitorToolBar", "2 мин"), 12000},
    {QT_TRANSLATE_NOOP("TMonitorToolBar", "5 мин"), 30000},
    {QT_TRANSLATE_NOOP("TMonitorToolBar", "10 мин"), 60000},
    {QT_TRANSLATE_NOOP("TMonitorToolBar", "30 мин"), 180000},
    {QT_TRANSLATE_NOOP("TMonitorToolBar", "1 ч"), 360000},
};

QToolButton* makeToggle(QWidget* parent, const char* name, int image, const QString& caption,
                        const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(MonitorImageList(image));
    b->setText(caption);
    b->setToolTip(hint);
    b->setCheckable(true);
    b->setAutoRaise(true);
    return b;
}

QFont boldTahoma() {
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    f.setBold(true);
    return f;
}

} // namespace

void TMonitorToolBar::setDatabases(const QStringList& names) {
    const int index = cbDBList->currentIndex();
    const QString chosen = cbDBList->currentText();
    cbDBList->clear();
    cbDBList->addItems(DBFilterItems(names));
    cbDBList->setCurrentIndex(DBReselectIndex(index, chosen, names).value_or(0));
}

int TMonitorToolBar::PeriodOf(int index) {
    return index >= 0 && index < int(std::size(kPeriods)) ? kPeriods[index].period : -1;
}

TMonitorToolBar::TMonitorToolBar(const TMonitorToolBarActions& a, QWidget* parent)
    : QToolBar(parent) {
    setObjectName(QStringLiteral("MonitorToolBar"));
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonIconOnly);

    cbPeriod = new QComboBox(this);
    cbPeriod->setObjectName(QStringLiteral("cbPeriod"));
    cbPeriod->setFixedWidth(72);
    cbPeriod->setMaxVisibleItems(20);
    cbPeriod->setToolTip(tr("Период опроса сервера"));
    cbPeriod->setStyleSheet(QStringLiteral("QComboBox { color: #800000; font-weight: bold; }"));
    for (const TPeriodEntry& e : kPeriods)
        cbPeriod->addItem(tr(e.text));
    addWidget(cbPeriod);
    addAction(a.actRefresh);
    addAction(a.actPause);
    tbPause = qobject_cast<QToolButton*>(widgetForAction(a.actPause));
    tbPause->setObjectName(QStringLiteral("tbPause"));

    tbFollowFocus = makeToggle(this, "tbFollowFocus", 12, tr("Следить за фокусом"),
                               tr("Прокручивать до выделенной строки"));
    tbFollowFocus->setChecked(true);
    addWidget(tbFollowFocus);
    tbRecord = makeToggle(this, "tbRecord", 9, tr("Запись в файл"), tr("Запись в файл"));
    addWidget(tbRecord);
    addAction(a.actRecordReplay);
    addAction(a.actOpenRecording);
    addAction(a.actHelp);
    addSeparator();

    auto addHinted = [this](QAction* action, const QString& hint) {
        addAction(action);
        widgetForAction(action)->setToolTip(hint);
    };
    addHinted(a.actKillProcess, tr("Завершить процесс (Del)"));
    addHinted(a.actView, tr("Просмотр (Enter)"));
    addHinted(a.actViewBlock, tr("Просмотр блокирующего процесса (Ctrl+Enter)"));
    addAction(a.actBlockingTree);
    addAction(a.actAlerts);
    addSeparator();

    tbShowBlocked = makeToggle(this, "tbShowBlocked", 3, tr("Блокировки"),
                               tr("Блокирующие/блокируемые процессы (Ctrl+B)"));
    tbHideSys = makeToggle(this, "tbHideSys", 1, tr("Скрыть системные процессы"),
                           tr("Скрыть системные процессы"));
    addWidget(tbShowBlocked);
    addWidget(tbHideSys);

    edLogin = new QLineEdit(this);
    edLogin->setObjectName(QStringLiteral("edLogin"));
    edLogin->setFixedWidth(168);
    edLogin->setPlaceholderText(tr("<login>"));
    edLogin->setToolTip(tr("Фильтр по имени входа"));
    edLogin->setFont(boldTahoma());
    // Through the palette: a style sheet's colour would paint the placeholder green too.
    QPalette loginColours = edLogin->palette();
    loginColours.setColor(QPalette::Text, QColor(0x00, 0x80, 0x00));
    loginColours.setColor(QPalette::PlaceholderText, QColor(0x80, 0x80, 0x80));
    edLogin->setPalette(loginColours);
    edLoginClear = edLogin->addAction(MonitorImageList(2), QLineEdit::TrailingPosition);
    addWidget(edLogin);

    cbDBList = new QComboBox(this);
    cbDBList->setObjectName(QStringLiteral("cbDBList"));
    cbDBList->setFixedWidth(218);
    cbDBList->setMaxVisibleItems(30);
    cbDBList->setToolTip(tr("Фильтр по наименованию базы данных"));
    cbDBList->setFont(boldTahoma());
    cbDBList->setStyleSheet(QStringLiteral("QComboBox { color: #000080; }"));
    addWidget(cbDBList);

    edStFlt = new TStatusFilterEdit(this);
    edStFlt->setFont(boldTahoma());
    addWidget(edStFlt);
    addAction(a.actClearFilter);
    addSeparator();
    addAction(a.actExit);
}
