#include "registry/registry.h"

#include <QMutex>
#include <cstring>

namespace {

QMutex defaultMutex;
QString defaultLocation;

QString DefaultLocation() {
    QMutexLocker locker(&defaultMutex);
    return defaultLocation;
}

// Control characters in a name would break the file's lines.
bool IsValidName(const QString& name) {
    for (QChar c : name)
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
}

bool StartsWithPath(const QStringList& path, const QStringList& prefix) {
    if (path.size() < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i)
        if (!RegNamesEqual(path[i], prefix[i]))
            return false;
    return true;
}

QByteArray SzBytes(const QString& text) {
    QByteArray data(2 * text.size() + 2, '\0');
    for (qsizetype i = 0; i < text.size(); ++i) {
        data[2 * i] = char(text[i].unicode() & 0xff);
        data[2 * i + 1] = char(text[i].unicode() >> 8);
    }
    return data;
}

} // namespace

TRegistry::TRegistry() : FStorage(DefaultLocation()) {}

TRegistry::TRegistry(const QString& location) : FStorage(location) {}

TRegistry::~TRegistry() {
    try {
        CloseKey();
    } catch (const ERegistryException&) {
        // Nowhere to report it from a destructor.
    }
}

void TRegistry::SetDefaultLocation(const QString& location) {
    QMutexLocker locker(&defaultMutex);
    defaultLocation = location;
}

QString TRegistry::TakeLoadProblem() {
    return TRegStorage::TakeProblems();
}

bool TRegistry::ResolvePath(const QString& key, QStringList& path) {
    QString text = key;
    if (text.startsWith(u'\\'))
        text.remove(0, 1);
    if (text.endsWith(u'\\'))
        text.chop(1);
    path.clear();
    if (text.isEmpty())
        return true;
    for (const QString& name : text.split(u'\\')) {
        if (name.isEmpty() || !IsValidName(name))
            return false;
        path += name;
    }
    return true;
}

bool TRegistry::ApplyAll(const std::vector<TOp>& ops, TRegKey& root) {
    const TRegKey before = root;
    for (const TOp& op : ops) {
        TRegKey& key = root.Ensure(op.Path);
        if (op.SetsValue)
            key.SetValue(op.Value.Name, op.Value.Type, op.Value.Data);
    }
    return !(root == before);
}

// Takes the file as it now stands, with this object's unsaved changes on top.
void TRegistry::Reload(const QString& key) {
    TRegKey tree;
    if (!FStorage.Load(tree))
        throw ERegistryException::GetFailed(key);
    ApplyAll(FPending, tree);
    FTree = std::move(tree);
}

void TRegistry::Commit() {
    if (FPending.empty())
        return;
    const std::vector<TOp> ops = std::move(FPending);
    FPending.clear();
    TRegKey tree;
    if (!FStorage.Update([&](TRegKey& root) { return ApplyAll(ops, root); }, tree)) {
        QString name = ops.front().Path.value(ops.front().Path.size() - 1);
        for (const TOp& op : ops) {
            if (op.SetsValue) {
                name = op.Value.Name;
                break;
            }
        }
        throw ERegistryException::SetFailed(name);
    }
    FTree = std::move(tree);
}

bool TRegistry::OpenKey(const QString& key, bool canCreate) {
    QStringList path;
    if (!ResolvePath(key, path))
        return false;
    Reload(key);
    if (!FTree.Find(path) && (!canCreate || !FStorage.Writable()))
        return false;
    CloseKey();
    if (FTree.Find(path)) {
        // Keep the stored spelling, which is what the registry reports too.
        const TRegKey* walk = &FTree;
        for (QString& name : path) {
            walk = walk->SubKey(name);
            name = walk->Name;
        }
    } else {
        FPending.push_back(TOp{path, false, {}});
        ApplyAll({FPending.back()}, FTree);
    }
    FCurrentPath = path;
    FKeyOpen = true;
    return true;
}

void TRegistry::CloseKey() {
    FKeyOpen = false;
    FCurrentPath.clear();
    Commit();
}

bool TRegistry::KeyExists(const QString& key) {
    QStringList path;
    if (!ResolvePath(key, path))
        return false;
    Reload(key);
    return FTree.Find(path) != nullptr;
}

bool TRegistry::DeleteKey(const QString& key) {
    QStringList path;
    if (!ResolvePath(key, path) || path.isEmpty())
        return false;
    bool existed = false;
    TRegKey tree;
    const bool saved = FStorage.Update(
        [&](TRegKey& root) {
            const bool changed = ApplyAll(FPending, root);
            existed = root.Remove(path);
            return changed || existed;
        },
        tree);
    if (!saved)
        return false; // the pending changes stay for CloseKey to save or report
    FPending.clear();
    FTree = std::move(tree);
    if (FKeyOpen && StartsWithPath(FCurrentPath, path)) {
        FKeyOpen = false;
        FCurrentPath.clear();
    }
    return existed;
}

const TRegKey* TRegistry::OpenedKey() const {
    return FKeyOpen ? FTree.Find(FCurrentPath) : nullptr;
}

const TRegValue* TRegistry::Find(const QString& name) const {
    const TRegKey* key = OpenedKey();
    return key ? key->Value(name) : nullptr;
}

QStringList TRegistry::GetKeyNames() const {
    QStringList names;
    if (const TRegKey* key = OpenedKey())
        for (const TRegKey& sub : key->SubKeys)
            names += sub.Name;
    return names;
}

QStringList TRegistry::GetValueNames() const {
    QStringList names;
    if (const TRegKey* key = OpenedKey())
        for (const TRegValue& value : key->Values)
            names += value.Name;
    return names;
}

bool TRegistry::ValueExists(const QString& name) const {
    return Find(name) != nullptr;
}

TRegDataType TRegistry::GetDataType(const QString& name) const {
    const TRegValue* value = Find(name);
    switch (value ? value->Type : regNone) {
    case regSz:
        return rdString;
    case regExpandSz:
        return rdExpandString;
    case regDword:
        return rdInteger;
    case regBinary:
        return rdBinary;
    default:
        return rdUnknown;
    }
}

int TRegistry::GetDataSize(const QString& name) const {
    const TRegValue* value = Find(name);
    return value ? int(value->Data.size()) : -1;
}

QString TRegistry::ReadString(const QString& name) const {
    const TRegValue* value = Find(name);
    if (!value)
        return QString();
    if (value->Type != regSz && value->Type != regExpandSz)
        throw ERegistryException::InvalidType(name);
    const auto* bytes = reinterpret_cast<const unsigned char*>(value->Data.constData());
    QString text;
    // The registry's strings end at their first NUL, whatever their size says.
    for (qsizetype i = 0; i + 1 < value->Data.size(); i += 2) {
        const char16_t unit = char16_t(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0)
            break;
        text += QChar(unit);
    }
    return text;
}

int TRegistry::ReadInteger(const QString& name) const {
    const TRegValue* value = Find(name);
    if (!value)
        throw ERegistryException::GetFailed(name);
    if (value->Type != regDword || value->Data.size() != 4)
        throw ERegistryException::InvalidType(name);
    const auto* b = reinterpret_cast<const unsigned char*>(value->Data.constData());
    const quint32 dword = b[0] | (b[1] << 8) | (b[2] << 16) | (quint32(b[3]) << 24);
    return static_cast<int>(dword);
}

int TRegistry::ReadBinaryData(const QString& name, void* buffer, int bufSize) const {
    const TRegValue* value = Find(name);
    if (!value)
        return 0;
    // Types without a reader of their own are read as bytes, as the registry does.
    if (GetDataType(name) != rdBinary && GetDataType(name) != rdUnknown)
        throw ERegistryException::InvalidType(name);
    if (value->Data.size() > qMax(bufSize, 0))
        throw ERegistryException::InvalidType(name);
    if (!value->Data.isEmpty())
        std::memcpy(buffer, value->Data.constData(), value->Data.size());
    return int(value->Data.size());
}

void TRegistry::Write(const QString& name, std::uint32_t type, const QByteArray& data) {
    if (!FKeyOpen || !IsValidName(name) || !FStorage.Writable())
        throw ERegistryException::SetFailed(name);
    FPending.push_back(TOp{FCurrentPath, true, TRegValue{name, type, data}});
    ApplyAll({FPending.back()}, FTree);
}

void TRegistry::WriteString(const QString& name, const QString& value) {
    Write(name, regSz, SzBytes(value));
}

void TRegistry::WriteInteger(const QString& name, int value) {
    const auto dword = static_cast<quint32>(value);
    QByteArray data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = char(dword >> (8 * i));
    Write(name, regDword, data);
}

void TRegistry::WriteBinaryData(const QString& name, const void* buffer, int bufSize) {
    if (bufSize < 0 || (bufSize > 0 && !buffer))
        throw ERegistryException::SetFailed(name);
    Write(name, regBinary, QByteArray(static_cast<const char*>(buffer), bufSize));
}
