#pragma once
// Prompts answered in advance: every message and login request is recorded, and each
// is answered from its queue (or by a default when the queue is empty).

#include "platform/prompts.h"

#include <QList>
#include <QQueue>
#include <QStringList>

class TScriptedPrompts : public TPrompts {
public:
    TScriptedPrompts() { SetPrompts(this); }
    ~TScriptedPrompts() override { SetPrompts(nullptr); }

    TMsgResult message(const TMessage& m) override;
    bool login(const QString& serverName, QString& user, QString& password) override;
    bool dataLink(QWidget* parent, QString& connectionString) override;

    // Answers, taken first in, first out.
    QQueue<TMsgResult> messageAnswers; // default: the box's default button
    struct Login {
        bool accept = true;
        QString user;
        QString password;
    };
    QQueue<Login> loginAnswers;                     // default: cancel
    QQueue<std::optional<QString>> dataLinkAnswers; // nullopt = cancel; default: cancel

    // What was asked.
    QList<TMessage> messages;
    QStringList loginRequests; // "server|user as offered"
    QStringList dataLinkRequests;
};
