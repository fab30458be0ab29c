#include "servers/widgets/logindialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TLoginDialog::TLoginDialog(const QString& serverName, const QString& user, const bool* remember,
                           QWidget* parent)
    : QDialog(parent), edUser(new QLineEdit(user)), edPassword(new QLineEdit) {
    setWindowTitle(tr("Авторизация"));
    edUser->setObjectName(QStringLiteral("edUser"));
    edPassword->setObjectName(QStringLiteral("edPassword"));
    edPassword->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->addRow(tr("Пользователь:"), edUser);
    form->addRow(tr("Пароль:"), edPassword);
    if (remember) {
        cbRemember = new QCheckBox(tr("Запомнить пароль в связке ключей"));
        cbRemember->setObjectName(QStringLiteral("cbRemember"));
        cbRemember->setChecked(*remember);
        form->addRow(cbRemember);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("ОК"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Покдключение: %1").arg(serverName)));
    layout->addLayout(form);
    layout->addWidget(buttons);
    (user.isEmpty() ? edUser : edPassword)->setFocus();
}

QString TLoginDialog::user() const {
    return edUser->text();
}
QString TLoginDialog::password() const {
    return edPassword->text();
}
bool TLoginDialog::remember() const {
    return cbRemember && cbRemember->isChecked();
}
