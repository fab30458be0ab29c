#pragma once
// The real prompts: Qt message boxes and dialogs.

#include "prompts/prompts.h"

#include <memory>

class TConnectionForm;

class TWidgetPrompts : public TPrompts {
public:
    TWidgetPrompts();
    ~TWidgetPrompts() override;
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

private:
    // One connection dialog, created at start and reused for every Add and Edit.
    std::unique_ptr<TConnectionForm> FConnectionForm;
};
