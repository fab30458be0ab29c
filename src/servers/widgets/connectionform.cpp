#include "servers/widgets/connectionform.h"

#include "prompts/prompts.h"
#include "servers/connectionstring.h"
#include "servers/passwordplacement.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

using namespace Qt::Literals::StringLiterals;

namespace {

const QSize kDesignSize(376, 146);

// Where the controls sit at the design width; the anchoring keeps the right-hand
// distances as the dialog widens.
const QRect kNameLabel(16, 12, 345, 14);
const QRect kName(16, 28, 345, 21);
const QRect kStringLabel(16, 56, 318, 14);
const QRect kString(16, 72, 318, 21);
const QRect kStringButton(335, 71, 26, 23);
const QRect kOK(205, 109, 75, 25);
const QRect kCancel(286, 109, 75, 25);

QFont tahoma(int pixels) {
    QFont font(u"Tahoma"_s);
    font.setPixelSize(pixels);
    return font;
}

template <class T> T* named(T* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

} // namespace

TConnectionForm::TConnectionForm(QWidget* parent)
    : QDialog(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      lbName(named(new QLabel(tr("Наименование подключения"), this), u"lbName"_s)),
      edName(named(new QLineEdit(this), u"edName"_s)),
      lbConnectionString(
          named(new QLabel(tr("Строка подключения"), this), u"lbConnectionString"_s)),
      edConnectionString(named(new QLineEdit(this), u"edConnectionString"_s)),
      btnConnectionString(named(new QPushButton(u"..."_s, this), u"btnConnectionString"_s)),
      btnOK(named(new QPushButton(tr("ОК"), this), u"btnOK"_s)),
      btnCancel(named(new QPushButton(tr("Отмена"), this), u"btnCancel"_s)) {
    setWindowTitle(tr("Поключение"));
    setFont(tahoma(11));
    btnConnectionString->setFont(tahoma(16));
    btnConnectionString->setAutoDefault(false);
    btnOK->setDefault(true);
    lbName->setBuddy(edName);
    lbConnectionString->setBuddy(edConnectionString);

    setTabOrder(edName, edConnectionString);
    setTabOrder(edConnectionString, btnConnectionString);
    setTabOrder(btnConnectionString, btnOK);
    setTabOrder(btnOK, btnCancel);

    connect(btnConnectionString, &QPushButton::clicked, this,
            &TConnectionForm::btnConnectionStringClick);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    resize(kDesignSize);
    placeControls();
    FormCreate();
}

void TConnectionForm::FormCreate() {
    // Only ever wider: the height is fixed and the design width is the least.
    setMinimumHeight(height());
    setMaximumHeight(height());
    setMinimumWidth(width());
}

void TConnectionForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    placeControls();
}

void TConnectionForm::placeControls() {
    const int grow = width() - kDesignSize.width();
    auto stretch = [grow](QWidget* w, const QRect& r) {
        w->setGeometry(r.x(), r.y(), r.width() + grow, r.height());
    };
    auto keepRight = [grow](QWidget* w, const QRect& r) { w->setGeometry(r.translated(grow, 0)); };
    stretch(lbName, kNameLabel);
    stretch(edName, kName);
    stretch(lbConnectionString, kStringLabel);
    stretch(edConnectionString, kString);
    keepRight(btnConnectionString, kStringButton);
    keepRight(btnOK, kOK);
    keepRight(btnCancel, kCancel);
}

void TConnectionForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // the window system's own notice of a window shown already
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - frameGeometry().center() + pos());
    FormShow();
}

void TConnectionForm::FormShow() {
    if (!edConnectionString->text().isEmpty())
        return;
    // Nothing to edit yet: go straight to the data link dialog, and name the entry
    // after the server it chose unless a name is given.
    btnConnectionStringClick();
    if (edName->text().isEmpty())
        edName->setText(GetConnectionStringValue(edConnectionString->text(), u"Data Source"_s));
}

void TConnectionForm::btnConnectionStringClick() {
    QString s = edConnectionString->text();
    if (Prompts().dataLink(this, s))
        edConnectionString->setText(s);
}

bool TConnectionForm::FormCloseQuery(int result) {
    PasswordToKeyring = false;
    if (result != QDialog::Accepted)
        return true;
    const QString text = edConnectionString->text();
    if (!HoldsPassword(text))
        return true;
    // Where a keyring can take the password, the settings file need not hold it; a string
    // that cannot be read gives no password to move.
    if (KeyringOffered && !PasswordInString(text).isEmpty() &&
        ShowMessage(tr("Сохранить пароль в связке ключей, а не в строке подключения?"), u"Dervel"_s,
                    TMsgIcon::Question, TMsgButtons::YesNo, TMsgResult::Yes) == TMsgResult::Yes) {
        PasswordToKeyring = true;
        return true;
    }
    // The string is stored as it stands, password and all.
    return ShowMessage(tr("Внимание! Пароль будет сохранён в открытом виде. Продолжить?"),
                       u"Dervel"_s, TMsgIcon::Warning, TMsgButtons::YesNo,
                       TMsgResult::No) == TMsgResult::Yes;
}

void TConnectionForm::done(int r) {
    if (FormCloseQuery(r))
        QDialog::done(r);
}
