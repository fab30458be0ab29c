#pragma once
// Where a server entry's password lives: in its connection string, as earlier versions
// kept it, or in the desktop keyring under the entry's GUID. Whether a string holds a
// password, taking it out and putting a user name in all read the string as the driver
// translation does (ParseOleDbItems: blanks around keywords, "Password" and "PWD", quoted
// values), so that what is warned about and moved is what a connect would send.

#include <QString>

// The string's own password: the last "Password" or "PWD" item that holds one (the one
// the driver translation takes whenever it takes any). Empty when it has none, or when
// the string cannot be read, since then nothing in it can be taken out safely.
QString PasswordInString(const QString& AConnectionString);

// Whether the string keeps a password in plain text. A string that cannot be read is
// looked at item by item, so that a damaged string with a password still warns.
bool HoldsPassword(const QString& AConnectionString);

// The string without any password item; every other item stays exactly as it was
// written. A string without one, or one that cannot be read, comes back unchanged.
QString WithoutPassword(const QString& AConnectionString);

// The string with AUser as its one user name: the first user item ("User ID", "UID",
// "User") becomes "User ID=AUser" in its place, the others go; appended when it has none.
// Both the driver translation and the connect's own keyword look-up then read AUser. A
// string that cannot be read comes back unchanged.
QString WithUserID(const QString& AConnectionString, const QString& AUser);

// Whether a connect asks the keyring first: a login by user name and password whose
// string names the user (where the connect looks for it) but keeps no password.
// Integrated security never needs one.
bool KeyringMayHoldPassword(const QString& AConnectionString);
