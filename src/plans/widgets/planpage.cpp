#include "plans/widgets/planpage.h"

#include "plans/planfetcher.h"
#include "plans/planfigures.h"
#include "plans/sqlplanfile.h"
#include "plans/widgets/plantreemodel.h"
#include "prompts/prompts.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace {

const QColor kSourceColor(0x00, 0x80, 0x80);
const QColor kErrorColor(0xFF, 0x00, 0x00);

void setColor(QLabel* ALabel, const QColor& AColor) {
    QPalette p = ALabel->palette();
    p.setColor(QPalette::WindowText, AColor);
    ALabel->setPalette(p);
}

QString missingIndexText(const TMissingIndex& AIndex) {
    QStringList parts;
    if (!AIndex.Equality.isEmpty())
        parts << TPlanPage::tr("равенство: %1").arg(AIndex.Equality.join(u", "_s));
    if (!AIndex.Inequality.isEmpty())
        parts << TPlanPage::tr("неравенство: %1").arg(AIndex.Inequality.join(u", "_s));
    if (!AIndex.Include.isEmpty())
        parts << TPlanPage::tr("включить: %1").arg(AIndex.Include.join(u", "_s));
    return TPlanPage::tr("Недостающий индекс (выигрыш %1 %): %2 — %3")
        .arg(QLocale().toString(AIndex.Impact, 'f', 1), AIndex.Table, parts.join(u"; "_s));
}

} // namespace

TPlanPage::TPlanPage(QWidget* parent) : QWidget(parent), FFetcher(new TPlanFetcher(this)) {
    setObjectName(QStringLiteral("PlanPage"));
    lbPlanSource = new QLabel(this);
    lbPlanSource->setObjectName(QStringLiteral("lbPlanSource"));
    QFont bold = lbPlanSource->font();
    bold.setBold(true);
    lbPlanSource->setFont(bold);
    setColor(lbPlanSource, kSourceColor);
    tbSavePlan = new QToolButton(this);
    tbSavePlan->setObjectName(QStringLiteral("tbSavePlan"));
    tbSavePlan->setText(tr("Сохранить как .sqlplan…"));
    tbCopyXml = new QToolButton(this);
    tbCopyXml->setObjectName(QStringLiteral("tbCopyXml"));
    tbCopyXml->setText(tr("Копировать XML"));
    connect(tbSavePlan, &QToolButton::clicked, this, [this] { tbSavePlanClick(); });
    connect(tbCopyXml, &QToolButton::clicked, this, [this] { tbCopyXmlClick(); });
    auto* bar = new QHBoxLayout;
    bar->addWidget(lbPlanSource, 1);
    bar->addWidget(tbSavePlan);
    bar->addWidget(tbCopyXml);

    StatementText = new QPlainTextEdit(this);
    StatementText->setObjectName(QStringLiteral("StatementText"));
    StatementText->setReadOnly(true);
    StatementText->setMaximumHeight(StatementText->fontMetrics().lineSpacing() * 4 + 12);
    lbPlanNotes = new QLabel(this);
    lbPlanNotes->setObjectName(QStringLiteral("lbPlanNotes"));
    lbPlanNotes->setWordWrap(true);
    lbPlanNotes->setTextInteractionFlags(Qt::TextSelectableByMouse);

    PlanModel = new TPlanTreeModel(this);
    PlanTree = new QTreeView(this);
    PlanTree->setObjectName(QStringLiteral("PlanTree"));
    // A plan of thousands of operators opens at once only if rows need not be measured.
    PlanTree->setUniformRowHeights(true);
    PlanTree->setModel(PlanModel);
    PlanTree->header()->setStretchLastSection(true);

    lbPlanMessage = new QLabel(this);
    lbPlanMessage->setObjectName(QStringLiteral("lbPlanMessage"));
    lbPlanMessage->setWordWrap(true);
    lbPlanMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbPlanMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(StatementText);
    layout->addWidget(lbPlanNotes);
    layout->addWidget(PlanTree, 1);
    layout->addWidget(lbPlanMessage, 1);

    connect(FFetcher, &TPlanFetcher::Done, this, [this](const TPlanRead& r) { ShowRead(r); });
    showMessage(QString(), false);
}

bool TPlanPage::Reading() const {
    return FFetcher->Busy();
}

void TPlanPage::Load(std::shared_ptr<TDbConnection> AConnection, int ASPID, int ARequestID) {
    FSPID = ASPID;
    if (FFetcher->Read(std::move(AConnection), ASPID, ARequestID))
        showMessage(tr("Чтение плана…"), false);
}

void TPlanPage::ShowRecorded() {
    showMessage(tr("Записи не хранят планов: для записанного сеанса плана нет."), false);
}

void TPlanPage::showMessage(const QString& AText, bool AError) {
    FXml.clear();
    PlanModel->setPlan({}, false);
    for (QWidget* w : std::initializer_list<QWidget*>{lbPlanSource, tbSavePlan, tbCopyXml,
                                                      StatementText, lbPlanNotes, PlanTree})
        w->hide();
    lbPlanMessage->setText(AText);
    setColor(lbPlanMessage, AError ? kErrorColor : palette().color(QPalette::WindowText));
    lbPlanMessage->show();
}

void TPlanPage::ShowRead(const TPlanRead& ARead) {
    switch (ARead.Outcome) {
    case TPlanRead::Plan:
        showPlan(ARead);
        return;
    case TPlanRead::NoRequest:
        showMessage(tr("Запрос уже завершился: плана нет."), false);
        return;
    case TPlanRead::NoPlan:
        showMessage(tr("У запроса нет плана: сервер не хранит его в кэше."), false);
        return;
    case TPlanRead::Failed:
        showMessage(ARead.Error, true);
        return;
    }
}

void TPlanPage::showPlan(const TPlanRead& ARead) {
    TShowPlan plan = ParseShowPlan(ARead.Xml);
    if (!plan.Error.isEmpty()) {
        showMessage(tr("План не удалось прочесть: %1").arg(plan.Error), true);
        return;
    }
    const bool live = ARead.Source == TPlanSource::Live;
    const int main = MainStatement(plan);
    const int costliest = main >= 0 ? CostliestNode(plan, main) : -1;
    QStringList notes;
    if (!ARead.LiveError.isEmpty())
        notes << tr("Текущий план не прочитан, показан план из кэша: %1").arg(ARead.LiveError);
    if (main >= 0) {
        StatementText->setPlainText(plan.Statements[main].Text);
        for (const TMissingIndex& m : plan.Statements[main].MissingIndexes)
            notes << missingIndexText(m);
        for (const TPlanWarning& w : plan.Statements[main].Warnings)
            notes << tr("Предупреждение: %1").arg(w.Text);
    } else {
        StatementText->setPlainText(plan.Statements.isEmpty() ? QString()
                                                              : plan.Statements[0].Text);
        notes << tr("В плане нет операторов.");
    }
    lbPlanMessage->hide();
    lbPlanSource->setText(live ? tr("Текущий план со счётчиками "
                                    "(sys.dm_exec_query_statistics_xml)")
                               : tr("План из кэша (sys.dm_exec_text_query_plan)"));
    lbPlanNotes->setText(notes.join(u'\n'));
    lbPlanNotes->setVisible(!notes.isEmpty());
    for (QWidget* w : std::initializer_list<QWidget*>{lbPlanSource, tbSavePlan, tbCopyXml,
                                                      StatementText, PlanTree})
        w->show();
    PlanModel->setPlan(std::move(plan), live);
    FXml = ARead.Xml;

    // The path down to the costliest operator open, that operator current.
    const QList<int> path = costliest >= 0 ? PathTo(PlanModel->plan(), costliest) : QList<int>();
    for (int n : path)
        PlanTree->expand(PlanModel->indexOfNode(n));
    const QModelIndex current = PlanModel->indexOfNode(costliest);
    if (current.isValid()) {
        PlanTree->setCurrentIndex(current);
        PlanTree->scrollTo(current);
    }
    for (int c = 0; c < TPlanTreeModel::colWarnings; ++c)
        PlanTree->resizeColumnToContents(c);
}

void TPlanPage::tbSavePlanClick() {
    if (FXml.isEmpty())
        return;
    const QString path =
        Prompts().saveFile(window(), tr("Сохранить план"),
                           QDir::home().filePath(QStringLiteral("SPID%1.sqlplan").arg(FSPID)),
                           tr("Планы выполнения (*.sqlplan);;Все файлы (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!SaveSqlPlan(path, FXml, error))
        ShowError(tr("Не удалось сохранить план в «%1»: %2").arg(path, error));
}

void TPlanPage::tbCopyXmlClick() {
    if (!FXml.isEmpty())
        QApplication::clipboard()->setText(FXml);
}
