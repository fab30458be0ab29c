#include "servers/widgets/mainstatusbar.h"

#include "grid/statusbartext.h"
#include "resources/imagelists.h"

#include <QPainter>

TMainStatusBar::TMainStatusBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MainStatusBar"));
    setFixedHeight(22);
    QFont f = font();
    f.setBold(true);
    setFont(f);
}

void TMainStatusBar::setTexts(const QStringList& texts) {
    if (texts == FTexts)
        return;
    FTexts = texts;
    update();
}

void TMainStatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QList<QRect> rects = PanelRects(MainPanelWidths(), width(), height());
    for (int i = 0; i < MainPanelCount && i < rects.size(); ++i) {
        const QRect& r = rects[i];
        MainImageList(i).paint(&p, QRect(r.topLeft(), QSize(16, 16)));
        p.setPen(QColor(MainPanelColor(i)));
        const QPoint at = MainPanelTextPos(r);
        p.drawText(QRect(at, r.bottomRight()), Qt::AlignLeft | Qt::AlignTop, FTexts.value(i));
    }
}
