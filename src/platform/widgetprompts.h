#pragma once
// The real prompts: Qt message boxes and dialogs.

#include "platform/prompts.h"

class TWidgetPrompts : public TPrompts {
public:
    TMsgResult message(const TMessage& m) override;
    bool login(const QString& serverName, QString& user, QString& password) override;
    bool dataLink(QWidget* parent, QString& connectionString) override;
};
