#pragma once
// "Поключение": the name and OLE DB connection string of a server entry. Created once
// and reused: the server panel sets the caption and both texts, then calls exec().

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TConnectionForm : public QDialog {
    Q_OBJECT
public:
    explicit TConnectionForm(QWidget* parent = nullptr);

    QLabel* const lbName;
    QLineEdit* const edName;
    QLabel* const lbConnectionString;
    QLineEdit* const edConnectionString;
    QPushButton* const btnConnectionString;
    QPushButton* const btnOK;
    QPushButton* const btnCancel;

    void done(int r) override;

    // Set by the caller before a showing: a password in the string may go to the keyring
    // instead. After OK, whether the user chose that.
    bool KeyringOffered = false;
    bool PasswordToKeyring = false;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeControls();
    void FormCreate();
    void FormShow();
    void btnConnectionStringClick();
    bool FormCloseQuery(int result);
};
