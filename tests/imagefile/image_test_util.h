#pragma once
// Loading pictures from bytes in the image tests.
#include <exception>
#include <fstream>
#include <functional>
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

// How far the process's peak resident memory rose while `work` ran, in bytes: the
// high-water mark is reset first (Linux clear_refs). -1 where that is not allowed.
// Large blocks come fresh from the system, so a second full-size buffer shows.
inline long long PeakGrowthBytes(const std::function<void()>& work) {
    auto status = [](const char* key) {
        std::ifstream in("/proc/self/status");
        for (std::string line; std::getline(in, line);)
            if (line.rfind(key, 0) == 0) return std::stoll(line.substr(line.find(':') + 1)) * 1024;
        return -1LL;
    };
    {
        std::ofstream reset("/proc/self/clear_refs");
        if (!(reset << "5" << std::flush)) return -1;
    }
    const long long before = status("VmRSS:");
    work();
    const long long peak = status("VmHWM:");
    return before < 0 || peak < 0 ? -1 : peak - before;
}

}  // namespace imagetest
