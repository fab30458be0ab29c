#pragma once
// Writes the settings store's file: the text of a registry export, in UTF-8.

#include <QByteArray>

class TRegKey;

// The whole file for a tree whose root is HKEY_CURRENT_USER: the header line,
// a blank line, then a section per key (every key below the root; the root
// only when it holds values), each followed by a blank line.
QByteArray FormatRegFile(const TRegKey& root);
