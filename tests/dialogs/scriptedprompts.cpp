#include "scriptedprompts.h"

TScriptedPrompts::TScriptedPrompts() {
    SetPrompts(this);
}

TScriptedPrompts::~TScriptedPrompts() {
    SetPrompts(nullptr);
}

TMsgResult TScriptedPrompts::message(const TMessage& m) {
    messages << m;
    if (m.buttons == TMsgButtons::OK)
        return TMsgResult::OK;
    if (messageAnswers.isEmpty()) {
        ++unanswered;
        return TMsgResult::No;
    }
    return messageAnswers.takeFirst();
}

bool TScriptedPrompts::login(const QString& serverName, QString&, QString&) {
    loginCalls << serverName;
    ++unanswered;
    return false;
}

bool TScriptedPrompts::dataLink(QWidget* parent, QString& connectionString) {
    dataLinkCalls << TDataLinkCall{parent, connectionString};
    if (dataLinkAnswers.isEmpty()) {
        ++unanswered;
        return false;
    }
    const TDataLinkAnswer answer = dataLinkAnswers.takeFirst();
    if (answer.accepted)
        connectionString = answer.connectionString;
    return answer.accepted;
}
