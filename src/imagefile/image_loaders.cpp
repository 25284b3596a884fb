// The registry's formats in their order: the first loader that accepts an
// extension wins.
#include "imagefile/ImageDLLLoader.h"
#include "imagefile/LinarBitmap.h"
#include "imagefile/PNGLoader.h"

namespace imagefile {

namespace {
TImageDLLLoader* g_imageDLLLoader = nullptr;
TPNGLoader* g_pngLoader = nullptr;
}  // namespace

void RegisterStandardLoaders(TBitmapLoaders& registry) {
    registry.Add(g_imageDLLLoader = new TImageDLLLoader);
    // ICO/CUR loader
    // JPEG loader
    registry.Add(g_pngLoader = new TPNGLoader);
    // HIPS loader
    // BMP loader
    // WMF/EMF loader
    // PCX loader
}

TImageDLLLoader& ImageDLLLoader() {
    BitmapLoaders();
    return *g_imageDLLLoader;
}

TPNGLoader& PNGLoader() {
    BitmapLoaders();
    return *g_pngLoader;
}

}  // namespace imagefile
