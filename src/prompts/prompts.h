#pragma once
// Every modal question the app asks goes through this one seam: the GUI installs the
// real dialogs, tests install answers given in advance. Core code asks without knowing
// which.

#include <QString>

class QWidget;

enum class TMsgIcon { Error, Warning, Question, Information };
enum class TMsgButtons { OK, YesNo };
enum class TMsgResult { OK, Cancel, Yes, No };

struct TMessage {
    QString text;
    QString caption;
    TMsgIcon icon = TMsgIcon::Error;
    TMsgButtons buttons = TMsgButtons::OK;
    TMsgResult defaultButton = TMsgResult::OK;
};

class TPrompts {
public:
    virtual ~TPrompts() = default;
    virtual TMsgResult message(const TMessage& m) = 0;
    // The login dialog "Авторизация" for a server entry: user starts as given, the
    // password empty. False when cancelled. With remember, the dialog also offers to keep
    // the password in the keyring, checked as *remember is, and leaves the choice there.
    virtual bool login(const QString& serverName, QString& user, QString& password,
                       bool* remember) = 0;
    // The data-link dialog: edits an OLE DB connection string. False when cancelled
    // (the string is then unchanged).
    virtual bool dataLink(QWidget* parent, QString& connectionString) = 0;
    // The connection dialog of a server entry with the given caption over its name and
    // connection string. False when cancelled (both then unchanged). With toKeyring, the
    // dialog offers to keep a password of the string in the keyring instead, and sets
    // *toKeyring to the user's choice.
    virtual bool connection(const QString& caption, QString& name, QString& connectionString,
                            bool* toKeyring) = 0;
    // The file dialog for a file to open; empty when cancelled. AFilter as Qt's dialogs
    // take it ("Записи (*.dervelrec);;Все файлы (*)").
    virtual QString openFile(QWidget* parent, const QString& caption, const QString& folder,
                             const QString& filter) = 0;
    // The file dialog for a file to write, starting at APath; empty when cancelled. The
    // dialog itself asks before an existing file is replaced.
    virtual QString saveFile(QWidget* parent, const QString& caption, const QString& path,
                             const QString& filter) = 0;
};

// The prompts in force; the one installed last wins. Not owned.
TPrompts& Prompts();
void SetPrompts(TPrompts* prompts);

// The common cases.
TMsgResult ShowMessage(const QString& text, const QString& caption, TMsgIcon icon,
                       TMsgButtons buttons = TMsgButtons::OK,
                       TMsgResult defaultButton = TMsgResult::OK);
void ShowError(const QString& text); // caption "Ошибка", error icon, OK
