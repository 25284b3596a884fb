#pragma once
// The plug-in loader: formats delegated to image plug-in libraries, first in the
// registry. The program loads no plug-in library, so its table stays empty and it
// accepts no extension; entries can be added in-process (tests do).
#include <string>
#include <vector>

#include "imagefile/LinarBitmap.h"
#include "imagefile/PluginLinearBitmap.h"

namespace imagefile {

// Load: fills the record and names its colour space ("RGB", "YCbCr", "Lab"; up to
// 31 characters) in colorSpace; 0 is success. Release frees what Load allocated.
using TPluginLoad = int (*)(const char* fileName, TPluginImage* image, char* colorSpace);
using TPluginSave = int (*)(const char* fileName, const TPluginImage* image);
using TPluginRelease = void (*)(TPluginImage* image);

struct TImageDLLEntry {
    void* Handle = nullptr;  // library handle (dlclose'd by the loader); null in-process
    std::string LoadFilter;
    std::string SaveFilter;
    TPluginLoad Load = nullptr;
    TPluginSave Save = nullptr;
    TPluginRelease Release = nullptr;
};

class TImageDLLLoader : public TBitmapLoader {
public:
    ~TImageDLLLoader() override;
    const char* ClassName() const override { return "TImageDLLLoader"; }
    std::string GetLoadFilter() override;
    std::string GetSaveFilter() override;
    void LoadFromFile(const std::string& fileName, const std::string& ext, TLinearBitmap& bitmap) override;
    void SaveToFile(const std::string& fileName, const std::string& ext, const TLinearBitmap& bitmap) override;

    std::vector<TImageDLLEntry> Entries;
    std::string PluginFolder;
};

// The registered instance.
TImageDLLLoader& ImageDLLLoader();

}  // namespace imagefile
