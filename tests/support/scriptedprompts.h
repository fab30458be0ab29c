#pragma once
// Prompts for tests: every question is recorded and answered from queues filled in
// advance. Installed for its lifetime.

#include "prompts/prompts.h"

#include <QList>
#include <QString>
#include <QStringList>

class TScriptedPrompts : public TPrompts {
public:
    struct TLoginAnswer {
        bool accepted = false;
        QString user;
        QString password;
        bool remember = false; // the keyring box, where the dialog offers it
    };
    struct TLoginCall {
        bool rememberOffered = false;
        bool rememberChecked = false; // as the dialog showed it
    };
    struct TDataLinkAnswer {
        bool accepted = false;
        QString connectionString; // the dialog's result when accepted
    };
    struct TDataLinkCall {
        QWidget* parent = nullptr;
        QString connectionString; // what the dialog was given
    };
    struct TConnectionAnswer {
        bool accepted = false;
        QString name;
        QString connectionString;
        bool toKeyring = false; // the password to the keyring, where the dialog offers it
    };
    struct TConnectionCall {
        QString caption;
        QString name;
        QString connectionString;
        bool keyringOffered = false;
    };

    TScriptedPrompts();
    ~TScriptedPrompts() override;
    TScriptedPrompts(const TScriptedPrompts&) = delete;
    TScriptedPrompts& operator=(const TScriptedPrompts&) = delete;

    TMsgResult message(const TMessage& m) override;
    bool login(const QString& serverName, QString& user, QString& password,
               bool* remember) override;
    bool dataLink(QWidget* parent, QString& connectionString) override;
    bool connection(const QString& caption, QString& name, QString& connectionString,
                    bool* toKeyring) override;
    QString openFile(QWidget* parent, const QString& caption, const QString& folder,
                     const QString& filter) override;
    QString saveFile(QWidget* parent, const QString& caption, const QString& path,
                     const QString& filter) override;

    // Answers, taken from the front. A Yes/No question without an answer gets No; a dialog
    // without one is cancelled; both count in unanswered. OK-only boxes need no answer.
    QList<TMsgResult> messageAnswers;
    QList<TLoginAnswer> loginAnswers;
    QList<TDataLinkAnswer> dataLinkAnswers;
    QList<TConnectionAnswer> connectionAnswers;
    QStringList openFileAnswers; // the path chosen; empty for a cancelled dialog
    QStringList saveFileAnswers; // likewise

    QList<TMessage> messages;
    QStringList loginCalls;        // "server|user offered"
    QList<TLoginCall> loginOffers; // what each login dialog offered of the keyring
    QList<TDataLinkCall> dataLinkCalls;
    QList<TConnectionCall> connectionCalls;
    QStringList openFileCalls; // the dialogs' captions
    QStringList saveFileCalls; // the paths the dialogs started at
    int unanswered = 0;
};
