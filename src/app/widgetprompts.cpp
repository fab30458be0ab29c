#include "app/widgetprompts.h"

#include "servers/widgets/connectionform.h"
#include "servers/widgets/datalinkdialog.h"
#include "servers/widgets/logindialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace {

QMessageBox::Icon toIcon(TMsgIcon icon) {
    switch (icon) {
    case TMsgIcon::Error:
        return QMessageBox::Critical;
    case TMsgIcon::Warning:
        return QMessageBox::Warning;
    case TMsgIcon::Question:
        return QMessageBox::Question;
    case TMsgIcon::Information:
        break;
    }
    return QMessageBox::Information;
}

} // namespace

TMsgResult TWidgetPrompts::message(const TMessage& m) {
    QMessageBox box(toIcon(m.icon), m.caption, m.text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    if (m.buttons == TMsgButtons::OK) {
        box.setStandardButtons(QMessageBox::Ok);
    } else {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(m.defaultButton == TMsgResult::Yes ? QMessageBox::Yes
                                                                : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return TMsgResult::Yes;
    case QMessageBox::No:
        return TMsgResult::No;
    case QMessageBox::Ok:
        return TMsgResult::OK;
    default:
        return TMsgResult::Cancel;
    }
}

bool TWidgetPrompts::login(const QString& serverName, QString& user, QString& password,
                           bool* remember) {
    TLoginDialog dialog(serverName, user, remember, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    user = dialog.user();
    password = dialog.password();
    if (remember)
        *remember = dialog.remember();
    return true;
}

TWidgetPrompts::TWidgetPrompts() : FConnectionForm(std::make_unique<TConnectionForm>()) {}

TWidgetPrompts::~TWidgetPrompts() = default;

bool TWidgetPrompts::connection(const QString& caption, QString& name, QString& connectionString,
                                bool* toKeyring) {
    TConnectionForm& form = *FConnectionForm;
    form.setWindowTitle(caption);
    form.edName->setText(name);
    form.edConnectionString->setText(connectionString);
    form.KeyringOffered = toKeyring != nullptr;
    if (form.exec() != QDialog::Accepted)
        return false;
    name = form.edName->text();
    connectionString = form.edConnectionString->text();
    if (toKeyring)
        *toKeyring = form.PasswordToKeyring;
    return true;
}

bool TWidgetPrompts::dataLink(QWidget* parent, QString& connectionString) {
    return TDataLinkDialog::Execute(parent, connectionString);
}

QString TWidgetPrompts::openFile(QWidget* parent, const QString& caption, const QString& folder,
                                 const QString& filter) {
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString TWidgetPrompts::saveFile(QWidget* parent, const QString& caption, const QString& path,
                                 const QString& filter) {
    return QFileDialog::getSaveFileName(parent, caption, path, filter);
}
