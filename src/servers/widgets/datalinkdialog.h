#pragma once
// Our own data-link dialog ("Свойства канала передачи данных"): edits an OLE DB
// connection string for SQL Server field by field. Items it does not show pass
// through unchanged.

#include "servers/datalinkstring.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TDropDownComboBox;

class TDataLinkDialog : public QDialog {
    Q_OBJECT
public:
    // What the dialog asks of a server, given the connection string to open. Both
    // throw EDbError with the driver's text.
    using TListDatabases = std::function<QStringList(const QString& AConnectionString)>;
    using TTestConnection = std::function<void(const QString& AConnectionString)>;

    explicit TDataLinkDialog(QWidget* parent = nullptr);

    // Shows the dialog for AConnectionString; on OK replaces it and returns true.
    static bool Execute(QWidget* parent, QString& AConnectionString);

    // Fills the fields; a string that cannot be read fills them as an empty one does.
    void setConnectionString(const QString& AConnectionString);
    // The string of the fields, the password only when saving it is allowed.
    QString connectionString() const;
    TDataLinkSettings settings() const;

    // The real ones open a TDbConnection; tests put their own server in place.
    static QStringList ListDatabases(const QString& AConnectionString);
    static void TestConnection(const QString& AConnectionString);
    void setServerAccess(TListDatabases AListDatabases, TTestConnection ATestConnection);

    QComboBox* const cbProvider;
    QLineEdit* const edServer;
    QRadioButton* const rbIntegrated;
    QRadioButton* const rbLogin;
    QLineEdit* const edUser;
    QLineEdit* const edPassword;
    QCheckBox* const chkBlankPassword;
    QCheckBox* const chkSavePassword;
    TDropDownComboBox* const cbDatabase;
    QSpinBox* const sbTimeout;
    QComboBox* const cbEncryption; // the provider's default, optional, mandatory
    QCheckBox* const chkTrustServerCertificate;
    QLineEdit* const edCAFile;
    QPushButton* const btnTestConnection;
    QPushButton* const btnOK;
    QPushButton* const btnCancel;

private:
    void buildLayout();
    void tuneControls();
    void cbDatabaseDropDown();
    void btnTestConnectionClick();
    // The string our own connections open: the password always included, as typed.
    QString connectString(bool withDatabase) const;

    QList<QString> FOtherItems;
    QString FListedFor; // the string the database list was fetched with
    TListDatabases FListDatabases;
    TTestConnection FTestConnection;
};
