#pragma once
// T-SQL colouring for the SQL text area with the token colours of the Microsoft SQL
// Server dialect. The text is cut into token runs by ScanSql, line by line; what a line
// leaves open (a string, a block comment) is kept in the line's state for the next.

#include "actions/sqlscanner.h"

#include <Qsci/qscilexercustom.h>

class TSqlLexer : public QsciLexerCustom {
    Q_OBJECT
public:
    explicit TSqlLexer(QObject* parent = nullptr);

    const char* language() const override;
    QString description(int style) const override;
    QColor defaultColor(int style) const override;
    QFont defaultFont(int style) const override;
    QColor defaultPaper(int style) const override;
    void styleText(int start, int end) override;

    static QColor background();
    // Courier New at 13 pixels; a monospaced substitute where it is missing.
    static QFont textFont();
};
