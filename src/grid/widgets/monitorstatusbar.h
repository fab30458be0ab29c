#pragma once
// The owner-drawn status bar under the session grid: connection, row counts, marks,
// pause and the log file, each panel in its colour; tooltips on the count panels.

#include <QStringList>
#include <QWidget>

class TMonitorStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit TMonitorStatusBar(QWidget* parent = nullptr);
    QString panelText(int panel) const { return FTexts.value(panel); }
    // An empty text also clears the panel's detail.
    void setPanelText(int panel, const QString& text);
    // More lines for a panel's tooltip, under its own hint, until the panel is emptied.
    void setPanelDetail(int panel, const QString& text);
    QString panelHint(int panel) const;
    QRect panelRect(int panel) const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QStringList FTexts;
    QStringList FDetails;
};
