// Zip reader on arbitrary bytes: loading and inflating every entry must end in
// a result or an EZipFileError, never a crash or an unbounded allocation.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "web/SciZipFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    TZipFile zip;
    try {
        zip.LoadFromStream(in);
    } catch (const EZipFileError&) {
        return 0;
    }
    for (int i = 0; i < zip.Count(); ++i) {
        try {
            std::string out = zip.GetUncompressed(i);
            if (out.size() != zip.LocalFile(i).UncompressedSize) __builtin_trap();
        } catch (const EZipFileError&) {
        }
    }
    return 0;
}
