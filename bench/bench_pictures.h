#pragma once
// Pictures shared by the image benchmarks, as R,G,B bytes top row first: a
// 720 x 576 star-field frame (noise and 40 Gaussian stars, grey) and an 800 x 600
// graph-like picture (grid, axes, two noisy curves on white).
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <random>
#include <vector>

#include "imagefile/LinarBitmap.h"

namespace bench {

struct RgbPicture {
    int width, height;
    std::vector<uint8_t> rgb;
};

inline RgbPicture StarFramePicture() {
    const int w = 720, h = 576;
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(18, 4);
    struct Star {
        double x, y, peak;
    };
    std::vector<Star> stars;
    for (int i = 0; i < 40; ++i) stars.push_back({double(rng() % w), double(rng() % h), 40.0 + rng() % 215});
    RgbPicture p{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 3)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double v = noise(rng);
            for (const Star& s : stars) {
                const double d2 = (x - s.x) * (x - s.x) + (y - s.y) * (y - s.y);
                if (d2 < 100) v += s.peak * std::exp(-d2 / 6.0);
            }
            const uint8_t g = static_cast<uint8_t>(std::clamp(static_cast<int>(v), 0, 255));
            uint8_t* q = &p.rgb[(static_cast<size_t>(y) * w + x) * 3];
            q[0] = q[1] = q[2] = g;
        }
    return p;
}

inline RgbPicture GraphPicture() {
    const int w = 800, h = 600;
    RgbPicture p{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 3, 255)};
    auto put = [&](int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        uint8_t* q = &p.rgb[(static_cast<size_t>(y) * w + x) * 3];
        q[0] = r, q[1] = g, q[2] = b;
    };
    for (int x = 40; x < w; x += 76)
        for (int y = 20; y < h - 40; ++y) put(x, y, 200, 200, 200);
    for (int y = 20; y < h - 40; y += 54)
        for (int x = 40; x < w; ++x) put(x, y, 200, 200, 200);
    for (int x = 40; x < w; ++x) put(x, h - 40, 0, 0, 0);
    for (int y = 20; y < h - 40; ++y) put(40, y, 0, 0, 0);
    std::mt19937 rng(2);
    std::normal_distribution<double> noise(0, 6);
    int prev = 300;
    for (int x = 41; x < w; ++x) {
        int y = 300 + static_cast<int>(noise(rng)) + (x > 400 && x < 430 ? 150 : 0);
        for (int k = std::min(prev, y); k <= std::max(prev, y); ++k) put(x, k, 255, 0, 0);
        put(x, 200 + static_cast<int>(noise(rng)), 0, 0, 255);
        prev = y;
    }
    return p;
}

// The star frame and the graph picture as 24-bit bitmaps (B,G,R) and as RGB888
// QImages with the same pixels.
struct PictureCase {
    const char* name;
    imagefile::TLinearBitmap bitmap;
    QImage image;
};

inline const std::vector<PictureCase>& PictureCases() {
    static const std::vector<PictureCase> cases = [] {
        std::vector<PictureCase> v;
        for (const auto& [name, p] : {std::pair{"star_frame", StarFramePicture()}, std::pair{"graph", GraphPicture()}}) {
            PictureCase c{name, {}, QImage(p.width, p.height, QImage::Format_RGB888)};
            c.bitmap.New(p.width, p.height, imagefile::pf24bit);
            for (int y = 0; y < p.height; ++y) {
                const uint8_t* s = &p.rgb[static_cast<size_t>(y) * p.width * 3];
                std::memcpy(c.image.scanLine(y), s, static_cast<size_t>(p.width) * 3);
                uint8_t* d = c.bitmap.ScanLine(y);
                for (int x = 0; x < p.width; ++x) d[3 * x] = s[3 * x + 2], d[3 * x + 1] = s[3 * x + 1], d[3 * x + 2] = s[3 * x];
            }
            v.push_back(std::move(c));
        }
        return v;
    }();
    return cases;
}

}  // namespace bench
