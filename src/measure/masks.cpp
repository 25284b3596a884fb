#include "measure/masks.h"

#include <algorithm>
#include <cmath>

#include "platform/numtext.h"

namespace {

constexpr int kReach = 25;  // builders write offsets -25..25
constexpr double kSteep = 1000000.0;

template <typename Grid>
void FillDisc(Grid& grid, int r, int32_t value) {
    if (r < 0) return;
    r = std::min(r, kReach);
    for (int y = -r; y <= r; ++y) grid.at(0, y) = value;
    for (int i = 1; i <= r; ++i) {
        const double half = i - 0.5;
        const int h = static_cast<int>(numtext::RoundHalfEven(std::sqrt(static_cast<double>(r) * r - half * half)));
        for (int y = -h; y <= h; ++y) {
            grid.at(i, y) = value;
            grid.at(-i, y) = value;
        }
    }
}

// Runs fn(x, y, cell) over the background cells of the central 51 x 51.
template <typename Fn>
void ForBackground(ApertureGrid& grid, Fn&& fn) {
    for (int x = -kReach; x <= kReach; ++x)
        for (int y = -kReach; y <= kReach; ++y) {
            int32_t& c = grid.at(x, y);
            if (c == kMaskBackground) fn(x, y, c);
        }
}

int ClampRadius(int v) { return std::clamp(v, 0, kReach); }

}  // namespace

MaskGeometry MaskGeometryOf(const MeasureState& state, const MaskState& masks, int k) {
    const DataLineObject& o = state.FrameObject(k);
    MaskGeometry g;
    g.ApertureRadius = o.ApertureRadius;
    g.BkgInnerRadius = o.BkgInnerRadius;
    g.BkgOuterRadius = o.BkgOuterRadius;
    g.BkgShape = o.BkgShape;
    g.Gap = o.BkgGap;
    g.Width = o.BkgWidth;
    g.OuterControl = o.BkgOuterRadius;
    g.RectangleWidth = state.RectangleWidth[k];
    g.RectangleHeight = state.RectangleHeight[k];
    g.Spin = state.SpinPoint[k];
    g.CutUpper = masks.CutBkgUpper != 0;
    g.CutLower = masks.CutBkgLower != 0;
    return g;
}

DirectionLines ComputeDirectionLines(IntPoint spin, int gap, int width) {
    DirectionLines l;
    const double g = gap, w = width;
    if (spin.x == 0) {
        l.m1 = kSteep;
        l.c1 = spin.y >= 0 ? -g : g;
    } else {
        l.m1 = static_cast<double>(spin.y) / spin.x;
        l.c1 = std::sqrt(l.m1 * l.m1 + 1) * (spin.x > 0 ? g : -g);
    }
    if (spin.y == 0) {
        l.m2 = kSteep;
        l.c2 = 1.0;
    } else {
        l.m2 = -1 / l.m1;
        l.c2 = std::sqrt(l.m1 * l.m1 + 1) * (spin.x > 0 ? w : -w) * l.m2;
    }
    return l;
}

void ClearApertureMask(ApertureGrid& grid) { grid.Fill(kMaskNone); }

void FillMaskDisc(ApertureGrid& grid, int r, int32_t value) { FillDisc(grid, r, value); }

void BuildRectangleMask(ApertureGrid& grid, int a, int b) {
    a = std::clamp(a, 1, 2 * kReach + 1);
    b = std::clamp(b, 1, 2 * kReach + 1);
    const int xLo = -(a / 2), xHi = (a - 1) / 2;
    const int yLo = -((b - 1) / 2), yHi = b / 2;
    grid.Fill(kMaskNone);
    for (int x = -kReach; x <= kReach; ++x)
        for (int y = -kReach; y <= kReach; ++y)
            grid.at(x, y) = (x >= xLo && x <= xHi && y >= yLo && y <= yHi) ? kMaskStar : kMaskBackground;
}

void CutSunlitSide(ApertureGrid& grid, IntPoint spin, const DirectionLines& lines, int gap, int width, bool cutUpper,
                   bool cutLower) {
    const int dx = spin.x, dy = spin.y;
    ForBackground(grid, [&](int x, int y, int32_t& c) {
        // Gap side.
        if (dx != 0) {
            const double l = lines.m1 * x + lines.c1;
            if (dx > 0 ? !(y <= l) : !(y >= l)) {
                c = kMaskNone;
                return;
            }
        } else if (dy < 0 ? x > gap : x < -gap) {
            c = kMaskNone;
            return;
        }
        // Width lines.
        if (dy != 0) {
            const double u = lines.m2 * x + lines.c2, v = lines.m2 * x - lines.c2;
            const double lo = std::min(u, v), hi = std::max(u, v);
            if ((cutUpper && y < lo) || (cutLower && y > hi)) c = kMaskNone;
        } else if (std::abs(x) > width) {
            c = kMaskNone;
        }
    });
}

void CutLimbBand(ApertureGrid& grid, IntPoint spin, const DirectionLines& lines, int gap, int width, int outerControl) {
    if (outerControl < gap) return;
    const int dx = spin.x, dy = spin.y;
    ForBackground(grid, [&](int x, int y, int32_t& c) {
        // Strip along the direction.
        if (dx != 0) {
            const double u = lines.m1 * x + lines.c1, v = lines.m1 * x - lines.c1;
            const double lo = std::min(u, v), hi = std::max(u, v);
            if (lo < y && y < hi) {
                c = kMaskNone;
                return;
            }
        } else if (-gap < x && x < gap) {
            c = kMaskNone;
            return;
        }
        // Band across.
        if (dy != 0) {
            const double u = lines.m2 * x + lines.c2, v = lines.m2 * x - lines.c2;
            const double lo = std::min(u, v), hi = std::max(u, v);
            if (!(lo <= y && y <= hi)) c = kMaskNone;
        } else if (std::abs(x) > width) {
            c = kMaskNone;
        }
    });
}

bool BuildApertureMask(ApertureGrid& grid, DirectionLines& lines, const MaskGeometry& g) {
    if (g.BkgShape == kShapeRectangle) {
        BuildRectangleMask(grid, g.RectangleWidth, g.RectangleHeight);
        return false;
    }
    const int gap = ClampRadius(g.Gap), width = ClampRadius(g.Width);
    lines = ComputeDirectionLines(g.Spin, gap, width);
    ClearApertureMask(grid);
    FillMaskDisc(grid, ClampRadius(g.BkgOuterRadius), kMaskBackground);
    // Inner radius 0 gives the disc -1, which writes nothing: no gap.
    FillMaskDisc(grid, ClampRadius(g.BkgInnerRadius) - 1, kMaskNone);
    FillMaskDisc(grid, ClampRadius(g.ApertureRadius), kMaskStar);
    if (g.BkgShape == kShapeSunlitFace)
        CutSunlitSide(grid, g.Spin, lines, gap, width, g.CutUpper, g.CutLower);
    else if (g.BkgShape == kShapeLimb)
        CutLimbBand(grid, g.Spin, lines, gap, width, g.OuterControl);
    return true;
}

bool BuildApertureMasks(MaskState& masks, const MeasureState& state, int k) {
    return BuildApertureMask(masks.ApertureMask[k], masks.SpinLines[k], MaskGeometryOf(state, masks, k));
}

void BuildAllApertureMasks(MaskState& masks, const MeasureState& state) {
    for (int k = 1; k <= 3; ++k) BuildApertureMasks(masks, state, k);
}

MaskCounts CountMaskCells(const ApertureGrid& grid) {
    MaskCounts n;
    for (int x = -kReach; x <= kReach; ++x)
        for (int y = -kReach; y <= kReach; ++y) {
            const int32_t c = grid.at(x, y);
            n.star += c == kMaskStar;
            n.background += c == kMaskBackground;
        }
    return n;
}

MaskCountTexts ShowMaskCounts(const ApertureGrid& grid, bool psfPhotometry) {
    if (psfPhotometry) return {};
    const MaskCounts n = CountMaskCells(grid);
    return {std::to_string(n.star), std::to_string(n.background)};
}

void ClearTrackMask(TrackGrid& grid) { grid.Fill(0); }

void FillTrackDisc(TrackGrid& grid, int r, int32_t value) {
    FillDisc(grid, r, value);
    grid.at(0, 0) = 1;
}

void BuildTrackMask(MaskState& masks, int k, int r) {
    ClearTrackMask(masks.TrackMask[k]);
    FillTrackDisc(masks.TrackMask[k], r, 1);
}
