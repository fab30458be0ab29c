#pragma once
// The owner-drawn bar under the server list: how many servers are disconnected,
// connected and failed, each next to its ball.

#include <QStringList>
#include <QWidget>

class TMainStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit TMainStatusBar(QWidget* parent = nullptr);
    // The three counts' texts (empty for 0).
    void setTexts(const QStringList& texts);
    QStringList texts() const { return FTexts; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList FTexts{QString(), QString(), QString()};
};
