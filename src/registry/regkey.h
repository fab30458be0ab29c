#pragma once
// The settings store's tree of keys and values, as the registry would hold them.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// Value types by the numbers the Windows registry gives them. Other numbers
// (multi-strings, qwords from a hand-made file) are kept as they came.
enum TRegValueType : std::uint32_t {
    regNone = 0,
    regSz = 1,
    regExpandSz = 2,
    regBinary = 3,
    regDword = 4,
};

struct TRegValue {
    QString Name; // empty: the key's default value ("@")
    std::uint32_t Type = regNone;
    QByteArray Data; // raw bytes: strings are UTF-16LE with their NUL, dwords little-endian
};

// A key with its values and subkeys. Names compare without regard to case,
// as in the registry, and keep the case they were created with.
class TRegKey {
public:
    QString Name;
    std::vector<TRegValue> Values; // in the order they were first written
    std::vector<TRegKey> SubKeys;  // in listing order: case-insensitive by name

    const TRegKey* SubKey(const QString& name) const;
    TRegKey* SubKey(const QString& name);
    TRegKey& AddSubKey(const QString& name); // the existing one when present

    // Paths are lists of key names below this key; the empty path is this key.
    const TRegKey* Find(const QStringList& path) const;
    TRegKey* Find(const QStringList& path);
    TRegKey& Ensure(const QStringList& path);
    bool Remove(const QStringList& path); // with everything below it; false when missing

    const TRegValue* Value(const QString& name) const;
    void SetValue(const QString& name, std::uint32_t type, const QByteArray& data);
    bool RemoveValue(const QString& name);

    bool operator==(const TRegKey& other) const;
};

bool operator==(const TRegValue& a, const TRegValue& b);

// Registry name order and equality: by upper-cased UTF-16 units.
int RegNamesCompare(const QString& a, const QString& b);
bool RegNamesEqual(const QString& a, const QString& b);
