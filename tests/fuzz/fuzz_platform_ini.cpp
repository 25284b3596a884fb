// INI documents from arbitrary bytes: parsing keeps every byte, reads never fail,
// and and a written value reads back, also after the document is parsed again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    IniFile ini = IniFile::FromText(text);
    if (ini.Text() != text) std::abort();
    (void)ini.ReadInteger("Aperture Size", "Radius of Aperture", 5);
    (void)ini.ReadBool("Files", "CSV path is same as AVI", true);
    (void)ini.ReadString("files", "path to .avi files", "");
    if (!ini.WriteString("Files", "Path to .AVI files", "/v/")) std::abort();
    if (ini.ReadString("Files", "Path to .AVI files", "") != "/v/") std::abort();
    // What was written survives a save and a new parse.
    if (IniFile::FromText(ini.Text()).ReadString("FILES", "Path to .AVI files", "") != "/v/") std::abort();
    if (ini.WriteInteger("New", "Key", -3) && ini.ReadInteger("new", "key", 0) != -3) std::abort();
    return 0;
}
