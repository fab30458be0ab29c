#pragma once
// How dervel-record logs in: which password, from where. A password on the command line
// is in the process list for every local user to read, so it comes from a file (systemd's
// credentials among them), standard input, the environment or the keyring instead.

#include "database/oledbtranslator.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The environment variable a password may come from.
inline constexpr char kRecordPasswordVariable[] = "DERVEL_PASSWORD";

// A password file's password: its first line, without the line's end. Files written by
// "echo" end in one; systemd's credentials usually do not.
QString PasswordFileText(const QByteArray& AContent);

struct TRecordLogin {
    // Passed to the connection's open, over the string's own; none: the string as it is.
    std::optional<TDbCredentials> Credentials;
    // Where the password is in the process list: a password inside --connection.
    bool PasswordVisible = false;
    QString Error; // a command line that cannot work, in the user's words
};

// The login for a recording. AFromCommandLine: the string was given with --connection.
// The password is the first there is of: the password file's, the environment's, and,
// for a string that names the user and keeps no password, the keyring's; the user is the
// string's "User ID". Without any, the string logs in on its own.
TRecordLogin ChooseRecordLogin(const QString& AConnectionString, bool AFromCommandLine,
                               const std::optional<QString>& AFilePassword,
                               const std::optional<QString>& AEnvironmentPassword,
                               const std::optional<QString>& AKeyringPassword);
