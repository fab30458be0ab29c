#pragma once
// The settings store's file on disk: where it lives, and locked, atomic access.

#include <QString>
#include <functional>

class TRegKey;
struct TRegParseError;

// Every instance of the application shares one file. Writers hold an exclusive
// flock on a lock file beside it while they re-read, change and replace the
// file; readers hold a shared one. The file is replaced by renaming a fully
// written and synced temporary, so a reader never sees half a file.
class TRegStorage {
public:
    // `location` is the store file when it ends in ".reg", otherwise the folder
    // that holds "registry.reg"; empty means DefaultFilePath().
    explicit TRegStorage(const QString& location = QString());

    // $XDG_CONFIG_HOME/dervel/registry.reg, else ~/.config/dervel/registry.reg.
    static QString DefaultFilePath();
    static QString FilePathFor(const QString& location);

    const QString& FilePath() const { return FFilePath; }
    // Why the last failed call failed; the registry's own messages cannot say.
    const QString& LastError() const { return FLastError; }

    // The stored tree. A missing file is an empty store; a damaged one is moved
    // aside, reported through TakeProblems() and read as empty. False only
    // when the file exists but cannot be read.
    bool Load(TRegKey& root);

    // Whether a write may succeed: the folder exists (it is made here, mode
    // 0700) and can be written, and the store is a plain file or missing.
    bool Writable();

    // Re-reads the file under the exclusive lock, lets `change` edit the tree
    // and, when it reports a change, replaces the file (mode 0600). `root`
    // receives the tree as it now stands. False when the file could not be
    // read or replaced; the file then keeps its previous contents.
    bool Update(const std::function<bool(TRegKey&)>& change, TRegKey& root);

    // Reports of damaged files moved aside since the last call, one a line.
    static QString TakeProblems();

private:
    enum class TReadResult { Missing, Ok, Failed, Damaged };

    TReadResult Read(TRegKey& root, TRegParseError& error);
    bool MoveAside(const TRegParseError& error);
    bool MakeFolder();
    bool WriteAtomically(const QByteArray& bytes);
    bool Fail(const QString& what);

    QString FFilePath;
    QString FLastError;
};
