#include "registry/regkey.h"

#include <algorithm>

int RegNamesCompare(const QString& a, const QString& b) {
    // The registry upper-cases unit by unit; folding to lower case instead
    // would sort "_" and "[" before the letters, unlike regedit's listing.
    const qsizetype common = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t x = a[i].toUpper().unicode();
        const char16_t y = b[i].toUpper().unicode();
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool RegNamesEqual(const QString& a, const QString& b) {
    return RegNamesCompare(a, b) == 0;
}

bool operator==(const TRegValue& a, const TRegValue& b) {
    return a.Name == b.Name && a.Type == b.Type && a.Data == b.Data;
}

bool TRegKey::operator==(const TRegKey& other) const {
    return Name == other.Name && Values == other.Values && SubKeys == other.SubKeys;
}

const TRegKey* TRegKey::SubKey(const QString& name) const {
    for (const TRegKey& key : SubKeys)
        if (RegNamesEqual(key.Name, name))
            return &key;
    return nullptr;
}

TRegKey* TRegKey::SubKey(const QString& name) {
    return const_cast<TRegKey*>(std::as_const(*this).SubKey(name));
}

TRegKey& TRegKey::AddSubKey(const QString& name) {
    if (TRegKey* existing = SubKey(name))
        return *existing;
    auto pos = std::find_if(SubKeys.begin(), SubKeys.end(), [&](const TRegKey& key) {
        return RegNamesCompare(key.Name, name) > 0;
    });
    TRegKey key;
    key.Name = name;
    return *SubKeys.insert(pos, std::move(key));
}

const TRegKey* TRegKey::Find(const QStringList& path) const {
    const TRegKey* key = this;
    for (const QString& name : path) {
        key = key->SubKey(name);
        if (!key)
            return nullptr;
    }
    return key;
}

TRegKey* TRegKey::Find(const QStringList& path) {
    return const_cast<TRegKey*>(std::as_const(*this).Find(path));
}

TRegKey& TRegKey::Ensure(const QStringList& path) {
    TRegKey* key = this;
    for (const QString& name : path)
        key = &key->AddSubKey(name);
    return *key;
}

bool TRegKey::Remove(const QStringList& path) {
    if (path.isEmpty())
        return false;
    TRegKey* parent = Find(path.mid(0, path.size() - 1));
    if (!parent)
        return false;
    auto pos =
        std::find_if(parent->SubKeys.begin(), parent->SubKeys.end(),
                     [&](const TRegKey& key) { return RegNamesEqual(key.Name, path.last()); });
    if (pos == parent->SubKeys.end())
        return false;
    parent->SubKeys.erase(pos);
    return true;
}

const TRegValue* TRegKey::Value(const QString& name) const {
    for (const TRegValue& value : Values)
        if (RegNamesEqual(value.Name, name))
            return &value;
    return nullptr;
}

void TRegKey::SetValue(const QString& name, std::uint32_t type, const QByteArray& data) {
    for (TRegValue& value : Values) {
        if (RegNamesEqual(value.Name, name)) {
            // The registry keeps the name's first spelling, like a key's.
            value.Type = type;
            value.Data = data;
            return;
        }
    }
    Values.push_back(TRegValue{name, type, data});
}

bool TRegKey::RemoveValue(const QString& name) {
    auto pos = std::find_if(Values.begin(), Values.end(), [&](const TRegValue& value) {
        return RegNamesEqual(value.Name, name);
    });
    if (pos == Values.end())
        return false;
    Values.erase(pos);
    return true;
}
