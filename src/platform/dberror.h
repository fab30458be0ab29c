#pragma once
// The one exception type of the database layer. Its message is the driver's
// diagnostic text, unchanged, or a message of the layer's own (conversions, look-ups).

#include <QString>
#include <stdexcept>

class EDbError : public std::runtime_error {
public:
    explicit EDbError(const QString& message)
        : std::runtime_error(message.toStdString()), FMessage(message) {}
    const QString& message() const { return FMessage; }

private:
    QString FMessage;
};
