#include "replay/widgets/replaycomparison.h"

#include "compare/momentcompare.h"
#include "replay/widgets/replaybar.h"

#include <QAction>
#include <QLabel>

TReplayComparison::TReplayComparison(TReplayBar* ABar, QObject* AParent)
    : QObject(AParent), actMark(new QAction(tr("Отметить момент"), ABar)),
      actCompare(new QAction(tr("Сравнить"), ABar)), lbMark(new QLabel(ABar)) {
    actMark->setObjectName(QStringLiteral("actReplayMark"));
    actMark->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    actMark->setShortcutContext(Qt::WindowShortcut);
    actMark->setToolTip(tr("Отметить снимок на экране, чтобы сравнить с ним другой (Ctrl+M)"));
    actCompare->setObjectName(QStringLiteral("actReplayCompare"));
    actCompare->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    actCompare->setShortcutContext(Qt::WindowShortcut);
    actCompare->setToolTip(
        tr("Сравнить снимок на экране с отмеченным: новые, завершённые и изменившиеся сеансы, "
           "прирост счётчиков (Ctrl+Shift+M)"));
    actCompare->setCheckable(true);
    actCompare->setEnabled(false);
    lbMark->setObjectName(QStringLiteral("lbReplayMark"));
    ABar->addTools({actMark, actCompare}, lbMark);
}

void TReplayComparison::Mark(const TRowState& ARows, qint64 ATimeMs) {
    FMarked = ARows;
    FMarkTime = ATimeMs;
    lbMark->setText(tr("отмечено %1").arg(ReplayTimeText(ATimeMs)));
    actCompare->setEnabled(true);
    // A new mark is a new question: the comparison waits to be asked for again.
    actCompare->setChecked(false);
}

void TReplayComparison::Clear() {
    FMarked.clear();
    FMarkTime = -1;
    FText.clear();
    lbMark->clear();
    actCompare->setChecked(false);
    actCompare->setEnabled(false);
}

bool TReplayComparison::comparing() const {
    return FMarkTime >= 0 && actCompare->isChecked();
}

TRowState TReplayComparison::Compare(const TRowState& ARows, qint64 ATimeMs,
                                     const QList<TRecordingGap>& AGaps) {
    const std::vector<TComparedRow> rows = CompareMoments(FMarked, ARows);
    int appeared = 0, ended = 0, changed = 0;
    for (const TComparedRow& r : rows) {
        appeared += r.Change == TRowChange::Appeared;
        ended += r.Change == TRowChange::Ended;
        changed += r.Change == TRowChange::Changed;
    }
    FText = tr("Сравнение с %1: новых %2, завершились %3, изменились %4")
                .arg(ReplayTimeText(FMarkTime))
                .arg(appeared)
                .arg(ended)
                .arg(changed);
    if (GapBetween(AGaps, FMarkTime, ATimeMs))
        FText += tr(" (между моментами перерыв в записи)");
    return ComparedState(rows);
}
