// libFuzzer target: the icon list and the ICO loader on any bytes. Every image of
// a list that reads is decoded and drawn; the first is saved again as an icon and
// as a cursor. Seeds are ImageMagick, netpbm and our icons and cursors.
#include <cstdint>
#include <exception>

#include "imagefile/ICOLoader.h"

using namespace imagefile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemStream in;
    in.Write(data, size);
    in.Seek(0);
    TIconList list;
    try {
        list.LoadFromStream(in);
    } catch (const std::exception&) {
        return 0;
    }
    for (int i = 0; i < list.Count() && i < 64; ++i) {
        list.Decode(i);
        TLinearBitmap b;
        list.Image(i).Draw(0xFF00FF, b);
        if (i == 0) {
            TMemStream out;
            try {
                ICOLoader().SaveToStream(out, "ICO", b);
                ICOLoader().SaveToStream(out, "CUR", b);
            } catch (const std::exception&) {  // 256 wide
            }
        }
    }
    return 0;
}
