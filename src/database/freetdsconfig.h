#pragma once
// The FreeTDS configuration file of this process, named by FREETDSCONF. The ODBC driver
// reads configuration files only for a connection that names a section (ServerName=), at
// every such connect, this file before the user's (~/.freetds.conf) and the system's.
//
// It holds an empty [global] and one section, for the endpoint of Dervel's encrypted
// connections (tlsrelay.h), whose host is the loopback address. Found in this file, the
// section stops FreeTDS from reading any other, so no global setting from elsewhere (a
// dump file, say) reaches what travels in plain text inside the process. No value from a
// connection string is ever written into it.
//
// Nobody else may touch it: it lies in $XDG_RUNTIME_DIR/dervel or, where that cannot be
// trusted, in a fresh folder made for the process (mkdtemp); a folder is used only when it
// is a real folder (not a link), the user's own and closed to everyone else (0700). The
// file is created with O_EXCL|O_NOFOLLOW and mode 0600, and checked before each connect
// that reads it: a file that is not the one written is written again, and a folder that
// is no longer private refuses the connect.

#include <QString>
#include <memory>
#include <sys/types.h>

inline constexpr const char* kFreeTdsRelaySection = "dervel-tls";

// What a folder is found to be, as lstat sees it.
enum class TPrivateFolder { Missing, Private, Link, NotAFolder, OtherOwner, OpenToOthers };
TPrivateFolder PrivateFolderState(const QString& APath, uid_t AOwner);

class TFreeTdsConfig {
public:
    // Chooses the folder (ARuntimeDir/dervel when ARuntimeDir is private, else a new one in
    // ATempDir) and writes the file. Throws EDbError when neither can be had.
    TFreeTdsConfig(const QString& ARuntimeDir, const QString& ATempDir, uid_t AOwner);
    ~TFreeTdsConfig(); // removes the file, and the folder when it was made for the process
    TFreeTdsConfig(const TFreeTdsConfig&) = delete;
    TFreeTdsConfig& operator=(const TFreeTdsConfig&) = delete;

    const QString& folder() const { return FFolder; }
    const QString& path() const { return FPath; }
    // Before a connect: writes the file again when it is not the one written; throws
    // EDbError when the folder is no longer private.
    void check();

    static QByteArray contents();

private:
    void write();

    QString FFolder;
    QString FPath;
    uid_t FOwner;
    bool FMadeFolder = false;
};

// The process's own, named in the environment. Called once at start, before any thread
// connects (setenv is not safe while another thread reads the environment); connecting
// calls it too, for programs and tests that did not.
void PrepareFreeTdsConfig();
QString FreeTdsConfigPath();
// TFreeTdsConfig::check of the process's own file; throws EDbError.
void CheckFreeTdsConfig();
