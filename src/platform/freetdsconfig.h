#pragma once
// The FreeTDS settings that its ODBC driver takes from no connection string: the CA file
// and the host-name check of a verified TLS connection exist only in freetds.conf. The
// process keeps a freetds.conf of its own, named by FREETDSCONF, with one section for each
// set of such settings; a connection that needs one names it with ServerName= instead of
// Server= and Port=.
//
// Safe for connections with different settings in one process: FreeTDS reads the file
// afresh at every connect and stops at the first file holding the section asked for; a
// section's name is derived from its contents, so a name never changes meaning, and the
// file only ever gains sections and is replaced whole (written beside it, then renamed),
// so a connect that reads it meanwhile sees either file, and both hold its section.

#include <QString>

struct TFreeTdsSection {
    QString host;
    QString port;     // empty with an instance
    QString instance; // asked of the SQL Server Browser
    QString caFile;   // a PEM file, or "system" for the system's trust store
    bool checkHostName = true;

    bool operator==(const TFreeTdsSection&) const = default;
};

// "dervel_" and a digest of the contents.
QString FreeTdsSectionName(const TFreeTdsSection& ASection);
// The section as freetds.conf writes it, under its name.
QString FreeTdsSectionText(const TFreeTdsSection& ASection);

// Points FREETDSCONF at this process's own file. Called once at start, before any thread
// connects (setenv is not safe while another thread reads the environment); connecting
// calls it too, for programs and tests that did not.
void PrepareFreeTdsConfig();
QString FreeTdsConfigPath();
// Adds the section to the file unless it is there. Throws EDbError when the file cannot
// be written.
void EnsureFreeTdsSection(const TFreeTdsSection& ASection);
