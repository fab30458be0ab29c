#include "servers/widgets/datalinkdialog.h"

#include "database/dbconnection.h"
#include "database/dberror.h"
#include "database/oledbtranslator.h"
#include "prompts/prompts.h"
#include "servers/widgets/dropdowncombobox.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace {

const char* const kProviders[] = {"SQLOLEDB.1", "SQLNCLI11", "MSOLEDBSQL", "MSOLEDBSQL19"};

// A server round trip blocks the dialog for up to the connect timeout.
class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

template <class T> T* named(T* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

} // namespace

TDataLinkDialog::TDataLinkDialog(QWidget* parent)
    : QDialog(parent), cbProvider(named(new QComboBox, u"cbProvider"_s)),
      edServer(named(new QLineEdit, u"edServer"_s)),
      rbIntegrated(
          named(new QRadioButton(tr("Встроенная безопасность Windows")), u"rbIntegrated"_s)),
      rbLogin(named(new QRadioButton(tr("Имя пользователя и пароль:")), u"rbLogin"_s)),
      edUser(named(new QLineEdit, u"edUser"_s)), edPassword(named(new QLineEdit, u"edPassword"_s)),
      chkBlankPassword(named(new QCheckBox(tr("Пустой пароль")), u"chkBlankPassword"_s)),
      chkSavePassword(
          named(new QCheckBox(tr("Разрешить сохранение пароля")), u"chkSavePassword"_s)),
      cbDatabase(named(new TDropDownComboBox, u"cbDatabase"_s)),
      sbTimeout(named(new QSpinBox, u"sbTimeout"_s)),
      cbEncryption(named(new QComboBox, u"cbEncryption"_s)),
      chkTrustServerCertificate(
          named(new QCheckBox(tr("Доверять сертификату сервера")), u"chkTrustServerCertificate"_s)),
      edCAFile(named(new QLineEdit, u"edCAFile"_s)),
      btnTestConnection(
          named(new QPushButton(tr("Проверить подключение")), u"btnTestConnection"_s)),
      btnOK(named(new QPushButton(tr("ОК")), u"btnOK"_s)),
      btnCancel(named(new QPushButton(tr("Отмена")), u"btnCancel"_s)),
      FListDatabases(&TDataLinkDialog::ListDatabases),
      FTestConnection(&TDataLinkDialog::TestConnection) {
    setWindowTitle(tr("Свойства канала передачи данных"));
    for (const char* provider : kProviders)
        cbProvider->addItem(QLatin1String(provider));
    edServer->setPlaceholderText(tr("имя, имя\\экземпляр или имя,порт"));
    edPassword->setEchoMode(QLineEdit::Password);
    cbDatabase->setEditable(true);
    cbDatabase->setInsertPolicy(QComboBox::NoInsert);
    sbTimeout->setRange(0, 3600);
    // In the order of TDataLinkSettings::TEncryption.
    cbEncryption->addItems({tr("Как принято у поставщика"), tr("Необязательно"), tr("Обязательно"),
                            tr("Строго (TDS 8.0)")});
    edCAFile->setPlaceholderText(tr("системное хранилище сертификатов"));
    btnOK->setDefault(true);
    buildLayout();

    connect(rbIntegrated, &QRadioButton::toggled, this, &TDataLinkDialog::tuneControls);
    connect(chkBlankPassword, &QCheckBox::toggled, this, &TDataLinkDialog::tuneControls);
    connect(cbEncryption, &QComboBox::currentIndexChanged, this, &TDataLinkDialog::tuneControls);
    connect(cbProvider, &QComboBox::currentIndexChanged, this, &TDataLinkDialog::tuneControls);
    connect(chkTrustServerCertificate, &QCheckBox::toggled, this, &TDataLinkDialog::tuneControls);
    connect(cbDatabase, &TDropDownComboBox::dropDown, this, &TDataLinkDialog::cbDatabaseDropDown);
    connect(btnTestConnection, &QPushButton::clicked, this,
            &TDataLinkDialog::btnTestConnectionClick);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    setConnectionString(QString());
}

void TDataLinkDialog::buildLayout() {
    auto* logon = new QGroupBox(tr("Вход на сервер"));
    auto* credentials = new QFormLayout;
    credentials->setContentsMargins(24, 0, 0, 0);
    credentials->addRow(tr("Пользователь:"), edUser);
    credentials->addRow(tr("Пароль:"), edPassword);
    auto* checks = new QHBoxLayout;
    checks->addWidget(chkBlankPassword);
    checks->addWidget(chkSavePassword);
    checks->addStretch();
    credentials->addRow(checks);
    auto* logonLayout = new QVBoxLayout(logon);
    logonLayout->addWidget(rbIntegrated);
    logonLayout->addWidget(rbLogin);
    logonLayout->addLayout(credentials);

    auto* form = new QFormLayout;
    form->addRow(tr("Поставщик:"), cbProvider);
    form->addRow(tr("Имя сервера:"), edServer);
    form->addRow(logon);
    form->addRow(tr("База данных:"), cbDatabase);
    form->addRow(tr("Время ожидания подключения, с:"), sbTimeout);

    auto* security = new QGroupBox(tr("Шифрование"));
    auto* securityForm = new QFormLayout(security);
    securityForm->addRow(tr("Шифровать данные:"), cbEncryption);
    securityForm->addRow(chkTrustServerCertificate);
    securityForm->addRow(tr("Центры сертификации:"), edCAFile);
    form->addRow(security);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnTestConnection);
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch();
    layout->addLayout(buttons);
    setMinimumWidth(420);
}

bool TDataLinkDialog::Execute(QWidget* parent, QString& AConnectionString) {
    TDataLinkDialog dialog(parent);
    dialog.setConnectionString(AConnectionString);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    AConnectionString = dialog.connectionString();
    return true;
}

void TDataLinkDialog::setConnectionString(const QString& AConnectionString) {
    const TDataLinkSettings s =
        ParseDataLinkString(AConnectionString).value_or(TDataLinkSettings{});
    const QString provider = s.provider.isEmpty() ? TDataLinkSettings{}.provider : s.provider;
    int index = cbProvider->findText(provider, Qt::MatchFixedString);
    if (index < 0) {
        // A provider of another version keeps its name; the list only offers ours.
        cbProvider->addItem(provider);
        index = cbProvider->count() - 1;
    }
    cbProvider->setCurrentIndex(index);
    edServer->setText(s.server);
    (s.integratedSecurity ? rbIntegrated : rbLogin)->setChecked(true);
    edUser->setText(s.user);
    edPassword->setText(s.password);
    chkBlankPassword->setChecked(s.blankPassword);
    chkSavePassword->setChecked(s.savePassword);
    cbDatabase->clear();
    cbDatabase->setEditText(s.database);
    sbTimeout->setValue(s.connectTimeout);
    cbEncryption->setCurrentIndex(static_cast<int>(s.encryption));
    chkTrustServerCertificate->setChecked(s.trustServerCertificate);
    edCAFile->setText(s.caFile);
    FOtherItems = s.otherItems;
    FListedFor.clear();
    tuneControls();
}

TDataLinkSettings TDataLinkDialog::settings() const {
    TDataLinkSettings s;
    s.provider = cbProvider->currentText();
    s.server = edServer->text().trimmed();
    s.integratedSecurity = rbIntegrated->isChecked();
    s.user = edUser->text();
    s.password = edPassword->text();
    s.blankPassword = chkBlankPassword->isChecked();
    s.savePassword = chkSavePassword->isChecked();
    s.database = cbDatabase->currentText().trimmed();
    s.connectTimeout = sbTimeout->value();
    s.encryption = static_cast<TDataLinkSettings::TEncryption>(cbEncryption->currentIndex());
    s.trustServerCertificate = chkTrustServerCertificate->isChecked();
    s.caFile = edCAFile->text().trimmed();
    s.otherItems = FOtherItems;
    return s;
}

QString TDataLinkDialog::connectionString() const {
    return BuildDataLinkString(settings());
}

QString TDataLinkDialog::connectString(bool withDatabase) const {
    TDataLinkSettings s = settings();
    s.savePassword = true;
    if (!withDatabase)
        s.database.clear(); // a database that does not exist must not fail the listing
    return BuildDataLinkString(s);
}

void TDataLinkDialog::tuneControls() {
    const bool login = !rbIntegrated->isChecked();
    edUser->setEnabled(login);
    edPassword->setEnabled(login && !chkBlankPassword->isChecked());
    chkBlankPassword->setEnabled(login);
    chkSavePassword->setEnabled(login);
    // The certificate is checked only where the whole connection is encrypted, and always
    // with TDS 8.0, which trusts no certificate unchecked.
    const auto encryption =
        static_cast<TDataLinkSettings::TEncryption>(cbEncryption->currentIndex());
    const bool strict = encryption == TDataLinkSettings::TEncryption::Strict;
    const bool encrypted = strict || encryption == TDataLinkSettings::TEncryption::Mandatory ||
                           (encryption == TDataLinkSettings::TEncryption::ProviderDefault &&
                            ProviderEncryptsByDefault(cbProvider->currentText()));
    chkTrustServerCertificate->setEnabled(encrypted && !strict);
    edCAFile->setEnabled(encrypted && (strict || !chkTrustServerCertificate->isChecked()));
}

void TDataLinkDialog::setServerAccess(TListDatabases AListDatabases,
                                      TTestConnection ATestConnection) {
    FListDatabases = std::move(AListDatabases);
    FTestConnection = std::move(ATestConnection);
    FListedFor.clear();
}

void TDataLinkDialog::cbDatabaseDropDown() {
    const QString s = connectString(false);
    if (s == FListedFor)
        return; // the list is that server's already
    QStringList names;
    try {
        TWaitCursor wait;
        names = FListDatabases(s);
    } catch (const EDbError& e) {
        ShowError(e.message());
        return;
    }
    const QString typed = cbDatabase->currentText();
    cbDatabase->clear();
    cbDatabase->addItems(names);
    cbDatabase->setEditText(typed);
    FListedFor = s;
}

void TDataLinkDialog::btnTestConnectionClick() {
    try {
        TWaitCursor wait;
        FTestConnection(connectString(true));
    } catch (const EDbError& e) {
        ShowError(e.message());
        return;
    }
    ShowMessage(tr("Проверка подключения выполнена успешно."), tr("Проверка подключения"),
                TMsgIcon::Information);
}

QStringList TDataLinkDialog::ListDatabases(const QString& AConnectionString) {
    TDbConnection connection;
    connection.setConnectionString(AConnectionString);
    connection.open();
    TDbRecordset rs = connection.execute(u"select name from sys.databases order by name"_s);
    QStringList names;
    for (; !rs.eof(); rs.moveNext())
        names << rs.field(0).asString();
    return names;
}

void TDataLinkDialog::TestConnection(const QString& AConnectionString) {
    TDbConnection connection;
    connection.setConnectionString(AConnectionString);
    connection.open();
}
