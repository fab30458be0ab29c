#pragma once
// "Авторизация": asks for a user name and password for one open of a server entry.

#include <QDialog>

class QLineEdit;

class TLoginDialog : public QDialog {
    Q_OBJECT
public:
    TLoginDialog(const QString& serverName, const QString& user, QWidget* parent = nullptr);
    QString user() const;
    QString password() const;

private:
    QLineEdit* edUser;
    QLineEdit* edPassword;
};
