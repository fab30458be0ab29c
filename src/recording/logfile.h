#pragma once
// Writing the activity log: where it goes and how its text becomes bytes.

#include <QByteArray>
#include <QString>
#include <stdexcept>

class ELogWriteError : public std::runtime_error {
public:
    explicit ELogWriteError(const QString& message)
        : std::runtime_error(message.toStdString()), FMessage(message) {}
    const QString& message() const { return FMessage; }

private:
    QString FMessage;
};

// The folder new logs go to: the executable's folder, or, when that cannot be written
// (an installed binary in /usr/bin), ~/.local/share/dervel/logs. Tests set their own.
QString LogFolder();
void SetLogFolder(const QString& folder); // empty restores the default

// The text in the user's locale character set; a character it cannot represent becomes
// "?" and the rest of the text is kept.
QByteArray EncodeForLocale(const QString& text);

// Creates (truncate) or appends to the file, writes the text and closes it. Throws
// ELogWriteError with the file system's message.
void WriteLogText(const QString& path, const QString& text, bool truncate);
