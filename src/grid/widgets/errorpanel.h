#pragma once
// The panel shown in the grid's place while the watched server cannot be sampled: the
// failure in large red letters, with the provider's own words.

#include <QPlainTextEdit>

class TErrorPanel : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TErrorPanel(QWidget* parent = nullptr);
    // "Невозможно получить данные.", then the provider's message.
    void ShowFailure(const QString& AMessage);
};
