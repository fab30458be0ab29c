#include "grid/widgets/monitordelegate.h"

#include "grid/rowcolor.h"
#include "grid/widgets/monitormodel.h"
#include "resources/imagelists.h"

#include <QHeaderView>
#include <QPainter>
#include <QTableView>

namespace {

const QColor kSelection(0x80, 0x80, 0x00);
const QColor kFocusFrame(0x00, 0xFF, 0xFF);
constexpr int kTextMargin = 2;
constexpr int kTickImage = 15;
constexpr int kChangeMarkWidth = 5;

QColor fromBgr(std::uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// The leftmost column the user sees, whichever column that is.
int leftmostVisibleColumn(const QHeaderView* header) {
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical))
            return logical;
    }
    return -1;
}

} // namespace

TMonitorDelegate::TMonitorDelegate(QTableView* view, const QList<int>& selList)
    : QStyledItemDelegate(view), FView(view), FSelList(selList) {}

void TMonitorDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const auto* model = static_cast<const TMonitorModel*>(index.model());
    const PMonitorRec rec = model->record(index.row());
    if (!rec)
        return;
    const QRect r = option.rect;
    const QModelIndex current = FView->currentIndex();
    const bool selected = option.state & QStyle::State_Selected;
    const bool focusedRow = current.isValid() && current.row() == index.row();

    if (rec->Color != 0)
        painter->fillRect(r, fromBgr(rec->Color));
    if (selected)
        painter->fillRect(r, kSelection);

    QColor text = selected ? QColor(Qt::white) : QColor(Qt::black);
    const QString rule = RowTextColor(rec->Color, rec->SelfID, rec->IsUser, focusedRow && selected);
    if (!rule.isEmpty())
        text = QColor(rule);

    QRect textRect = r.adjusted(kTextMargin, 0, -kTextMargin, 0);
    const bool leftmost = index.column() == leftmostVisibleColumn(FView->horizontalHeader());
    if (leftmost && rec->Change != TRowChange::None) {
        painter->fillRect(QRect(r.left(), r.top(), kChangeMarkWidth, r.height()),
                          fromBgr(ChangeMarkColor(rec->Change)));
        textRect.setLeft(r.left() + kChangeMarkWidth + kTextMargin);
    }
    if (leftmost && FSelList.contains(rec->SPID)) {
        const QRect icon(textRect.left(), r.top() + (r.height() - 16) / 2, 16, 16);
        MonitorImageList(kTickImage).paint(painter, icon);
        textRect.setLeft(icon.right() + 1 + kTextMargin);
    }
    QFont font = option.font;
    // A session that had ended by the second moment is shown with the values it had.
    font.setStrikeOut(rec->Change == TRowChange::Ended);
    painter->setFont(font);
    painter->setPen(text);
    const auto alignment = static_cast<Qt::Alignment>(index.data(Qt::TextAlignmentRole).toInt());
    const QString s = index.data(Qt::DisplayRole).toString();
    painter->drawText(textRect, alignment, s);

    if (focusedRow && current.column() == index.column()) {
        painter->setPen(kFocusFrame);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(r.adjusted(0, 0, -1, -1));
        painter->drawRect(r.adjusted(1, 1, -2, -2));
    }
}
