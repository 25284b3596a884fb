// The registry's formats in their order: the first loader that accepts an
// extension wins.
#include "imagefile/BMPLoader.h"
#include "imagefile/HIPSLoader.h"
#include "imagefile/ICOLoader.h"
#include "imagefile/ImageDLLLoader.h"
#include "imagefile/JPEGLoader.h"
#include "imagefile/LinarBitmap.h"
#include "imagefile/PCXLoader.h"
#include "imagefile/PNGLoader.h"
#include "imagefile/WMFLoader.h"

namespace imagefile {

namespace {
TImageDLLLoader* g_imageDLLLoader = nullptr;
TICOLoader* g_icoLoader = nullptr;
TJPEGLoader* g_jpegLoader = nullptr;
TPNGLoader* g_pngLoader = nullptr;
THIPSLoader* g_hipsLoader = nullptr;
TBMPLoader* g_bmpLoader = nullptr;
TWMFLoader* g_wmfLoader = nullptr;
TPCXLoader* g_pcxLoader = nullptr;
}  // namespace

void RegisterStandardLoaders(TBitmapLoaders& registry) {
    registry.Add(g_imageDLLLoader = new TImageDLLLoader);
    registry.Add(g_icoLoader = new TICOLoader);
    registry.Add(g_jpegLoader = new TJPEGLoader);
    registry.Add(g_pngLoader = new TPNGLoader);
    registry.Add(g_hipsLoader = new THIPSLoader);
    registry.Add(g_bmpLoader = new TBMPLoader);
    registry.Add(g_wmfLoader = new TWMFLoader);
    registry.Add(g_pcxLoader = new TPCXLoader);
}

TImageDLLLoader& ImageDLLLoader() {
    BitmapLoaders();
    return *g_imageDLLLoader;
}

TICOLoader& ICOLoader() {
    BitmapLoaders();
    return *g_icoLoader;
}

TJPEGLoader& JPEGLoader() {
    BitmapLoaders();
    return *g_jpegLoader;
}

TBMPLoader& BMPLoader() {
    BitmapLoaders();
    return *g_bmpLoader;
}

THIPSLoader& HIPSLoader() {
    BitmapLoaders();
    return *g_hipsLoader;
}

TWMFLoader& WMFLoader() {
    BitmapLoaders();
    return *g_wmfLoader;
}

TPCXLoader& PCXLoader() {
    BitmapLoaders();
    return *g_pcxLoader;
}

TPNGLoader& PNGLoader() {
    BitmapLoaders();
    return *g_pngLoader;
}

}  // namespace imagefile
