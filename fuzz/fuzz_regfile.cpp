// The settings file is read at every start: any bytes must be refused or read, never
// crash, and whatever is read must write back to a file that reads the same.

#include "registry/regkey.h"
#include "registry/regreader.h"
#include "registry/regwriter.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    TRegKey root;
    TRegParseError error;
    if (!ParseRegFile(bytes, root, error))
        return 0;
    const QByteArray written = FormatRegFile(root);
    TRegKey again;
    if (!ParseRegFile(written, again, error) || FormatRegFile(again) != written)
        std::abort();
    return 0;
}
