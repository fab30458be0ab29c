#pragma once
// What the keyring brings to one connect of a server entry, and what the connect hands
// back for it to keep.

#include <QString>

struct TKeyringLogin {
    // The password the keyring holds for the entry; empty when it holds none.
    QString StoredPassword;
    // The login dialog may offer to keep its password in the keyring.
    bool OfferRemember = false;

    // Set when the user asked the login dialog to keep the password and the connect
    // with it worked: the user name and password to keep.
    bool Remember = false;
    QString User;
    QString Password;
};
