#pragma once
// Per-user settings in the shape of the Windows registry: keys below
// HKEY_CURRENT_USER holding string, dword and binary values, with the classic
// registry wrapper's operations, so that settings code reads as it would on
// Windows. All instances of the application share one file (see TRegStorage).

#include "registry/registryexception.h"
#include "registry/regkey.h"
#include "registry/regstorage.h"

#include <QString>
#include <QStringList>
#include <vector>

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

// Reading: opening a key loads the file as it stands at that moment; the open
// key's values are then read from that copy. Writing: changes are kept as
// operations and applied to the file as it stands when the key is closed
// (CloseKey, opening another key, the destructor), so two instances writing
// different values never lose each other's. DeleteKey acts on the file at once.
// Key paths always start at HKEY_CURRENT_USER, whichever key is open; a
// leading backslash is allowed. The empty path is HKEY_CURRENT_USER itself.
class TRegistry {
public:
    // The store named by SetDefaultLocation(), or the per-user default.
    TRegistry();
    // `location`: the store file when it ends in ".reg", else its folder.
    explicit TRegistry(const QString& location);
    // Closes the open key. A failure to save it cannot be reported from here:
    // call CloseKey() first where that matters.
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // Where TRegistry() keeps its file from now on; empty restores the default.
    static void SetDefaultLocation(const QString& location);
    // What went wrong with the store file while loading, if anything, naming
    // the file and the line; taking it clears it.
    static QString TakeLoadProblem();

    QString FileName() const { return FStorage.FilePath(); }
    QString CurrentPath() const { return FCurrentPath.join(u'\\'); }

    // Opens an existing key, or with `canCreate` makes the missing keys on the
    // path. False when it neither exists nor could be made; the key open
    // before then stays open. A store file that exists but cannot be read
    // throws "Failed to get data for '<key>'".
    bool OpenKey(const QString& key, bool canCreate);
    // Saves the open key's changes; throws "Failed to set data for '%s'" when
    // the file cannot be replaced (the changes are then dropped).
    void CloseKey();
    bool KeyExists(const QString& key);
    // Deletes the key and everything below it, at once. False when the key
    // did not exist or the file could not be replaced.
    bool DeleteKey(const QString& key);

    // The open key's subkeys, in the registry's case-insensitive order.
    QStringList GetKeyNames() const;
    QStringList GetValueNames() const;
    bool ValueExists(const QString& name) const;
    TRegDataType GetDataType(const QString& name) const; // rdUnknown when missing
    int GetDataSize(const QString& name) const;          // -1 when missing

    // "" when missing.
    QString ReadString(const QString& name) const;
    void WriteString(const QString& name, const QString& value);
    // Missing: "Failed to get data for '%s'". Stored as the unsigned dword.
    int ReadInteger(const QString& name) const;
    void WriteInteger(const QString& name, int value);
    // Bytes read; 0 when missing. More data than `bufSize`: "Invalid data type".
    int ReadBinaryData(const QString& name, void* buffer, int bufSize) const;
    void WriteBinaryData(const QString& name, const void* buffer, int bufSize);

private:
    struct TOp {
        QStringList Path;
        bool SetsValue = false; // else it only makes the key
        TRegValue Value;
    };

    static bool ResolvePath(const QString& key, QStringList& path);
    void Reload(const QString& key);
    void Commit();
    static bool ApplyAll(const std::vector<TOp>& ops, TRegKey& root);
    const TRegKey* OpenedKey() const;
    const TRegValue* Find(const QString& name) const;
    void Write(const QString& name, std::uint32_t type, const QByteArray& data);

    TRegStorage FStorage;
    TRegKey FTree; // the file as last read, with this object's pending changes
    bool FKeyOpen = false;
    QStringList FCurrentPath;
    std::vector<TOp> FPending;
};
