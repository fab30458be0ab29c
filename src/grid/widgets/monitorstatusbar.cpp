#include "grid/widgets/monitorstatusbar.h"

#include "grid/statusbartext.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

TMonitorStatusBar::TMonitorStatusBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MonitorStatusBar"));
    for (int i = 0; i < MonitorPanelCount; ++i) {
        FTexts << QString();
        FDetails << QString();
    }
    setFixedHeight(19);
    QFont f = font();
    f.setBold(true);
    setFont(f);
}

QSize TMonitorStatusBar::sizeHint() const {
    return {520, 19};
}

void TMonitorStatusBar::setPanelText(int panel, const QString& text) {
    if (panel < 0 || panel >= MonitorPanelCount)
        return;
    // What the tooltip adds speaks of the figure shown: it goes with it.
    if (text.isEmpty())
        FDetails[panel].clear();
    if (FTexts[panel] == text)
        return;
    FTexts[panel] = text;
    update(panelRect(panel));
}

void TMonitorStatusBar::setPanelDetail(int panel, const QString& text) {
    if (panel >= 0 && panel < MonitorPanelCount)
        FDetails[panel] = text;
}

QString TMonitorStatusBar::panelHint(int panel) const {
    const QString hint = MonitorPanelHint(panel);
    const QString detail = FDetails.value(panel);
    if (hint.isEmpty() || detail.isEmpty())
        return hint.isEmpty() ? detail : hint;
    return hint + u'\n' + detail;
}

QRect TMonitorStatusBar::panelRect(int panel) const {
    return PanelRects(MonitorPanelWidths(), width(), height()).value(panel);
}

void TMonitorStatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QList<QRect> rects = PanelRects(MonitorPanelWidths(), width(), height());
    p.setPen(palette().color(QPalette::Mid));
    for (const QRect& r : rects)
        p.drawLine(r.topRight(), r.bottomRight());
    const QFontMetrics fm(font());
    for (int i = 0; i < MonitorPanelCount; ++i) {
        if (FTexts[i].isEmpty())
            continue;
        const QPoint at = MonitorPanelTextPos(i, rects[i], fm.horizontalAdvance(FTexts[i]));
        p.setPen(QColor(MonitorPanelColor(i)));
        p.setClipRect(rects[i]);
        p.drawText(QRect(at, QPoint(rects[i].right(), rects[i].bottom())),
                   Qt::AlignLeft | Qt::AlignTop, FTexts[i]);
    }
}

bool TMonitorStatusBar::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QList<QRect> rects = PanelRects(MonitorPanelWidths(), width(), height());
        const int panel = PanelAt(rects, help->pos());
        const QString hint = panel >= 0 ? panelHint(panel) : QString();
        if (hint.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), hint, this, HintArea(rects[panel]));
        return true;
    }
    return QWidget::event(event);
}
