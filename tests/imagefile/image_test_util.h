#pragma once
// Loading pictures from bytes in the image tests.
#include <exception>
#include <string>

#include "imagefile/LinarBitmap.h"

namespace imagetest {

// Loads `bytes` by the loader of `ext`; returns the error text or "".
inline std::string LoadBytes(const std::string& bytes, const std::string& ext, imagefile::TLinearBitmap& b) {
    imagefile::TMemStream mem;
    mem.Write(bytes.data(), bytes.size());
    mem.Seek(0);
    try {
        b.LoadFromStream(mem, ext);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

}  // namespace imagetest
