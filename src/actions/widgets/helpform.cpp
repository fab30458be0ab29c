#include "actions/widgets/helpform.h"

#include "grid/rowcolor.h"

#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace {

constexpr int kBarHeight = 27;
constexpr int kKeyHintHeight = 22;

struct TLegendBar {
    const char* caption;
    QColor background;
    QColor text; // invalid: the system's window-text colour
};

QColor fromRec(std::uint32_t bgr) {
    return QColor(ColorToRgbText(bgr));
}

} // namespace

THelpForm::THelpForm(QWidget* ACenterOver)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("HelpForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    const QColor gridBackground(0xFF, 0xFF, 0xF5);
    const TLegendBar legend[] = {
        {QT_TRANSLATE_NOOP("THelpForm", "Running"), fromRec(RowColorRunning), {}},
        {QT_TRANSLATE_NOOP("THelpForm", "Runnable"), fromRec(RowColorRunnable), {}},
        {QT_TRANSLATE_NOOP("THelpForm", "Blocking"), fromRec(RowColorBlocking), {}},
        {QT_TRANSLATE_NOOP("THelpForm", "Blocked"), fromRec(RowColorBlocked), {}},
        {QT_TRANSLATE_NOOP("THelpForm", "Suspended"), fromRec(RowColorSuspended), {}},
        {QT_TRANSLATE_NOOP("THelpForm", "Dormant"), fromRec(RowColorDormant), {}},
        {QT_TRANSLATE_NOOP("THelpForm", "System"), gridBackground, QColor(0x80, 0x80, 0x80)},
        {QT_TRANSLATE_NOOP("THelpForm", "It's me"), gridBackground, QColor(0x00, 0x00, 0xFF)},
    };
    QFont font(QStringLiteral("Arial Black"));
    font.setPixelSize(16);
    font.setBold(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (const TLegendBar& bar : legend) {
        auto* label = new QLabel(tr(bar.caption), this);
        label->setFixedHeight(kBarHeight);
        label->setAlignment(Qt::AlignCenter);
        label->setFrameStyle(QFrame::Panel | QFrame::Raised);
        label->setFont(font);
        label->setAutoFillBackground(true);
        QPalette p = label->palette();
        p.setColor(QPalette::Window, bar.background);
        if (bar.text.isValid())
            p.setColor(QPalette::WindowText, bar.text);
        label->setPalette(p);
        layout->addWidget(label);
        FBars.append(label);
    }
    // The key of the view that shows chains whole, beside the colours that mark them.
    auto* keys = new QLabel(tr("Ctrl+T — дерево блокировок"), this);
    keys->setObjectName(QStringLiteral("KeyHint"));
    keys->setAlignment(Qt::AlignCenter);
    keys->setFixedHeight(kKeyHintHeight);
    layout->addWidget(keys);
    // Two moments of a recording compared: the mark at a row's left edge.
    const auto mark = [](std::uint32_t bgr, const QString& caption) {
        return QStringLiteral("<span style=\"background:%1\">&nbsp;&nbsp;</span>&nbsp;%2")
            .arg(ColorToRgbText(bgr), caption.toHtmlEscaped());
    };
    auto* changes = new QLabel(QStringLiteral("%1&nbsp;&nbsp;%2&nbsp;&nbsp;%3")
                                   .arg(mark(ChangeMarkAppeared, tr("новый")),
                                        mark(ChangeMarkEnded, tr("завершён")),
                                        mark(ChangeMarkChanged, tr("изменился"))),
                               this);
    changes->setObjectName(QStringLiteral("ChangeMarks"));
    changes->setToolTip(tr("Метка слева в строке при сравнении двух моментов записи"));
    changes->setAlignment(Qt::AlignCenter);
    changes->setFixedHeight(kKeyHintHeight);
    layout->addWidget(changes);
    setFixedSize(237, kBarHeight * static_cast<int>(std::size(legend)) + 2 * kKeyHintHeight);
    if (ACenterOver)
        move(ACenterOver->frameGeometry().center() - rect().center());
}

void THelpForm::mousePressEvent(QMouseEvent*) {
    close();
}

void THelpForm::keyPressEvent(QKeyEvent*) {
    close();
}

void THelpForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    if (isActiveWindow())
        FWasActive = true;
    else if (FWasActive)
        close();
}

THelpForm* ShowColourLegend(QWidget* AMainWindow) {
    auto* legend = new THelpForm(AMainWindow);
    legend->show();
    legend->activateWindow();
    return legend;
}
