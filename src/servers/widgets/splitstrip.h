#pragma once
// The 3-pixel strip right of the server panel; a click hides or shows the panel, a drag
// widens or narrows it.

#include <QFrame>

class TSplitStrip : public QFrame {
    Q_OBJECT
public:
    explicit TSplitStrip(QWidget* parent = nullptr);

signals:
    void clicked();
    // The pointer moved this far (global x) since the button went down on the strip.
    void dragged(int ADistance);
    void dragFinished();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int FPressedAt = 0;
    bool FDragging = false;
};
