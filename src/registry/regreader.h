#pragma once
// Reads the settings store's file: the text of a registry export.

#include <QByteArray>
#include <QString>

class TRegKey;

struct TRegParseError {
    int Line = 0; // 1-based
    QString Reason;
};

// Fills `root` (HKEY_CURRENT_USER) from the file's bytes: UTF-8 with or
// without a BOM, or UTF-16LE with a BOM as regedit itself exports. Anything
// that is not a complete file of that form gives false, with the first bad
// line; `root` may then hold part of the file.
bool ParseRegFile(const QByteArray& bytes, TRegKey& root, TRegParseError& error);
