#include "plans/showplan.h"

#include <QCoreApplication>
#include <QXmlStreamReader>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

QString unbracketed(QStringView name) {
    if (name.size() >= 2 && name.front() == u'[' && name.back() == u']')
        return name.mid(1, name.size() - 2).toString();
    return name.toString();
}

bool isTrue(QStringView value) {
    return value == u"true" || value == u"1";
}

double number(const QXmlStreamAttributes& a, QLatin1StringView name, double fallback = 0) {
    bool ok = false;
    const double v = a.value(name).toDouble(&ok);
    return ok ? v : fallback;
}

QString attributesText(const QXmlStreamAttributes& a) {
    QStringList parts;
    for (const QXmlStreamAttribute& attribute : a)
        parts << attribute.name().toString() + u'=' + attribute.value().toString();
    return parts.join(u", ");
}

// The reader's walk through the document: which statement and which operators are open.
class TPlanBuilder {
public:
    explicit TPlanBuilder(TShowPlan& APlan) : FPlan(APlan) {}

    void start(const QXmlStreamReader& r) {
        const QStringView name = r.name();
        const TElement parent = FElements.isEmpty() ? TElement::Other : FElements.back();
        const TElement grandparent =
            FElements.size() < 2 ? TElement::Other : FElements[FElements.size() - 2];
        FElements.append(kindOf(name));
        const QXmlStreamAttributes a = r.attributes();
        if (name.startsWith(u"Stmt")) {
            statement(a);
        } else if (name == u"RelOp") {
            relOp(a);
        } else if (name == u"Object" && grandparent == TElement::RelOp && !FOpen.isEmpty()) {
            object(a);
        } else if (parent == TElement::RelOp && name == u"IndexScan" &&
                   isTrue(a.value("Lookup"_L1))) {
            node().PhysicalOp = QStringLiteral("Key Lookup");
        } else if (name == u"RunTimeCountersPerThread" && !FOpen.isEmpty()) {
            counters(a);
        } else if (name == u"Warnings") {
            FWarnings = parent == TElement::RelOp && !FOpen.isEmpty() ? &node().Warnings
                        : parent == TElement::QueryPlan && !FStatements.isEmpty()
                            ? &FPlan.Statements[FStatements.back()].Warnings
                            : nullptr;
            if (FWarnings && isTrue(a.value("NoJoinPredicate"_L1)))
                FWarnings->append(
                    {TPlanWarning::NoJoinPredicate, QStringLiteral("NoJoinPredicate")});
        } else if (parent == TElement::Warnings && FWarnings) {
            warning(name, a);
        } else if (name == u"MissingIndexGroup" && !FStatements.isEmpty()) {
            FPlan.Statements[FStatements.back()].MissingIndexes.append(
                {number(a, "Impact"_L1), {}, {}, {}, {}});
        } else if (name == u"MissingIndex" && missing()) {
            missing()->Table =
                QStringList{unbracketed(a.value("Database"_L1)), unbracketed(a.value("Schema"_L1)),
                            unbracketed(a.value("Table"_L1))}
                    .join(u'.');
        } else if (name == u"ColumnGroup") {
            FUsage = a.value("Usage"_L1).toString();
        } else if (name == u"Column" && parent == TElement::ColumnGroup && missing()) {
            const QString column = unbracketed(a.value("Name"_L1));
            (FUsage == u"EQUALITY"     ? missing()->Equality
             : FUsage == u"INEQUALITY" ? missing()->Inequality
                                       : missing()->Include)
                .append(column);
        }
    }

    void end(const QXmlStreamReader& r) {
        const QStringView name = r.name();
        if (name == u"RelOp" && !FOpen.isEmpty())
            FOpen.removeLast();
        else if (name.startsWith(u"Stmt") && !FStatements.isEmpty())
            FStatements.removeLast();
        else if (name == u"Warnings")
            FWarnings = nullptr;
        if (!FElements.isEmpty())
            FElements.removeLast();
    }

private:
    TPlanNode& node() { return FPlan.Nodes[FOpen.back()]; }

    TMissingIndex* missing() {
        if (FStatements.isEmpty() || FPlan.Statements[FStatements.back()].MissingIndexes.isEmpty())
            return nullptr;
        return &FPlan.Statements[FStatements.back()].MissingIndexes.back();
    }

    void statement(const QXmlStreamAttributes& a) {
        TPlanStatement s;
        s.Text = a.value("StatementText"_L1).toString();
        s.Type = a.value("StatementType"_L1).toString();
        s.Cost = number(a, "StatementSubTreeCost"_L1, -1);
        FStatements.append(FPlan.Statements.size());
        FPlan.Statements.append(s);
    }

    void relOp(const QXmlStreamAttributes& a) {
        TPlanNode n;
        n.Statement = FStatements.isEmpty() ? -1 : FStatements.back();
        n.Parent = FOpen.isEmpty() ? -1 : FOpen.back();
        n.Depth = FOpen.isEmpty() ? 0 : FPlan.Nodes[n.Parent].Depth + 1;
        n.PhysicalOp = a.value("PhysicalOp"_L1).toString();
        n.LogicalOp = a.value("LogicalOp"_L1).toString();
        n.EstimateRows = number(a, "EstimateRows"_L1);
        n.EstimateExecutions =
            1 + number(a, "EstimateRebinds"_L1) + number(a, "EstimateRewinds"_L1);
        n.SubtreeCost = number(a, "EstimatedTotalSubtreeCost"_L1);
        n.Attributes = a;
        const int index = FPlan.Nodes.size();
        if (n.Parent >= 0)
            FPlan.Nodes[n.Parent].Children.append(index);
        else if (n.Statement >= 0 && FPlan.Statements[n.Statement].Root < 0)
            FPlan.Statements[n.Statement].Root = index;
        FPlan.Nodes.append(n);
        FOpen.append(index);
    }

    void object(const QXmlStreamAttributes& a) {
        TPlanNode& n = node();
        if (!n.Object.isEmpty())
            return; // the first object is the one the operator reads or writes
        QStringList parts;
        for (QLatin1StringView part : {"Database"_L1, "Schema"_L1, "Table"_L1, "Index"_L1})
            if (a.hasAttribute(part))
                parts << unbracketed(a.value(part));
        n.Object = parts.join(u'.');
    }

    void counters(const QXmlStreamAttributes& a) {
        TPlanNode& n = node();
        n.ActualRows = n.ActualRows.value_or(0) + a.value("ActualRows"_L1).toLongLong();
        n.ActualExecutions += a.value("ActualExecutions"_L1).toLongLong();
        n.ActualEndOfScans += a.value("ActualEndOfScans"_L1).toLongLong();
        // A counter summed over the threads: the tooltip shows the operator's totals.
        for (const QXmlStreamAttribute& attribute : a) {
            const QStringView name = attribute.name();
            if (!name.startsWith(u"Actual") || name == u"ActualExecutionMode" ||
                name == u"ActualJoinType")
                continue;
            const qint64 value = attribute.value().toLongLong();
            bool found = false;
            for (auto& p : n.Counters)
                if (p.first == name) {
                    p.second += value;
                    found = true;
                }
            if (!found)
                n.Counters.append({name.toString(), value});
        }
    }

    void warning(QStringView name, const QXmlStreamAttributes& a) {
        const QString detail = attributesText(a);
        const QString text =
            detail.isEmpty() ? name.toString() : name.toString() + u": "_s + detail;
        if (name == u"SpillToTempDb" || name == u"SpillOccurred") {
            FWarnings->append({TPlanWarning::Spill, text});
        } else if (name.endsWith(u"SpillDetails")) {
            // The details of a spill go with it, not as a warning of their own.
            for (auto it = FWarnings->rbegin(); it != FWarnings->rend(); ++it)
                if (it->Kind == TPlanWarning::Spill) {
                    it->Text += u"; "_s + text;
                    return;
                }
            FWarnings->append({TPlanWarning::Spill, text});
        } else if (name == u"PlanAffectingConvert") {
            FWarnings->append({TPlanWarning::ImplicitConversion, text});
        } else {
            FWarnings->append({TPlanWarning::Other, text});
        }
    }

    // The elements whose children mean something particular.
    enum class TElement { RelOp, QueryPlan, Warnings, ColumnGroup, Other };
    static TElement kindOf(QStringView AName) {
        return AName == u"RelOp"         ? TElement::RelOp
               : AName == u"QueryPlan"   ? TElement::QueryPlan
               : AName == u"Warnings"    ? TElement::Warnings
               : AName == u"ColumnGroup" ? TElement::ColumnGroup
                                         : TElement::Other;
    }

    TShowPlan& FPlan;
    QList<TElement> FElements;
    QList<int> FOpen;       // the operators open around the reader, innermost last
    QList<int> FStatements; // likewise the statements
    QList<TPlanWarning>* FWarnings = nullptr;
    QString FUsage;
};

void finish(TShowPlan& APlan) {
    for (TPlanNode& n : APlan.Nodes) {
        double children = 0;
        for (int c : n.Children)
            children += APlan.Nodes[c].SubtreeCost;
        n.OwnCost = std::max(0.0, n.SubtreeCost - children);
    }
    for (TPlanStatement& s : APlan.Statements)
        if (s.Cost < 0)
            s.Cost = s.Root >= 0 ? APlan.Nodes[s.Root].SubtreeCost : 0;
}

} // namespace

TPlanProperties PlanNodeProperties(const TPlanNode& ANode) {
    TPlanProperties properties;
    for (const QXmlStreamAttribute& a : ANode.Attributes)
        properties.append({a.name().toString(), a.value().toString()});
    if (!ANode.Object.isEmpty())
        properties.append({QStringLiteral("Object"), ANode.Object});
    for (const auto& [name, value] : ANode.Counters)
        properties.append({name, QString::number(value)});
    return properties;
}

TShowPlan ParseShowPlan(const QString& AXml) {
    TShowPlan plan;
    TPlanBuilder builder(plan);
    QXmlStreamReader reader(AXml);
    bool root = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (!root && reader.name() != u"ShowPlanXML") {
                plan.Error = QCoreApplication::translate("Plans", "Это не план запроса: %1.")
                                 .arg(reader.name().toString());
                return plan;
            }
            root = true;
            builder.start(reader);
            break;
        case QXmlStreamReader::EndElement:
            builder.end(reader);
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        plan.Error = reader.errorString();
    else if (!root)
        plan.Error = QCoreApplication::translate("Plans", "План пуст.");
    finish(plan);
    return plan;
}
