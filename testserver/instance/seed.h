#pragma once
// What a fresh instance holds: its databases and its system sessions.

#include <cstdint>
#include <initializer_list>

namespace testserver {

class Instance;

// @@VERSION of the impersonated SQL Server 2019 and the version LOGINACK reports
// (major 15, minor 0, build 4322).
inline constexpr const char* kDefaultVersion =
    "Microsoft SQL Server 2019 (RTM-CU22) (KB5027702) - 15.0.4322.2 (X64) \n"
    "\tJul 27 2023 18:11:00 \n"
    "\tCopyright (C) 2019 Microsoft Corporation\n"
    "\tDeveloper Edition (64-bit) on Linux (Debian GNU/Linux 12 (bookworm)) <X64>";
inline constexpr std::uint32_t kDefaultVersionNumber = 0x0F0010E2;

// The same of SQL Server 2022 (16.0.4165), the first release that speaks TDS 8.0.
inline constexpr const char* kVersion2022 =
    "Microsoft SQL Server 2022 (RTM-CU16) (KB5048033) - 16.0.4165.4 (X64) \n"
    "\tNov  6 2024 19:24:49 \n"
    "\tCopyright (C) 2022 Microsoft Corporation\n"
    "\tDeveloper Edition (64-bit) on Linux (Debian GNU/Linux 12 (bookworm)) <X64>";
inline constexpr std::uint32_t kVersionNumber2022 = 0x10001045;

// master, tempdb, model, msdb and three user databases with a few tables each; system
// sessions 1 to 12.
void seedInstance(Instance& instance, double startTime);

// Tables with a clustered primary key and the given nonclustered indexes, in a database:
// object ids from `firstObject` on, hobt ids numbered as SQL Server's look
// (72057594037927936 and up, `firstHobt` their rank).
struct SeedTable {
    const char* schema;
    const char* name;
    std::initializer_list<const char*> indexes; // nonclustered, after PK_<name>
    std::int64_t rows;
};
void addSeedTables(Instance& instance, const char* database, int firstObject, int firstHobt,
                   std::initializer_list<SeedTable> tables);

} // namespace testserver
