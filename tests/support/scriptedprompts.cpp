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

bool TScriptedPrompts::login(const QString& serverName, QString& user, QString& password,
                             bool* remember) {
    loginCalls << serverName + QLatin1Char('|') + user;
    loginOffers << TLoginCall{remember != nullptr, remember && *remember};
    if (loginAnswers.isEmpty()) {
        ++unanswered;
        return false;
    }
    const TLoginAnswer answer = loginAnswers.takeFirst();
    if (answer.accepted) {
        user = answer.user;
        password = answer.password;
        if (remember)
            *remember = answer.remember;
    }
    return answer.accepted;
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

bool TScriptedPrompts::connection(const QString& caption, QString& name, QString& connectionString,
                                  bool* toKeyring) {
    connectionCalls << TConnectionCall{caption, name, connectionString, toKeyring != nullptr};
    if (connectionAnswers.isEmpty()) {
        ++unanswered;
        return false;
    }
    const TConnectionAnswer answer = connectionAnswers.takeFirst();
    if (answer.accepted) {
        name = answer.name;
        connectionString = answer.connectionString;
        if (toKeyring)
            *toKeyring = answer.toKeyring;
    }
    return answer.accepted;
}

QString TScriptedPrompts::openFile(QWidget*, const QString& caption, const QString&,
                                   const QString&) {
    openFileCalls << caption;
    if (openFileAnswers.isEmpty()) {
        ++unanswered;
        return {};
    }
    return openFileAnswers.takeFirst();
}

QString TScriptedPrompts::saveFile(QWidget*, const QString&, const QString& path, const QString&) {
    saveFileCalls << path;
    if (saveFileAnswers.isEmpty()) {
        ++unanswered;
        return {};
    }
    return saveFileAnswers.takeFirst();
}
