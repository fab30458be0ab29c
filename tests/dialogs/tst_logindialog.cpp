// The login dialog "Авторизация": the keyring box appears only where it is offered,
// starts as the caller says and reports what the user left in it.

#include "servers/widgets/logindialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestLoginDialog : public QObject {
    Q_OBJECT
private slots:
    void rememberBox_data();
    void rememberBox();
};

void TestLoginDialog::rememberBox_data() {
    QTest::addColumn<bool>("offered");
    QTest::addColumn<bool>("checked");  // as the caller offers it
    QTest::addColumn<bool>("click");    // the user clicks the box
    QTest::addColumn<bool>("remember"); // what the dialog reports

    QTest::newRow("not offered: no box, nothing kept") << false << false << false << false;
    QTest::newRow("offered unchecked, left alone") << true << false << false << false;
    QTest::newRow("offered unchecked, clicked") << true << false << true << true;
    QTest::newRow("offered checked (a refused stored password), left alone")
        << true << true << false << true;
    QTest::newRow("offered checked, clicked off") << true << true << true << false;
}

void TestLoginDialog::rememberBox() {
    QFETCH(bool, offered);
    QFETCH(bool, checked);
    QFETCH(bool, click);
    QFETCH(bool, remember);

    TLoginDialog dialog(u"Srv"_s, u"sa"_s, offered ? &checked : nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // The password field has the focus when the user is given.
    auto* password = dialog.findChild<QLineEdit*>(u"edPassword"_s);
    QTRY_VERIFY(password->hasFocus());
    QTest::keyClicks(password, u"Dervel-2026"_s);
    auto* box = dialog.findChild<QCheckBox*>(u"cbRemember"_s);
    QCOMPARE(box != nullptr, offered);
    if (box) {
        QVERIFY(box->isVisible());
        QCOMPARE(box->isChecked(), checked);
        if (click)
            QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    }
    QTest::keyClick(box ? static_cast<QWidget*>(box) : password, Qt::Key_Return);
    QTRY_VERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.password(), u"Dervel-2026"_s);
    QCOMPARE(dialog.remember(), remember);
}

QTEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
