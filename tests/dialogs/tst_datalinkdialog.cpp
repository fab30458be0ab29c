// Our data-link dialog: filled from a connection string, gives back the string of its
// fields, and asks the server for its databases and for a test connection.

#include "app/widgetprompts.h"
#include "database/dberror.h"
#include "scriptedprompts.h"
#include "servers/widgets/datalinkdialog.h"
#include "servers/widgets/dropdowncombobox.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace {

// Nothing listens there, so the driver refuses at once with its own text.
const QString kRefused = u"Provider=SQLOLEDB.1;Data Source=127.0.0.1,1;User ID=sa;"
                         u"Password=x;Connect Timeout=2"_s;

QStringList itemsOf(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

// Runs f on the data-link dialog once it is up as the modal window.
void onDialog(std::function<void(TDataLinkDialog*)> f) {
    QTimer::singleShot(0, qApp, [f] {
        auto* dialog = qobject_cast<TDataLinkDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        f(dialog);
    });
}

} // namespace

class TestDataLinkDialog : public QObject {
    Q_OBJECT
private slots:
    void prefill_data();
    void prefill();
    void roundTrip_data();
    void roundTrip();
    void unreadableStringOpensAsEmpty();
    void unknownProviderKept();
    void encryptionControls();
    void logonControls();
    void passwordOnlyWhenSaving_data();
    void passwordOnlyWhenSaving();
    void databaseListOnDemand();
    void databaseListFailure();
    void testConnection();
    void realServerAccessReportsDriverText_data();
    void realServerAccessReportsDriverText();
    void widgetPromptsRunTheDialog_data();
    void widgetPromptsRunTheDialog();
};

void TestDataLinkDialog::prefill_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("integrated");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("blank");
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("database");
    QTest::addColumn<int>("timeout");

    QTest::newRow("empty") << u""_s << u"SQLOLEDB.1"_s << u""_s << false << u""_s << u""_s << false
                           << false << u""_s << 15;
    QTest::newRow("login with saved password")
        << u"Provider=SQLNCLI11;Persist Security Info=True;User ID=sa;Password=secret;"
           u"Initial Catalog=master;Data Source=HOST\\INST;Connect Timeout=30"_s
        << u"SQLNCLI11"_s << u"HOST\\INST"_s << false << u"sa"_s << u"secret"_s << false << true
        << u"master"_s << 30;
    QTest::newRow("aliases, any case")
        << u"provider=msoledbsql;server=h,1433;database=db;user id=u"_s << u"MSOLEDBSQL"_s
        << u"h,1433"_s << false << u"u"_s << u""_s << false << false << u"db"_s << 15;
    QTest::newRow("integrated") << u"Integrated Security=SSPI;Address=h"_s << u"SQLOLEDB.1"_s
                                << u"h"_s << true << u""_s << u""_s << false << false << u""_s
                                << 15;
    QTest::newRow("blank password")
        << u"Data Source=h;User ID=u;Password=\"\""_s << u"SQLOLEDB.1"_s << u"h"_s << false
        << u"u"_s << u""_s << true << false << u""_s << 15;
}

void TestDataLinkDialog::prefill() {
    QFETCH(QString, text);
    QFETCH(QString, provider);
    QFETCH(QString, server);
    QFETCH(bool, integrated);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, blank);
    QFETCH(bool, save);
    QFETCH(QString, database);
    QFETCH(int, timeout);

    TDataLinkDialog dialog;
    dialog.setConnectionString(text);
    QCOMPARE(dialog.cbProvider->currentText(), provider);
    QCOMPARE(dialog.edServer->text(), server);
    QCOMPARE(dialog.rbIntegrated->isChecked(), integrated);
    QCOMPARE(dialog.rbLogin->isChecked(), !integrated);
    QCOMPARE(dialog.edUser->text(), user);
    QCOMPARE(dialog.edPassword->text(), password);
    QCOMPARE(dialog.chkBlankPassword->isChecked(), blank);
    QCOMPARE(dialog.chkSavePassword->isChecked(), save);
    QCOMPARE(dialog.cbDatabase->currentText(), database);
    QCOMPARE(dialog.sbTimeout->value(), timeout);
}

void TestDataLinkDialog::roundTrip_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("canonical string comes back as it was")
        << u"Provider=SQLNCLI11;Data Source=h\\i;Initial Catalog=db;User ID=sa;\"Password=a;b\";"
           u"Persist Security Info=True;Connect Timeout=7"_s
        << u"Provider=SQLNCLI11;Data Source=h\\i;Initial Catalog=db;User ID=sa;\"Password=a;b\";"
           u"Persist Security Info=True;Connect Timeout=7"_s;
    // Written back in the form the keyword look-up of connecting reads.
    QTest::newRow("a value quoted the providers' way is written as a quoted item")
        << u"Provider=SQLNCLI11;Data Source=h\\i;Initial Catalog=db;User ID=sa;Password=\"a;b\";"
           u"Persist Security Info=True;Connect Timeout=7"_s
        << u"Provider=SQLNCLI11;Data Source=h\\i;Initial Catalog=db;User ID=sa;\"Password=a;b\";"
           u"Persist Security Info=True;Connect Timeout=7"_s;
    QTest::newRow("keywords it does not show are kept unchanged")
        << u"Application Name=My App;Data Source=h;Integrated Security=SSPI;Packet Size=4096"_s
        << u"Provider=SQLOLEDB.1;Data Source=h;Integrated Security=SSPI;"
           u"Persist Security Info=False;Connect Timeout=15;Application Name=My App;"
           u"Packet Size=4096"_s;
    QTest::newRow("empty string gets the defaults")
        << u""_s << u"Provider=SQLOLEDB.1;Persist Security Info=False;Connect Timeout=15"_s;
}

void TestDataLinkDialog::roundTrip() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    TDataLinkDialog dialog;
    dialog.setConnectionString(text);
    QCOMPARE(dialog.connectionString(), expected);
}

void TestDataLinkDialog::unreadableStringOpensAsEmpty() {
    TDataLinkDialog dialog;
    dialog.setConnectionString(u"Data Source=h;Application Name=x;User ID=u"_s);
    // Reused: a string that cannot be read leaves nothing of the one before.
    dialog.setConnectionString(u"Data Source=h;garbage;User ID=\"unclosed"_s);
    QCOMPARE(dialog.edServer->text(), u""_s);
    QCOMPARE(dialog.edUser->text(), u""_s);
    QCOMPARE(dialog.connectionString(),
             u"Provider=SQLOLEDB.1;Persist Security Info=False;Connect Timeout=15"_s);
}

void TestDataLinkDialog::unknownProviderKept() {
    TDataLinkDialog dialog;
    QCOMPARE(itemsOf(dialog.cbProvider),
             (QStringList{u"SQLOLEDB.1"_s, u"SQLNCLI11"_s, u"MSOLEDBSQL"_s, u"MSOLEDBSQL19"_s}));
    dialog.setConnectionString(u"Provider=SQLNCLI10;Data Source=h"_s);
    QCOMPARE(dialog.cbProvider->currentText(), u"SQLNCLI10"_s);
    QVERIFY(dialog.connectionString().startsWith(u"Provider=SQLNCLI10;"_s));
}

// The certificate choices matter only where the whole connection is encrypted: with
// "Mandatory", or with a provider that encrypts by default.
void TestDataLinkDialog::encryptionControls() {
    TDataLinkDialog dialog;
    dialog.setConnectionString(u"Provider=SQLOLEDB.1;Data Source=h"_s);
    QCOMPARE(dialog.cbEncryption->currentIndex(), 0);
    QVERIFY(!dialog.chkTrustServerCertificate->isEnabled());
    QVERIFY(!dialog.edCAFile->isEnabled());
    dialog.cbEncryption->setCurrentIndex(2); // mandatory
    QVERIFY(dialog.chkTrustServerCertificate->isEnabled());
    QVERIFY(dialog.edCAFile->isEnabled());
    dialog.edCAFile->setText(u"/etc/ssl/our-ca.pem"_s);
    QVERIFY(dialog.connectionString().endsWith(
        u";Use Encryption for Data=Mandatory;CAFile=/etc/ssl/our-ca.pem"_s));
    dialog.chkTrustServerCertificate->setChecked(true);
    QVERIFY(!dialog.edCAFile->isEnabled());
    dialog.cbEncryption->setCurrentIndex(0);
    dialog.cbProvider->setCurrentText(u"MSOLEDBSQL19"_s);
    QVERIFY(dialog.chkTrustServerCertificate->isEnabled());
    dialog.setConnectionString(u"Provider=SQLOLEDB.1;Data Source=h;Use Encryption for Data=True;"
                               u"Trust Server Certificate=True"_s);
    QCOMPARE(dialog.cbEncryption->currentIndex(), 2);
    QVERIFY(dialog.chkTrustServerCertificate->isChecked());
    QVERIFY(dialog.connectionString().endsWith(
        u";Use Encryption for Data=Mandatory;Trust Server Certificate=True"_s));
    // TDS 8.0 always checks the certificate: trusting it is not offered, the authorities are.
    dialog.cbEncryption->setCurrentIndex(3);
    QVERIFY(!dialog.chkTrustServerCertificate->isEnabled());
    QVERIFY(dialog.edCAFile->isEnabled());
    QVERIFY(dialog.connectionString().contains(u";Use Encryption for Data=Strict"_s));
}

void TestDataLinkDialog::logonControls() {
    TDataLinkDialog dialog;
    dialog.setConnectionString(u"Data Source=h;User ID=u;Password=p"_s);
    QVERIFY(dialog.edUser->isEnabled());
    QVERIFY(dialog.edPassword->isEnabled());

    dialog.chkBlankPassword->setChecked(true);
    QVERIFY(!dialog.edPassword->isEnabled());
    QCOMPARE(dialog.connectionString(),
             u"Provider=SQLOLEDB.1;Data Source=h;User ID=u;Password=\"\";"
             u"Persist Security Info=True;Connect Timeout=15"_s);
    dialog.chkBlankPassword->setChecked(false);
    QVERIFY(dialog.edPassword->isEnabled());

    dialog.rbIntegrated->setChecked(true);
    for (QWidget* w : std::initializer_list<QWidget*>{
             dialog.edUser, dialog.edPassword, dialog.chkBlankPassword, dialog.chkSavePassword})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QCOMPARE(dialog.connectionString(),
             u"Provider=SQLOLEDB.1;Data Source=h;Integrated Security=SSPI;"
             u"Persist Security Info=True;Connect Timeout=15"_s);

    dialog.rbLogin->setChecked(true);
    QVERIFY(dialog.edUser->isEnabled());
    QCOMPARE(dialog.edUser->text(), u"u"_s);
}

void TestDataLinkDialog::passwordOnlyWhenSaving_data() {
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("expected");

    QTest::newRow("saving allowed") << true
                                    << u"Provider=SQLOLEDB.1;Data Source=srv;User ID=sa;"
                                       u"Password=typed;Persist Security Info=True;"
                                       u"Connect Timeout=15"_s;
    QTest::newRow("saving not allowed") << false
                                        << u"Provider=SQLOLEDB.1;Data Source=srv;User ID=sa;"
                                           u"Persist Security Info=False;Connect Timeout=15"_s;
}

void TestDataLinkDialog::passwordOnlyWhenSaving() {
    QFETCH(bool, save);
    QFETCH(QString, expected);

    TDataLinkDialog dialog;
    dialog.show();
    QTest::keyClicks(dialog.edServer, u"srv"_s);
    QTest::keyClicks(dialog.edUser, u"sa"_s);
    QTest::keyClicks(dialog.edPassword, u"typed"_s);
    dialog.chkSavePassword->setChecked(save);
    QCOMPARE(dialog.connectionString(), expected);
}

void TestDataLinkDialog::databaseListOnDemand() {
    TScriptedPrompts prompts;
    TDataLinkDialog dialog;
    QStringList asked;
    dialog.setServerAccess(
        [&asked](const QString& s) {
            asked << s;
            return QStringList{u"master"_s, u"model"_s, u"Sales"_s};
        },
        [](const QString&) {});
    dialog.setConnectionString(u"Data Source=h;User ID=sa;Password=pw;Initial Catalog=Sal"_s);
    dialog.chkSavePassword->setChecked(false);
    dialog.show();
    QVERIFY(asked.isEmpty()); // nothing is fetched before the list is opened

    dialog.cbDatabase->showPopup();
    dialog.cbDatabase->hidePopup();
    QCOMPARE(asked.size(), 1);
    // Our own connection gets the password even when the result will not keep it, and
    // no database that might not exist.
    QCOMPARE(asked[0], u"Provider=SQLOLEDB.1;Data Source=h;User ID=sa;Password=pw;"
                       u"Persist Security Info=True;Connect Timeout=15"_s);
    QCOMPARE(itemsOf(dialog.cbDatabase), (QStringList{u"master"_s, u"model"_s, u"Sales"_s}));
    QCOMPARE(dialog.cbDatabase->currentText(), u"Sal"_s); // what was typed stays

    // The same server again: the list is not fetched twice.
    dialog.cbDatabase->showPopup();
    dialog.cbDatabase->hidePopup();
    QCOMPARE(asked.size(), 1);

    // Another server: fetched anew.
    dialog.edServer->setText(u"other"_s);
    dialog.cbDatabase->showPopup();
    dialog.cbDatabase->hidePopup();
    QCOMPARE(asked.size(), 2);
    QVERIFY(asked[1].contains(u"Data Source=other;"_s));
    QVERIFY(prompts.messages.isEmpty());
}

void TestDataLinkDialog::databaseListFailure() {
    TScriptedPrompts prompts;
    TDataLinkDialog dialog;
    int calls = 0;
    bool fail = false;
    dialog.setServerAccess(
        [&](const QString&) -> QStringList {
            ++calls;
            if (fail)
                throw EDbError(u"Login failed for user 'sa'."_s);
            return {u"master"_s};
        },
        [](const QString&) {});
    dialog.setConnectionString(u"Data Source=h;User ID=sa;Password=pw"_s);
    dialog.show();

    dialog.cbDatabase->showPopup();
    dialog.cbDatabase->hidePopup();
    QCOMPARE(itemsOf(dialog.cbDatabase), QStringList{u"master"_s});

    fail = true;
    dialog.edPassword->setText(u"wrong"_s);
    dialog.cbDatabase->showPopup();
    dialog.cbDatabase->hidePopup();
    QCOMPARE(prompts.messages.size(), 1);
    QCOMPARE(prompts.messages[0].text, u"Login failed for user 'sa'."_s);
    QCOMPARE(prompts.messages[0].caption, u"Ошибка"_s);
    QCOMPARE(prompts.messages[0].icon, TMsgIcon::Error);
    QCOMPARE(itemsOf(dialog.cbDatabase), QStringList{u"master"_s}); // the old list stays

    // A failed fetch is tried again at the next opening.
    dialog.cbDatabase->showPopup();
    dialog.cbDatabase->hidePopup();
    QCOMPARE(calls, 3);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestDataLinkDialog::testConnection() {
    TScriptedPrompts prompts;
    TDataLinkDialog dialog;
    QStringList tested;
    QString failure;
    dialog.setServerAccess([](const QString&) { return QStringList{}; },
                           [&](const QString& s) {
                               tested << s;
                               if (!failure.isEmpty())
                                   throw EDbError(failure);
                           });
    dialog.setConnectionString(u"Data Source=h;User ID=sa;Password=pw;Initial Catalog=db"_s);
    dialog.chkSavePassword->setChecked(false);
    dialog.show();

    QTest::mouseClick(dialog.btnTestConnection, Qt::LeftButton);
    QCOMPARE(tested.size(), 1);
    QCOMPARE(tested[0], u"Provider=SQLOLEDB.1;Data Source=h;Initial Catalog=db;User ID=sa;"
                        u"Password=pw;Persist Security Info=True;Connect Timeout=15"_s);
    QCOMPARE(prompts.messages.size(), 1);
    QCOMPARE(prompts.messages[0].text, u"Проверка подключения выполнена успешно."_s);
    QCOMPARE(prompts.messages[0].caption, u"Проверка подключения"_s);
    QCOMPARE(prompts.messages[0].icon, TMsgIcon::Information);

    failure = u"Unable to connect: Adaptive Server is unavailable or does not exist"_s;
    QTest::mouseClick(dialog.btnTestConnection, Qt::LeftButton);
    QCOMPARE(prompts.messages.size(), 2);
    QCOMPARE(prompts.messages[1].text, failure);
    QCOMPARE(prompts.messages[1].caption, u"Ошибка"_s);
    QCOMPARE(prompts.messages[1].icon, TMsgIcon::Error);
    QVERIFY(dialog.isVisible()); // testing never closes the dialog
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestDataLinkDialog::realServerAccessReportsDriverText_data() {
    QTest::addColumn<bool>("listing");
    QTest::newRow("database list") << true;
    QTest::newRow("test connection") << false;
}

void TestDataLinkDialog::realServerAccessReportsDriverText() {
    QFETCH(bool, listing);
    TScriptedPrompts prompts;
    TDataLinkDialog dialog;
    dialog.setConnectionString(kRefused);
    dialog.show();
    if (listing) {
        dialog.cbDatabase->showPopup();
        dialog.cbDatabase->hidePopup();
    } else {
        dialog.btnTestConnection->click();
    }
    QCOMPARE(prompts.messages.size(), 1);
    QCOMPARE(prompts.messages[0].caption, u"Ошибка"_s);
    QVERIFY2(prompts.messages[0].text.contains(u"FreeTDS"_s), qPrintable(prompts.messages[0].text));
    QCOMPARE(dialog.cbDatabase->count(), 0);
}

void TestDataLinkDialog::widgetPromptsRunTheDialog_data() {
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("expected");

    QTest::newRow("OK returns the edited string")
        << true
        << u"Provider=SQLOLEDB.1;Data Source=new;User ID=sa;Persist Security Info=False;"
           u"Connect Timeout=15;Application Name=x"_s;
    QTest::newRow("Cancel leaves the string") << false
                                              << u"Data Source=old;User ID=sa;"
                                                 u"Application Name=x"_s;
}

void TestDataLinkDialog::widgetPromptsRunTheDialog() {
    QFETCH(bool, confirm);
    QFETCH(QString, expected);

    TWidgetPrompts prompts;
    QWidget owner;
    owner.show();
    QString s = u"Data Source=old;User ID=sa;Application Name=x"_s;
    QPointer<QWidget> seenParent;
    onDialog([&](TDataLinkDialog* d) {
        seenParent = d->parentWidget();
        QCOMPARE(d->edServer->text(), u"old"_s);
        d->edServer->setText(u"new"_s);
        (confirm ? d->btnOK : d->btnCancel)->click();
    });
    QCOMPARE(prompts.dataLink(&owner, s), confirm);
    QCOMPARE(seenParent.data(), &owner);
    QCOMPARE(s, expected);
}

QTEST_MAIN(TestDataLinkDialog)
#include "tst_datalinkdialog.moc"
