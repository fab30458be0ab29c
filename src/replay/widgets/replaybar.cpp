#include "replay/widgets/replaybar.h"

#include "replay/widgets/replaytimeline.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

namespace {

QToolButton* button(QWidget* parent, QAction* action) {
    auto* b = new QToolButton(parent);
    b->setDefaultAction(action);
    b->setAutoRaise(true);
    return b;
}

} // namespace

QString ReplayTimeText(qint64 ATimeMs) {
    return QDateTime::fromMSecsSinceEpoch(ATimeMs).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

TReplayBar::TReplayBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ReplayBar"));
    const auto make = [this](const char* name, const QString& caption, QStyle::StandardPixmap icon,
                             const QKeySequence& key) {
        auto* a = new QAction(style()->standardIcon(icon), caption, this);
        a->setObjectName(QLatin1String(name));
        a->setToolTip(key.isEmpty() ? caption
                                    : QStringLiteral("%1 (%2)").arg(
                                          caption, key.toString(QKeySequence::NativeText)));
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        return a;
    };
    actPrevious = make("actReplayPrevious", tr("Предыдущий снимок"), QStyle::SP_MediaSkipBackward,
                       QKeySequence(Qt::CTRL | Qt::Key_Left));
    actPlay = make("actReplayPlay", tr("Воспроизвести"), QStyle::SP_MediaPlay,
                   QKeySequence(Qt::CTRL | Qt::Key_Space));
    actPlay->setCheckable(true);
    actNext = make("actReplayNext", tr("Следующий снимок"), QStyle::SP_MediaSkipForward,
                   QKeySequence(Qt::CTRL | Qt::Key_Right));
    actGoTo = make("actReplayGoTo", tr("Перейти"), QStyle::SP_ArrowRight, QKeySequence());
    actClose =
        make("actReplayClose", tr("Закрыть запись"), QStyle::SP_DialogCloseButton, QKeySequence());
    addActions({actPrevious, actPlay, actNext});

    cbSpeed = new QComboBox(this);
    cbSpeed->setObjectName(QStringLiteral("cbReplaySpeed"));
    cbSpeed->setToolTip(tr("Скорость воспроизведения"));
    for (int factor : {1, 2, 5, 10, 60})
        cbSpeed->addItem(QStringLiteral("×%1").arg(factor), factor);

    Timeline = new TReplayTimeline(this);
    connect(Timeline, &TReplayTimeline::seekRequested, this, &TReplayBar::seekRequested);
    lbTime = new QLabel(this);
    lbTime->setObjectName(QStringLiteral("lbReplayTime"));
    QFont bold = lbTime->font();
    bold.setBold(true);
    lbTime->setFont(bold);
    lbGap = new QLabel(this);
    lbGap->setObjectName(QStringLiteral("lbReplayGap"));
    lbGap->setStyleSheet(QStringLiteral("QLabel { color: #C00000; }"));
    edGoTo = new QDateTimeEdit(this);
    edGoTo->setObjectName(QStringLiteral("edReplayGoTo"));
    edGoTo->setDisplayFormat(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    edGoTo->setToolTip(tr("Время, к которому перейти (Enter)"));
    connect(actGoTo, &QAction::triggered, this,
            [this] { emit seekRequested(edGoTo->dateTime().toMSecsSinceEpoch()); });
    connect(edGoTo, &QAbstractSpinBox::editingFinished, this, [this] {
        if (edGoTo->hasFocus())
            actGoTo->trigger();
    });

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(4);
    layout->addWidget(button(this, actPrevious));
    layout->addWidget(button(this, actPlay));
    layout->addWidget(button(this, actNext));
    layout->addWidget(cbSpeed);
    layout->addWidget(Timeline, 1);
    FToolsAt = layout->count();
    layout->addWidget(lbTime);
    layout->addWidget(lbGap);
    layout->addWidget(edGoTo);
    layout->addWidget(button(this, actGoTo));
    layout->addWidget(button(this, actClose));
}

void TReplayBar::setSpan(qint64 AFirstMs, qint64 ALastMs, const QList<TRecordingGap>& AGaps) {
    Timeline->setSpan(AFirstMs, ALastMs, AGaps);
    edGoTo->setDateTimeRange(QDateTime::fromMSecsSinceEpoch(AFirstMs),
                             QDateTime::fromMSecsSinceEpoch(ALastMs));
}

void TReplayBar::setEvents(const QList<TRecordingEvent>& AEvents) {
    Timeline->setEvents(AEvents);
}

void TReplayBar::showPosition(qint64 ATimeMs, int AIndex, int ACount,
                              const std::optional<TRecordingGap>& AGapBefore) {
    Timeline->setPosition(ATimeMs);
    lbTime->setText(ReplayTimeText(ATimeMs));
    lbTime->setToolTip(tr("Снимок %1 из %2").arg(AIndex + 1).arg(ACount));
    if (AGapBefore) {
        lbGap->setText(tr("перерыв %1 – %2")
                           .arg(QDateTime::fromMSecsSinceEpoch(AGapBefore->Start)
                                    .toString(QStringLiteral("HH:mm:ss")),
                                QDateTime::fromMSecsSinceEpoch(AGapBefore->End)
                                    .toString(QStringLiteral("HH:mm:ss"))));
        lbGap->setToolTip(AGapBefore->Reason);
    } else {
        lbGap->clear();
        lbGap->setToolTip(QString());
    }
    if (!edGoTo->hasFocus())
        edGoTo->setDateTime(QDateTime::fromMSecsSinceEpoch(ATimeMs));
    actPrevious->setEnabled(AIndex > 0);
    actNext->setEnabled(AIndex + 1 < ACount);
}

void TReplayBar::setPlaying(bool APlaying) {
    actPlay->setChecked(APlaying);
    actPlay->setIcon(
        style()->standardIcon(APlaying ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    actPlay->setText(APlaying ? tr("Пауза") : tr("Воспроизвести"));
}

void TReplayBar::addTools(const QList<QAction*>& AActions, QLabel* ALabel) {
    auto* layout = static_cast<QHBoxLayout*>(this->layout());
    for (QAction* action : AActions) {
        addAction(action);
        layout->insertWidget(FToolsAt++, button(this, action));
    }
    if (ALabel)
        layout->insertWidget(FToolsAt++, ALabel);
}

double TReplayBar::speed() const {
    return cbSpeed->currentData().toDouble();
}
