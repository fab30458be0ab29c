#pragma once
// Where a server entry's password lives: in its connection string, as earlier versions
// kept it, or in the desktop keyring under the entry's GUID. Plain functions of the
// string, so that every caller decides the same way.

#include <QString>

// The string's own password (empty when it has none, or only "").
QString PasswordInString(const QString& AConnectionString);

// The string without any "Password" item, everything else as it was.
QString WithoutPassword(const QString& AConnectionString);

// The string with its first "User ID" item set to AUser (appended when it has none).
QString WithUserID(const QString& AConnectionString, const QString& AUser);

// Whether a connect asks the keyring first: a login by user name and password whose
// string names the user but keeps no password. Integrated security never needs one.
bool KeyringMayHoldPassword(const QString& AConnectionString);
