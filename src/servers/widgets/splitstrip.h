#pragma once
// The 3-pixel strip right of the server panel; a click hides or shows the panel.

#include <QFrame>

class TSplitStrip : public QFrame {
    Q_OBJECT
public:
    explicit TSplitStrip(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
