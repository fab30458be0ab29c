#pragma once
// The failure of a settings store operation, with the message the user sees.

#include <QByteArray>
#include <QString>
#include <exception>

class ERegistryException : public std::exception {
public:
    explicit ERegistryException(const QString& message)
        : FMessage(message), FUtf8(message.toUtf8()) {}

    const QString& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

    // The three texts the registry layer fails with; `name` is the value's.
    static ERegistryException InvalidType(const QString& name) {
        return ERegistryException(QStringLiteral("Invalid data type for '%1'").arg(name));
    }
    static ERegistryException GetFailed(const QString& name) {
        return ERegistryException(QStringLiteral("Failed to get data for '%1'").arg(name));
    }
    static ERegistryException SetFailed(const QString& name) {
        return ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(name));
    }

private:
    QString FMessage;
    QByteArray FUtf8;
};
