#include "actions/widgets/sqllexer.h"

#include <Qsci/qsciscintilla.h>

TSqlLexer::TSqlLexer(QObject* parent) : QsciLexerCustom(parent) {
    setDefaultFont(textFont());
    setDefaultPaper(background());
    setDefaultColor(Qt::black);
}

const char* TSqlLexer::language() const {
    return "T-SQL";
}

QString TSqlLexer::description(int style) const {
    switch (style) {
    case ssDefault:
        return QStringLiteral("Default");
    case ssComment:
        return QStringLiteral("Comment");
    case ssDataType:
        return QStringLiteral("Data type");
    case ssFunction:
        return QStringLiteral("Function");
    case ssKeyword:
        return QStringLiteral("Keyword");
    case ssNumber:
        return QStringLiteral("Number");
    case ssString:
        return QStringLiteral("String");
    case ssProcedure:
        return QStringLiteral("Procedure name");
    case ssTable:
        return QStringLiteral("Table name");
    case ssVariable:
        return QStringLiteral("Variable");
    default:
        return {};
    }
}

QColor TSqlLexer::defaultColor(int style) const {
    switch (style) {
    case ssComment:
        return QColor(0x00, 0x80, 0x80);
    case ssDataType:
        return QColor(0x80, 0x00, 0x80);
    case ssFunction:
        return QColor(0x00, 0x00, 0x80);
    case ssKeyword:
        return QColor(0x00, 0x00, 0xFF);
    case ssNumber:
        return QColor(0x00, 0x80, 0x00);
    case ssString:
        return QColor(0x80, 0x00, 0x00);
    case ssProcedure:
        return QColor(0xFF, 0x00, 0x00);
    case ssTable:
        return QColor(0xFF, 0x00, 0xFF);
    default:
        return Qt::black;
    }
}

QFont TSqlLexer::defaultFont(int style) const {
    QFont f = textFont();
    f.setBold(style == ssNumber);
    return f;
}

QColor TSqlLexer::defaultPaper(int) const {
    return background();
}

QColor TSqlLexer::background() {
    return QColor(0xF0, 0xFF, 0xF0);
}

QFont TSqlLexer::textFont() {
    QFont f(QStringLiteral("Courier New"));
    f.setStyleHint(QFont::TypeWriter);
    // Scintilla takes sizes in points: 13 px at 96 dots per inch.
    f.setPointSizeF(9.75);
    return f;
}

void TSqlLexer::styleText(int start, int end) {
    QsciScintilla* ed = editor();
    if (!ed || start >= end)
        return;
    const long firstLine = ed->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, start);
    const long lastLine = ed->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, end);
    int state = firstLine > 0
                    ? int(ed->SendScintilla(QsciScintillaBase::SCI_GETLINESTATE, firstLine - 1))
                    : int(kSqlNormal);
    startStyling(int(ed->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, firstLine)));
    for (long line = firstLine; line <= lastLine; ++line) {
        const long from = ed->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
        const long to = ed->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line + 1);
        const long stop = to < 0 ? ed->SendScintilla(QsciScintillaBase::SCI_GETLENGTH) : to;
        QByteArray bytes(int(stop - from) + 1, '\0'); // the range comes back NUL-terminated
        ed->SendScintilla(QsciScintillaBase::SCI_GETTEXTRANGE, from, stop, bytes.data());
        bytes.chop(1);
        const TSqlScan scan = ScanSql(bytes, state);
        for (const TSqlRun& run : scan.Runs)
            setStyling(run.Length, run.Style);
        state = scan.EndState;
        ed->SendScintilla(QsciScintillaBase::SCI_SETLINESTATE, line, long(state));
    }
}
