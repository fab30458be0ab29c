#pragma once
// The status filter's summary field: read-only, never selected, and any plain key or
// click opens the status panel (Esc and keys with modifiers are swallowed).

#include <QLineEdit>

class TStatusFilterEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TStatusFilterEdit(QWidget* parent = nullptr);

signals:
    void openRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};
