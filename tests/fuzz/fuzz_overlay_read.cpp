// libFuzzer target: reading the time overlay of a frame from outside, with the
// grid, inserter type, threshold and level the bytes give. A 24-byte header sets
// those and the frame's size; the rest is a band of grey pixels placed at a row
// of the frame (the rest black): a crop of a generated overlay frame is a seed.
// Every reading must finish with printable strings or nothing; no crash, no read
// off the frame, no undefined arithmetic whatever the positions.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "overlay/overlay_time.h"
#include "platform/bitmap24.h"

namespace {

int32_t I32(const uint8_t* p) { return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }
int16_t I16(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kHeader = 24;
    if (size < kHeader) return 0;
    const uint8_t* h = data;
    using namespace overlay;
    OverlayState st;
    OverlayControls c;
    TimeLineControls t;
    const uint8_t types[3] = {kIotaVti, kKiwiOsd, kGhsOsd};
    c.TimeInserterType = types[h[0] % 3];
    c.ShowField = h[1] & 1;
    t.FieldMeasure = h[1] & 2;
    t.FieldOrderItem = (h[1] >> 2) & 1;
    st.ReadLetters = h[1] & 8;
    st.GpsPageMode = static_cast<uint8_t>((h[1] >> 4) % 3);
    c.VideoFrameRateInt = (h[1] & 0x40) ? 30 : 25;
    // Frame sizes of common videos and odd ones; the band of pixels sits at `top`.
    const int width = 16 + (I16(h + 2) & 0x3FF), height = 16 + (I16(h + 4) & 0x3FF);
    const int bandWidth = 1 + (I16(h + 6) & 0x3FF), top = I16(h + 8) & 0x3FF;
    c.FrameWidth = c.DisplayWidth = width;
    c.FrameHeight = c.DisplayHeight = height;
    c.UpDown4 = I16(h + 10);
    c.UpDown10 = static_cast<int8_t>(h[12]) % 21;
    st.OverlayThreshold = c.UpDown4;
    const double level = I16(h + 13) / 4.0;
    st.OverlayLevel = level;
    Bitmap24 bmp(width, height);
    const uint8_t* band = data + kHeader;
    const size_t bandBytes = size - kHeader;
    for (size_t i = 0; i < bandBytes; ++i) {
        const int x = static_cast<int>(i % static_cast<size_t>(bandWidth)), y = top + static_cast<int>(i / static_cast<size_t>(bandWidth));
        if (y >= height) break;
        if (x >= width) continue;
        uint8_t* p = bmp.Scanline(y) + 3 * x;
        p[0] = p[1] = p[2] = band[i];
    }
    // A located grid (as the locators leave it) or the fixed layouts.
    if (h[15] & 1) {
        const double x0 = I16(h + 16) / 8.0, pitch = (h[18] + 1) / 8.0, gap = I16(h + 19) / 8.0;
        SetLocatedGrid(st, c.TimeInserterType, x0, pitch, I16(h + 21), gap, level);
    } else {
        st.OverlayCharPitch = st.GpsCharPitch = 21.5L;
    }
    OverlayTimeLine line;
    ReadTimeOverlayLine(st, c, t, bmp, line);
    // Characters come back as printable text, never a zero or a control byte.
    for (const std::string* s : {&line.OverlayHour1, &line.OverlayMinute1, &line.OverlayHour2, &line.OverlayMinute2})
        for (char ch : *s)
            if (ch < 0x20 || ch > 0x7E) std::abort();
    // One character anywhere, the extremes of int included.
    const int x = (h[23] & 1) ? I32(h + 16) : I16(h + 16), y = (h[23] & 2) ? I32(h + 19) : I16(h + 19);
    c.UpDown4 = (h[23] & 4) ? I32(h + 10) : c.UpDown4;
    const OverlayCharacter ch = ReadOverlayCharacter(st, c, bmp, x, y);
    if (ch.character == 0 && ch.score != 0) std::abort();
    return 0;
}
