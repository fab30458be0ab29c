#pragma once
// The read-only SQL text area of the detail window: T-SQL colouring, line numbers,
// the lines of the current statement marked on a yellow background that keeps the
// colours of their text.

#include <Qsci/qsciscintilla.h>

class TSqlLexer;

class TSqlView : public QsciScintilla {
    Q_OBJECT
public:
    explicit TSqlView(QWidget* parent = nullptr);

    // The text area is read-only to the user; text comes in through here.
    void setSqlText(const QString& AText);
    // Marks the lines from AFirst to ALast (1-based, both included); 0, 0 marks none.
    void setMarkedLines(int AFirst, int ALast);
    bool isLineMarked(int ALine) const; // 1-based
    // Caret to the start of ALine (1-based) with one line of context above it.
    void showStatementAt(int ALine);
    int firstVisibleLineNumber() const; // 1-based
    int caretLineNumber() const;        // 1-based

    static QColor markedLineColor();

protected:
    // Enter, Esc and F5 belong to the window around the text area.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fitLineNumbers();

    TSqlLexer* FLexer;
};
