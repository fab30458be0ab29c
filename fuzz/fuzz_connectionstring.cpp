// Connection strings come from users and from stored settings: every reader of them
// must take any text without crashing, and what the app writes must read back the same.

#include "database/dberror.h"
#include "database/oledbitems.h"
#include "database/oledbtranslator.h"
#include "servers/connectionstring.h"
#include "servers/datalinkstring.h"
#include "servers/passwordplacement.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString s = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)GetConnectionStringValue(s, QStringLiteral("Password"));
    (void)GetConnectionStringValue(s, QStringLiteral("Integrated Security"));
    try {
        (void)TranslateOleDbConnectionString(s, std::nullopt);
    } catch (const EDbError&) {
    }
    if (const auto settings = ParseDataLinkString(s)) {
        // The dialog's own string reads back to the same fields.
        const QString built = BuildDataLinkString(*settings);
        const auto again = ParseDataLinkString(built);
        if (!again || BuildDataLinkString(*again) != built)
            std::abort();
    }
    // Any value written as an item comes back from both readers.
    const QString item = OleDbItemText(QStringLiteral("Password"), s);
    const auto items = ParseOleDbItems(QStringLiteral("a=1;") + item);
    if (!items || items->size() != 2 || items->at(1).value != s)
        std::abort();
    if (s != QStringLiteral("\"\"") &&
        GetConnectionStringValue(QStringLiteral("a=1;") + item, QStringLiteral("password")) != s)
        std::abort();
    // Taking the password out leaves a string that reads, without one; putting a user in
    // gives a string both readers read that user from.
    (void)HoldsPassword(s);
    if (ParseOleDbItems(s)) {
        const QString without = WithoutPassword(s);
        if (!ParseOleDbItems(without) || HoldsPassword(without))
            std::abort();
        const QString user = s.left(8).isEmpty() ? QStringLiteral("sa") : s.left(8);
        const QString named = WithUserID(without, user);
        const auto read = ParseOleDbItems(named);
        if (!read || OleDbUser(*read) != user ||
            (user != QStringLiteral("\"\"") &&
             GetConnectionStringValue(named, QStringLiteral("User ID")) != user))
            std::abort();
    }
    return 0;
}
