#include "scriptedprompts.h"

TMsgResult TScriptedPrompts::message(const TMessage& m) {
    messages.append(m);
    if (!messageAnswers.isEmpty())
        return messageAnswers.dequeue();
    return m.buttons == TMsgButtons::OK ? TMsgResult::OK : m.defaultButton;
}

bool TScriptedPrompts::login(const QString& serverName, QString& user, QString& password) {
    loginRequests << serverName + QLatin1Char('|') + user;
    if (loginAnswers.isEmpty())
        return false;
    const Login answer = loginAnswers.dequeue();
    if (!answer.accept)
        return false;
    user = answer.user;
    password = answer.password;
    return true;
}

bool TScriptedPrompts::dataLink(QWidget*, QString& connectionString) {
    dataLinkRequests << connectionString;
    if (dataLinkAnswers.isEmpty())
        return false;
    const std::optional<QString> answer = dataLinkAnswers.dequeue();
    if (!answer)
        return false;
    connectionString = *answer;
    return true;
}
