// The 3-D star view's core: heights and smoothing against numpy (threed_oracle.py),
// the projection against numpy's turn-then-tilt, and the painted picture read back.
#include "measure/threed_view.h"

#include <QImage>
#include <cmath>
#include <set>

#include "golden.h"
#include "support/golden_compare.h"

namespace {

using golden::Block;

// The oracle's frame: LCG noise 0..63 per byte plus a star at (4, 3).
Bitmap24 OracleFrame() {
    const int w = 100, h = 80;
    Bitmap24 bmp(w, h);
    uint64_t s = 7;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int star = static_cast<int>(std::floor(180 * std::exp(-((x - 4) * (x - 4) + (y - 3) * (y - 3)) / 8.0)));
            int rgb[3];
            for (int& c : rgb) {
                s = (1103515245 * s + 12345) % (1ull << 31);
                c = std::min(static_cast<int>((s >> 8) % 64) + star, 255);
            }
            uint8_t* p = bmp.Scanline(y) + 3 * x;
            p[2] = static_cast<uint8_t>(rgb[0]), p[1] = static_cast<uint8_t>(rgb[1]), p[0] = static_cast<uint8_t>(rgb[2]);
        }
    }
    return bmp;
}

// Rows j = -25..25, i within, as the oracle writes them.
template <typename F>
std::vector<double> Rows(F value) {
    std::vector<double> v;
    for (int j = -threed::kReach; j <= threed::kReach; ++j)
        for (int i = -threed::kReach; i <= threed::kReach; ++i) v.push_back(value(i, j));
    return v;
}

const threed::SmoothSize kSizes[] = {threed::SmoothSize::kFive, threed::SmoothSize::kThree, threed::SmoothSize::kOff};

TEST(ThreeDRelief, HeightsAndSmoothingMatchNumpy) {
    const Bitmap24 frame = OracleFrame();
    const auto blocks = golden::Of(golden::Read("threed_golden.txt", {"heights", "points"}), "heights");
    ASSERT_EQ(blocks.size(), 36u);
    for (const Block& b : blocks) {
        threed::Patch raw, heights;
        threed::ReadRaw(frame, b.H(0), b.H(1), raw);
        threed::ComputeHeights(raw, b.H(2), heights);
        threed::Relief relief;
        threed::Smooth(raw, heights, kSizes[b.H(3)], b.H(4) ? threed::SmoothFilter::kMedian : threed::SmoothFilter::kMean,
                       relief);
        testutil::Differences d;
        const std::vector<double> got = Rows([&](int i, int j) { return relief.at(i, j); });
        const std::vector<double>& want = b.f.at("out");
        ASSERT_EQ(got.size(), want.size());
        for (size_t n = 0; n < got.size(); ++n) d.Check(got[n], want[n], 0, "cell " + std::to_string(n));
        EXPECT_EQ(d.Report(), "") << "heights " << b.H(0) << ' ' << b.H(1) << " scale " << b.H(2) << " size " << b.H(3)
                                  << " median " << b.H(4);
    }
}

TEST(ThreeDRelief, ScaleTwentyIsRawThirtyIsFlatAndOutsideIsMinusOne) {
    const Bitmap24 frame = OracleFrame();
    threed::Patch raw, heights;
    threed::ReadRaw(frame, 4, 3, raw);
    EXPECT_EQ(raw.at(-5, 0), -1);   // x = -1
    EXPECT_EQ(raw.at(0, -4), -1);   // y = -1
    EXPECT_GE(raw.at(-4, -3), 0);   // pixel (0, 0)
    threed::ComputeHeights(raw, 20, heights);
    EXPECT_EQ(heights.cells, raw.cells);
    threed::ComputeHeights(raw, 30, heights);
    for (int32_t h : heights.cells) EXPECT_EQ(h, 0);
    // A frame of one pixel: nothing beyond it is read.
    Bitmap24 one(1, 1);
    one.Scanline(0)[0] = 1, one.Scanline(0)[1] = 2, one.Scanline(0)[2] = 3;
    threed::ReadRaw(one, 0, 0, raw);
    int valid = 0;
    for (int32_t r : raw.cells) valid += r >= 0;
    EXPECT_EQ(valid, 1);
    EXPECT_EQ(raw.at(0, 0), 6);
}

TEST(ThreeDProjection, ScreenPointsMatchNumpyTurnThenTilt) {
    const Bitmap24 frame = OracleFrame();
    threed::Patch raw, heights;
    threed::ReadRaw(frame, 4, 3, raw);
    threed::ComputeHeights(raw, 10, heights);
    threed::Relief relief;
    threed::Smooth(raw, heights, threed::SmoothSize::kFive, threed::SmoothFilter::kMedian, relief);
    const auto blocks = golden::Of(golden::Read("threed_golden.txt", {"heights", "points"}), "points");
    ASSERT_EQ(blocks.size(), 15u);
    for (const Block& b : blocks) {
        threed::ScreenGrid pts;
        threed::ProjectRelief(relief, b.head.at(5), b.head.at(6), pts);
        const std::set<double> near(b.f.at("near").begin(), b.f.at("near").end());
        testutil::Differences d;
        const auto sx = Rows([&](int i, int j) { return pts.at(i, j).x; });
        const auto sy = Rows([&](int i, int j) { return pts.at(i, j).y; });
        for (size_t n = 0; n < sx.size(); ++n) {
            const double allowed = near.count(double(n)) ? 1 : 0;
            d.Check(sx[n], b.f.at("sx").at(n), allowed, "sx " + std::to_string(n));
            d.Check(sy[n], b.f.at("sy").at(n), allowed, "sy " + std::to_string(n));
        }
        EXPECT_EQ(d.Report(), "") << "tilt " << b.head.at(5) << " turn " << b.head.at(6);
    }
    for (double tilt : {-87.0, 0.0, 41.0})
        for (double turn : {-90.0, 7.0, 90.0}) {
            const threed::ScreenPoint p = threed::Project(0, 0, 0, tilt, turn);
            EXPECT_EQ(std::pair(p.x, p.y), std::pair(125, 280));
        }
}

TEST(ThreeDProjection, OracleScriptReproducesItsGoldenFile) {
    if (testutil::Run("/usr/bin/python3 -c 'import numpy' 2>/dev/null") != 0) GTEST_SKIP() << "numpy not available";
    testutil::TempDir dir;
    const std::string out = dir.File("golden.txt");
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" + std::string(TEVORIN_SOURCE_DIR) + "/tests/measure/threed_oracle.py' --out '" +
                            out + "'"),
              0);
    EXPECT_EQ(testutil::CompareWithGolden(testutil::ReadAll(out), golden::Path("threed_golden.txt")), "");
}

// A flat frame of grey 10 with an optional 11 x 11 plateau of 255 around (50, 40).
Bitmap24 PlateauFrame(bool plateau) {
    Bitmap24 bmp(100, 80);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            const uint8_t v = plateau && std::abs(x - 50) <= 5 && std::abs(y - 40) <= 5 ? 255 : 10;
            uint8_t* p = bmp.Scanline(y) + 3 * x;
            p[0] = p[1] = p[2] = v;
        }
    return bmp;
}

QImage Picture(const Bitmap24& frame, const threed::ViewSettings& view, const ApertureGrid& mask) {
    threed::Patch raw, heights;
    threed::ReadRaw(frame, 50, 40, raw);
    threed::ComputeHeights(raw, 20, heights);
    QImage picture(threed::kPictureWidth, threed::kPictureHeight, QImage::Format_RGB888);
    picture.fill(Qt::black);
    threed::Draw(raw, heights, mask, view, picture);
    return picture;
}

ApertureGrid RingMask() {
    ApertureGrid mask;
    DirectionLines lines;
    MaskGeometry g;
    g.ApertureRadius = 4, g.BkgInnerRadius = 8, g.BkgOuterRadius = 12;
    BuildApertureMask(mask, lines, g);
    return mask;
}

// In each of the three turn bands, a vertex of the flat mesh ten cells behind the
// plateau is a black line without it and covered by the plateau's near wall with it.
TEST(ThreeDPicture, TallPlateauHidesTheMeshBehindItInEveryBand) {
    const ApertureGrid mask = RingMask();
    for (double turn : {-60.0, -20.0, 20.0, 60.0, 88.0}) {
        threed::ViewSettings view;
        view.Turn = turn;
        view.ShowAperture = false;
        const double t = turn * 3.14 / 180;
        const int i = static_cast<int>(std::lround(10 * std::sin(t))), j = static_cast<int>(std::lround(-10 * std::cos(t)));
        const threed::ScreenPoint behind = threed::Project(i, j, 30, view.Tilt, turn);  // flat heights 30
        const QImage flat = Picture(PlateauFrame(false), view, mask);
        const QImage spiked = Picture(PlateauFrame(true), view, mask);
        EXPECT_EQ(flat.pixelColor(behind.x, behind.y), QColor(Qt::black)) << turn;
        EXPECT_EQ(spiked.pixelColor(behind.x, behind.y), QColor(Qt::white)) << turn;
    }
}

// Outlines only with "Show": the star's red, the background's blue, 2 pixels wide;
// the whole picture is cleared first, so nothing of the black fill survives below
// a steeply tilted mesh.
TEST(ThreeDPicture, OutlinesOnlyWhenShownAndThePictureIsClearedWhole) {
    const ApertureGrid mask = RingMask();
    auto count = [](const QImage& img, QColor c) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y) == c;
        return n;
    };
    threed::ViewSettings view;
    view.Tilt = 0;  // seen from the side: the mesh is a band, the rest white
    const QImage side = Picture(PlateauFrame(false), view, mask);
    for (int y = 300; y < threed::kPictureHeight; y += 7) EXPECT_EQ(side.pixelColor(10, y), QColor(Qt::white)) << y;
    EXPECT_EQ(count(side, Qt::white) + count(side, Qt::black) + count(side, QColor(255, 0, 0)) + count(side, QColor(0, 0, 255)),
              side.width() * side.height());

    view.Tilt = -90;  // from above: the mask's rings as squares of lines
    const QImage shown = Picture(PlateauFrame(false), view, mask);
    const int red = count(shown, QColor(255, 0, 0)), blue = count(shown, QColor(0, 0, 255));
    EXPECT_GT(red, 0);
    EXPECT_GT(blue, 0);
    // The star boundary of a radius-4 disc seen from above runs along x = 125 - 5 * 4.5 ... on
    // grid lines; a 2-pixel pen makes every vertical run two pixels wide.
    int widest = 0;
    for (int y = 0; y < shown.height(); ++y) {
        int run = 0;
        for (int x = 0; x < shown.width(); ++x) {
            run = shown.pixelColor(x, y) == QColor(255, 0, 0) ? run + 1 : 0;
            if (run > 0 && (x + 1 == shown.width() || shown.pixelColor(x + 1, y) != QColor(255, 0, 0)) && run < 4)
                widest = std::max(widest, run);
        }
    }
    EXPECT_EQ(widest, 2);
    view.ShowAperture = false;
    const QImage hidden = Picture(PlateauFrame(false), view, mask);
    EXPECT_EQ(count(hidden, QColor(255, 0, 0)) + count(hidden, QColor(0, 0, 255)), 0);
}

}  // namespace
