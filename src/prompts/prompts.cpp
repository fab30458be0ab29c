#include "prompts/prompts.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

// Before the GUI installs its dialogs (and in tools without windows) nothing can be
// asked: questions are declined and messages go to stderr.
class TNoPrompts : public TPrompts {
public:
    TMsgResult message(const TMessage& m) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(m.caption), qPrintable(m.text));
        return m.buttons == TMsgButtons::OK ? TMsgResult::OK : TMsgResult::No;
    }
    bool login(const QString&, QString&, QString&, bool*) override { return false; }
    bool dataLink(QWidget*, QString&) override { return false; }
    bool connection(const QString&, QString&, QString&, bool*) override { return false; }
    QString openFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString saveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
};

TNoPrompts noPrompts;
TPrompts* current = &noPrompts;

} // namespace

TPrompts& Prompts() {
    return *current;
}

void SetPrompts(TPrompts* prompts) {
    current = prompts ? prompts : &noPrompts;
}

TMsgResult ShowMessage(const QString& text, const QString& caption, TMsgIcon icon,
                       TMsgButtons buttons, TMsgResult defaultButton) {
    return Prompts().message(TMessage{text, caption, icon, buttons, defaultButton});
}

void ShowError(const QString& text) {
    ShowMessage(text, QCoreApplication::translate("Prompts", "Ошибка"), TMsgIcon::Error);
}
