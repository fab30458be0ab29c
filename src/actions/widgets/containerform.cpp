#include "actions/widgets/containerform.h"

#include "actions/sessiondetail.h"
#include "actions/widgets/modalrun.h"
#include "actions/widgets/viewform.h"
#include "prompts/prompts.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QFrame* makePane(QWidget* parent, const char* name, QLabel*& header, const char* headerName,
                 const QString& background) {
    auto* pane = new QFrame(parent);
    pane->setObjectName(QLatin1String(name));
    pane->setFrameShape(QFrame::Box);
    pane->setLineWidth(1);
    header = new QLabel(pane);
    header->setObjectName(QLatin1String(headerName));
    header->setFixedHeight(22);
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(13);
    f.setBold(true);
    header->setFont(f);
    header->setAutoFillBackground(true);
    QPalette p = header->palette();
    p.setColor(QPalette::Window, QColor(background));
    p.setColor(QPalette::WindowText, Qt::black);
    header->setPalette(p);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(header);
    return pane;
}

} // namespace

TContainerForm::TContainerForm(QWidget* AOwner) : QDialog(AOwner) {
    setObjectName(QStringLiteral("ContainerForm"));
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    setWindowTitle(tr("Просмотр"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(1384, 861);
    Panel1 = makePane(this, "Panel1", Panel3, "Panel3", QStringLiteral("#FF8080"));
    Panel2 = makePane(this, "Panel2", Panel4, "Panel4", QStringLiteral("#FFAAFF"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1, 1);
    layout->addWidget(Panel2, 1);
}

void EmbedView(TViewForm* AView, QFrame* APanel) {
    AView->setParent(APanel, Qt::Widget);
    if (auto* header = qobject_cast<QLabel*>(APanel->layout()->itemAt(0)->widget()))
        header->setText(AView->windowTitle());
    APanel->layout()->addWidget(AView);
    AView->show();
}

void OpenBlockingPair(QWidget* AOwner, TServer* AServer, PMonitorRec AFocused,
                      const QList<PMonitorRec>& ARows, const TViewHost& AHost) {
    const PMonitorRec blocker = FindBlockingRec(ARows, AFocused->Blocking);
    if (!blocker) {
        ShowError(QCoreApplication::translate("TContainerForm", "Процесс не найден."));
        return;
    }
    auto* container = new TContainerForm(AOwner);
    EmbedView(new TViewForm(container, AServer, AFocused, AHost), container->Panel2);
    EmbedView(new TViewForm(container, AServer, blocker, AHost), container->Panel1);
    if (const QScreen* screen = container->screen())
        container->move(screen->availableGeometry().center() - container->rect().center());
    RunModal(container);
}
