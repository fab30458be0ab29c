#include "grid/widgets/errorpanel.h"

TErrorPanel::TErrorPanel(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("mmError"));
    setReadOnly(true);
    setFocusPolicy(Qt::NoFocus);
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(10);
    font.setBold(true);
    setFont(font);
    setStyleSheet(QStringLiteral("QPlainTextEdit { color: #FF0000; }"));
}

void TErrorPanel::ShowFailure(const QString& AMessage) {
    clear();
    appendPlainText(tr("Невозможно получить данные."));
    appendPlainText(tr("Сообщение от провайдера:"));
    appendPlainText(AMessage);
}
