#pragma once
// "Авторизация": asks for a user name and password for one open of a server entry, and
// may offer to keep the password in the keyring for the opens after it.

#include <QDialog>

class QCheckBox;
class QLineEdit;

class TLoginDialog : public QDialog {
    Q_OBJECT
public:
    // remember: where not null, a box offers to keep the password in the keyring,
    // checked as *remember is.
    TLoginDialog(const QString& serverName, const QString& user, const bool* remember = nullptr,
                 QWidget* parent = nullptr);
    QString user() const;
    QString password() const;
    bool remember() const; // false where the box is not offered

private:
    QLineEdit* edUser;
    QLineEdit* edPassword;
    QCheckBox* cbRemember = nullptr;
};
