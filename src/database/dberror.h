#pragma once
// The one exception type of the database layer. Its message is the driver's
// diagnostic text, unchanged, or a message of the layer's own (conversions, look-ups).

#include <QList>
#include <QString>
#include <stdexcept>

class EDbError : public std::runtime_error {
public:
    // nativeErrors: the server's error numbers from the driver's diagnostics, in order.
    explicit EDbError(const QString& message, QList<int> nativeErrors = {})
        : std::runtime_error(message.toStdString()), FMessage(message),
          FNativeErrors(std::move(nativeErrors)) {}
    const QString& message() const { return FMessage; }
    const QList<int>& nativeErrors() const { return FNativeErrors; }
    // SQL Server refused the login (error 18456: a wrong name or password, a disabled
    // login, a database it may not use). The same login again fails again, and a server
    // with a lock-out policy counts every try.
    bool loginRefused() const { return FNativeErrors.contains(18456); }

private:
    QString FMessage;
    QList<int> FNativeErrors;
};
