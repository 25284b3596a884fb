#include "imagefile/ImageDLLLoader.h"

#include <dlfcn.h>

#include <cstring>

#include "imagefile/AnalyzerPlugins.h"
#include "imagefile/BitmapConversion.h"

namespace imagefile {

namespace {

std::string Join(const std::vector<TImageDLLEntry>& entries, std::string TImageDLLEntry::*filter) {
    std::string s;
    for (const auto& e : entries) {
        if ((e.*filter).empty()) continue;
        if (!s.empty()) s += "|";
        s += e.*filter;
    }
    return s;
}

const TImageDLLEntry* Find(const std::vector<TImageDLLEntry>& entries, std::string TImageDLLEntry::*filter,
                           const std::string& ext) {
    for (const auto& e : entries)
        if (FilterHasExt(e.*filter, ext)) return &e;
    return nullptr;
}

}  // namespace

TImageDLLLoader::~TImageDLLLoader() {
    for (auto& e : Entries)
        if (e.Handle) ::dlclose(e.Handle);
}

std::string TImageDLLLoader::GetLoadFilter() { return Join(Entries, &TImageDLLEntry::LoadFilter); }
std::string TImageDLLLoader::GetSaveFilter() { return Join(Entries, &TImageDLLEntry::SaveFilter); }

void TImageDLLLoader::LoadFromFile(const std::string& fileName, const std::string& ext, TLinearBitmap& bitmap) {
    const TImageDLLEntry* e = Find(Entries, &TImageDLLEntry::LoadFilter, ext);
    if (!e || !e->Load) throw EUnsupportedFileFormat(std::string(kUnsupportedFileFormat) + ": " + ext);
    TPluginImage image;
    char space[32] = {};
    RaisePluginError(e->Load(fileName.c_str(), &image, space), "Error in bitmap data: %d");
    space[31] = '\0';
    int planes = 0;
    try {
        planes = PluginImageToBitmap(image, bitmap);
    } catch (...) {
        if (e->Release) e->Release(&image);
        throw;
    }
    if (e->Release) e->Release(&image);
    const bool ycc = std::strcmp(space, "YCbCr") == 0, lab = std::strcmp(space, "Lab") == 0;
    if (bitmap.PixelFormat == pf24bit && (ycc || lab)) {
        uint8_t* p = bitmap.Map;
        for (int64_t i = 0, n = int64_t{bitmap.Width} * bitmap.Height; i < n; ++i, p += 3) {
            // Planes came in as bytes 0, 1, 2; the picture wants B, G, R.
            uint8_t rgb[3];
            if (ycc)
                ApplyColorMatrix(YCbCrToRGB, p, rgb);
            else
                LabToRGB(p, rgb);
            p[0] = rgb[2], p[1] = rgb[1], p[2] = rgb[0];
        }
    }
    if (planes > 3)
        throw ELinearBitmap("The image contains " + std::to_string(planes) + " color planes, only 3 were loaded");
}

void TImageDLLLoader::SaveToFile(const std::string& fileName, const std::string& ext, const TLinearBitmap& bitmap) {
    const TImageDLLEntry* e = Find(Entries, &TImageDLLEntry::SaveFilter, ext);
    if (!e || !e->Save) throw EUnsupportedFileFormat(std::string(kUnsupportedFileFormat) + ": " + ext);
    TPluginImage image;
    BitmapToPluginImage(bitmap, image);
    RaisePluginError(e->Save(fileName.c_str(), &image), "Error writing image file: %d");
}

}  // namespace imagefile
