#pragma once
// Prompts for tests: every question is recorded, and answered from queues filled in
// advance. Installed for its lifetime.

#include "platform/prompts.h"

#include <QList>
#include <QString>

class TScriptedPrompts : public TPrompts {
public:
    struct TDataLinkAnswer {
        bool accepted = false;
        QString connectionString; // the dialog's result when accepted
    };
    struct TDataLinkCall {
        QWidget* parent = nullptr;
        QString connectionString; // what the dialog was given
    };

    TScriptedPrompts();
    ~TScriptedPrompts() override;
    TScriptedPrompts(const TScriptedPrompts&) = delete;
    TScriptedPrompts& operator=(const TScriptedPrompts&) = delete;

    TMsgResult message(const TMessage& m) override;
    bool login(const QString& serverName, QString& user, QString& password) override;
    bool dataLink(QWidget* parent, QString& connectionString) override;

    // Answers, taken from the front. A Yes/No question without an answer gets No, a
    // data-link or login dialog without one is cancelled; both count in unanswered.
    QList<TMsgResult> messageAnswers;
    QList<TDataLinkAnswer> dataLinkAnswers;

    QList<TMessage> messages;
    QList<TDataLinkCall> dataLinkCalls;
    QStringList loginCalls;
    int unanswered = 0;
};
