#include "plans/widgets/plantreemodel.h"

#include "plans/planfigures.h"

#include <QColor>
#include <QLocale>

using namespace Qt::Literals::StringLiterals;

namespace {

const QColor kOffBackground(0xFF, 0xC0, 0xC0);
const QColor kWarningText(0xC0, 0x00, 0x00);

QString rows(double ARows) {
    return QLocale().toString(ARows, 'f', ARows < 10 && ARows != qRound64(ARows) ? 1 : 0);
}

QString warningName(const TPlanWarning& AWarning) {
    switch (AWarning.Kind) {
    case TPlanWarning::Spill:
        return TPlanTreeModel::tr("сброс в tempdb");
    case TPlanWarning::NoJoinPredicate:
        return TPlanTreeModel::tr("нет условия соединения");
    case TPlanWarning::ImplicitConversion:
        return TPlanTreeModel::tr("неявное преобразование");
    case TPlanWarning::Other:
        break;
    }
    return AWarning.Text.section(u':', 0, 0); // the element's name, as the server writes it
}

} // namespace

QString RowsRatioText(const TPlanNode& ANode) {
    const std::optional<double> ratio = RowsRatio(ANode);
    if (!ratio)
        return {};
    const double times = *ratio >= 1 ? *ratio : 1 / *ratio;
    const QString number = QLocale().toString(times, 'f', times < 10 ? 1 : 0);
    return (*ratio >= 1 ? u"×"_s : u"÷"_s) + number;
}

TPlanTreeModel::TPlanTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void TPlanTreeModel::setPlan(TShowPlan APlan, bool ALive) {
    beginResetModel();
    FPlan = std::move(APlan);
    FLive = ALive;
    FRoots.clear();
    for (const TPlanStatement& s : FPlan.Statements)
        if (s.Root >= 0)
            FRoots << s.Root;
    FRow.fill(0, FPlan.Nodes.size());
    for (int i = 0; i < FRoots.size(); ++i)
        FRow[FRoots[i]] = i;
    for (const TPlanNode& n : FPlan.Nodes)
        for (int i = 0; i < n.Children.size(); ++i)
            FRow[n.Children[i]] = i;
    endResetModel();
}

int TPlanTreeModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<int>(index.internalId()) : -1;
}

QModelIndex TPlanTreeModel::indexOfNode(int ANode) const {
    if (ANode < 0 || ANode >= FPlan.Nodes.size())
        return {};
    return createIndex(FRow[ANode], 0, quintptr(ANode));
}

QModelIndex TPlanTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= colCount)
        return {};
    const int p = nodeOf(parent);
    const QList<int>& children = p < 0 ? FRoots : FPlan.Nodes[p].Children;
    if (row >= children.size())
        return {};
    return createIndex(row, column, quintptr(children[row]));
}

QModelIndex TPlanTreeModel::parent(const QModelIndex& child) const {
    const int n = nodeOf(child);
    if (n < 0)
        return {};
    return indexOfNode(FPlan.Nodes[n].Parent);
}

int TPlanTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    const int p = nodeOf(parent);
    return p < 0 ? FRoots.size() : FPlan.Nodes[p].Children.size();
}

int TPlanTreeModel::columnCount(const QModelIndex&) const {
    return colCount;
}

QString TPlanTreeModel::text(int ANode, int AColumn) const {
    const TPlanNode& n = FPlan.Nodes[ANode];
    switch (AColumn) {
    case colOperator:
        return n.LogicalOp.isEmpty() || n.LogicalOp == n.PhysicalOp
                   ? n.PhysicalOp
                   : n.PhysicalOp + u" ("_s + n.LogicalOp + u')';
    case colObject:
        return n.Object;
    case colEstimated:
        return rows(n.EstimatedRowsAllExecutions());
    case colActual:
        return n.ActualRows ? rows(double(*n.ActualRows)) : QString();
    case colRatio:
        return RowsRatioText(n);
    case colCost:
        return QLocale().toString(100 * CostShare(FPlan, ANode), 'f', 1) + u" %"_s;
    case colWarnings: {
        QStringList names;
        for (const TPlanWarning& w : n.Warnings)
            names << warningName(w);
        return names.join(u"; "_s);
    }
    default:
        return {};
    }
}

QString TPlanTreeModel::toolTip(int ANode) const {
    const TPlanNode& n = FPlan.Nodes[ANode];
    QString html = u"<b>"_s + text(ANode, colOperator).toHtmlEscaped() + u"</b><table>"_s;
    for (const auto& [name, value] : PlanNodeProperties(n))
        html += u"<tr><td>"_s + name.toHtmlEscaped() + u"</td><td>"_s + value.toHtmlEscaped() +
                u"</td></tr>"_s;
    html += u"</table>"_s;
    for (const TPlanWarning& w : n.Warnings)
        html += u"<p style='color:#C00000'>"_s + w.Text.toHtmlEscaped() + u"</p>"_s;
    return html;
}

QVariant TPlanTreeModel::data(const QModelIndex& index, int role) const {
    const int n = nodeOf(index);
    if (n < 0)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return text(n, index.column());
    case Qt::ToolTipRole:
        return toolTip(n);
    case NodeRole:
        return n;
    case Qt::BackgroundRole:
        if (index.column() == colRatio && EstimateOff(FPlan.Nodes[n], FLive))
            return kOffBackground;
        return {};
    case Qt::ForegroundRole:
        if (index.column() == colWarnings)
            return kWarningText;
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() >= colEstimated && index.column() <= colCost)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant TPlanTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case colOperator:
        return tr("Оператор");
    case colObject:
        return tr("Объект");
    case colEstimated:
        return tr("Строк по оценке");
    case colActual:
        return tr("Строк на деле");
    case colRatio:
        return tr("Расхождение");
    case colCost:
        return tr("Стоимость");
    case colWarnings:
        return tr("Предупреждения");
    default:
        return {};
    }
}
