#pragma once
// Windows icons and cursors through TIconList.
//
// Loading: a file of no images is "No icons in file". With several images and
// NoDialog false the selection hook (the icon selection window in the program)
// picks the image and the transparent colour; declining leaves the bitmap empty
// without an error. Otherwise the first image is taken. The image becomes a
// 24-bit picture with its masked pixels in TransparentColor; a cursor's hot spot
// is kept in HotSpotX/HotSpotY.
//
// Saving: one image, at most 255 x 255 ("Image is too large for icon"); "ICO"
// gives an icon, any other extension a cursor with the hot spot HotSpotX/HotSpotY.
// 8-bit pictures become 4-bit images when every unmasked pixel's index is below
// 16, else 8-bit ones; other pictures become 24-bit images. Pixels whose colour
// is TransparentColor are masked (and written as index 0 or black).
#include <cstdint>
#include <functional>

#include "imagefile/IconList.h"
#include "imagefile/LinarBitmap.h"

namespace imagefile {

class TICOLoader : public TBitmapLoader {
public:
    const char* ClassName() const override { return "TICOLoader"; }
    bool CanLoad(const std::string& ext) override { return ext == "ICO" || ext == "CUR"; }
    bool CanSave(const std::string& ext) override { return ext == "ICO" || ext == "CUR"; }
    std::string GetLoadFilter() override;
    void LoadFromStream(TBaseStream& stream, const std::string& ext, TLinearBitmap& bitmap) override;
    void SaveToStream(TBaseStream& stream, const std::string& ext, const TLinearBitmap& bitmap) override;

    uint32_t TransparentColor = 0xFF00FF;  // 0x00BBGGRR
    bool NoDialog = false;
    int HotSpotX = 0, HotSpotY = 0;

    // Shows the list (its pixels decoded on request) and returns false when the
    // user declines; otherwise sets the image index and the transparent colour.
    std::function<bool(TIconList& list, int& index, uint32_t& transparentColor)> SelectIcon;
};

// The registered instance.
TICOLoader& ICOLoader();

}  // namespace imagefile
