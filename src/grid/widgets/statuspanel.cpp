#include "grid/widgets/statuspanel.h"

#include "grid/statusfilter.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

TStatusPanel::TStatusPanel(QWidget* parent) : QFrame(parent), cbStatus(new QListWidget(this)) {
    setObjectName(QStringLiteral("StatusPanel"));
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    setFixedWidth(149);

    auto* all = new QPushButton(tr("Все"), this);
    auto* none = new QPushButton(tr("Нет"), this);
    auto* ok = new QPushButton(tr("ОК"), this);
    all->setObjectName(QStringLiteral("btnAll"));
    none->setObjectName(QStringLiteral("btnNone"));
    ok->setObjectName(QStringLiteral("btnOK"));
    for (QPushButton* b : {all, none, ok})
        b->setAutoDefault(false);
    connect(all, &QPushButton::clicked, this, [this] { setAllChecked(true); });
    connect(none, &QPushButton::clicked, this, [this] { setAllChecked(false); });
    connect(ok, &QPushButton::clicked, this, &TStatusPanel::StatusPanelClose);

    cbStatus->setObjectName(QStringLiteral("cbStatus"));
    cbStatus->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    cbStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(13);
    cbStatus->setFont(f);
    cbStatus->setStyleSheet(QStringLiteral("QListWidget { color: #008080; }"));
    for (const QString& name : StatusNames()) {
        auto* item = new QListWidgetItem(name, cbStatus);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }
    cbStatus->setFixedHeight(cbStatus->sizeHintForRow(0) * cbStatus->count() + 4);
    connect(cbStatus, &QListWidget::itemChanged, this, &TStatusPanel::changed);
    cbStatus->installEventFilter(this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(all);
    buttons->addWidget(none);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addLayout(buttons);
    layout->addWidget(cbStatus);
    layout->addWidget(ok);
    FFullHeight = std::max(176, layout->sizeHint().height());
    hide();
    connect(qApp, &QApplication::focusChanged, this, &TStatusPanel::onFocusChanged);
}

QStringList TStatusPanel::checkedStatuses() const {
    QStringList checked;
    for (int i = 0; i < cbStatus->count(); ++i)
        if (cbStatus->item(i)->checkState() == Qt::Checked)
            checked << cbStatus->item(i)->text();
    return checked;
}

void TStatusPanel::setAllChecked(bool checked) {
    const QSignalBlocker block(cbStatus);
    for (int i = 0; i < cbStatus->count(); ++i)
        cbStatus->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    emit changed();
}

void TStatusPanel::StatusPanelShow(QWidget* anchor) {
    const QPoint at = anchor->mapTo(parentWidget(), QPoint(0, anchor->height()));
    setGeometry(at.x(), at.y(), anchor->width(), 0);
    setFixedWidth(anchor->width());
    show();
    raise();
    for (int i = 1; i <= 10; ++i) {
        setFixedHeight(FFullHeight / 10 * i);
        repaint();
        QThread::msleep(1);
    }
    setFixedHeight(FFullHeight);
    cbStatus->setCurrentRow(0);
    cbStatus->setFocus();
}

void TStatusPanel::StatusPanelClose() {
    hide();
}

void TStatusPanel::keyPressEvent(QKeyEvent* event) {
    const auto mods =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int key = event->key();
    if (mods == Qt::NoModifier &&
        (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape)) {
        StatusPanelClose();
        return;
    }
    QFrame::keyPressEvent(event);
}

bool TStatusPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == cbStatus && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const auto mods =
            key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        if (mods == Qt::NoModifier &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
             key->key() == Qt::Key_Escape)) {
            StatusPanelClose();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void TStatusPanel::onFocusChanged(QWidget*, QWidget* now) {
    if (isVisible() && now && !isAncestorOf(now))
        StatusPanelClose();
}
