#pragma once
// The one writer of a recording. Two recorders appending to one file would interleave
// their snapshots and deltas, and a replay would show rows that never existed together.
//
// The lock is flock(2) on a file beside the recording ("<file>-lock", 0600), not on the
// recording itself: SQLite keeps POSIX locks on the recording, and the kernel drops every
// POSIX lock a process holds on a file when the process closes any descriptor of it, so a
// descriptor of our own on the recording would, once closed, silently drop the locks of
// the process's other connections to it (a replay reading it). A flock belongs to its open
// file description: the kernel releases it when the writer closes it or dies, so a
// killed writer never blocks the next, and other processes and other writers of this one
// see it alike. The lock file is removed when the writer ends; a writer that finds it
// replaced after taking its lock takes the new one.
//
// Holding the lock, the writer makes the recording private: it may hold SQL text with
// passwords and customer data.

#include <QString>

class TWriterLock {
public:
    // Takes the lock. Throws ERecordingError when another writer holds it.
    explicit TWriterLock(const QString& ARecordingPath);
    ~TWriterLock(); // removes the lock file and lets go of the lock
    TWriterLock(const TWriterLock&) = delete;
    TWriterLock& operator=(const TWriterLock&) = delete;

    // Creates the recording 0600 whatever the umask when it is missing, or narrows the
    // existing one (and its -wal, -shm and -journal) to 0600, before SQLite opens it:
    // SQLite gives the -wal and -shm it creates the recording's mode. Throws
    // ERecordingError when the file cannot be made private or is no regular file.
    void makePrivate();
    // The mode the existing recording had when it was wider than 0600; 0 otherwise.
    unsigned narrowedFrom() const { return FNarrowedFrom; }

    static QString LockPath(const QString& ARecordingPath);

private:
    QString FPath;
    QString FLockPath;
    int FFd = -1;
    unsigned FNarrowedFrom = 0;
};
