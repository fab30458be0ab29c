#include "actions/widgets/sqlview.h"

#include "actions/widgets/sqllexer.h"

#include <QKeyEvent>

#include <algorithm>

namespace {
constexpr int kMarkedLine = 1;
constexpr int kMinLineDigits = 3;
} // namespace

TSqlView::TSqlView(QWidget* parent) : QsciScintilla(parent), FLexer(new TSqlLexer(this)) {
    setObjectName(QStringLiteral("SynEdit"));
    setUtf8(true);
    setLexer(FLexer);
    setPaper(TSqlLexer::background());
    setFont(TSqlLexer::textFont());
    setReadOnly(true);
    setWrapMode(WrapNone);
    setEdgeMode(EdgeNone);
    setCaretLineVisible(false);
    setFolding(NoFoldStyle);

    setMarginType(0, NumberMargin);
    setMarginLineNumbers(0, true);
    setMarginsFont(TSqlLexer::textFont());
    setMarginWidth(1, 0);
    setMarginWidth(2, 0);
    connect(this, &QsciScintilla::linesChanged, this, [this] { fitLineNumbers(); });
    fitLineNumbers();

    markerDefine(Background, kMarkedLine);
    setMarkerBackgroundColor(markedLineColor(), kMarkedLine);
}

QColor TSqlView::markedLineColor() {
    return QColor(0xFF, 0xFF, 0x80);
}

void TSqlView::setSqlText(const QString& AText) {
    setReadOnly(false);
    setText(AText);
    setReadOnly(true);
    setCursorPosition(0, 0);
}

void TSqlView::setMarkedLines(int AFirst, int ALast) {
    markerDeleteAll(kMarkedLine);
    if (AFirst <= 0)
        return;
    for (int line = AFirst; line <= ALast && line <= lines(); ++line)
        markerAdd(line - 1, kMarkedLine);
}

bool TSqlView::isLineMarked(int ALine) const {
    return (markersAtLine(ALine - 1) & (1u << kMarkedLine)) != 0;
}

void TSqlView::showStatementAt(int ALine) {
    const int line = std::clamp(ALine, 1, lines());
    setCursorPosition(line - 1, 0);
    // The first visible line is counted in display lines, which word wrap makes more of
    // than the text's lines.
    const long display =
        SendScintilla(SCI_VISIBLEFROMDOCLINE, static_cast<unsigned long>(std::max(line - 2, 0)));
    setFirstVisibleLine(static_cast<int>(display));
}

int TSqlView::firstVisibleLineNumber() const {
    return static_cast<int>(SendScintilla(SCI_DOCLINEFROMVISIBLE,
                                          static_cast<unsigned long>(firstVisibleLine()))) +
           1;
}

int TSqlView::caretLineNumber() const {
    int line = 0, index = 0;
    getCursorPosition(&line, &index);
    return line + 1;
}

void TSqlView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_F5:
        event->ignore(); // on to the parent, and so to the window
        return;
    default:
        QsciScintilla::keyPressEvent(event);
    }
}

void TSqlView::fitLineNumbers() {
    int digits = 1;
    for (int n = lines(); n >= 10; n /= 10)
        ++digits;
    setMarginWidth(0, QString(std::max(digits, kMinLineDigits) + 1, QLatin1Char('9')));
}
