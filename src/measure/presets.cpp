#include "measure/presets.h"

#include <algorithm>
#include <cmath>

#include "platform/numtext.h"

namespace {

int32_t TrackRadiusOf(double sigma) {
    if (!std::isfinite(sigma)) return 0;
    return static_cast<int32_t>(std::clamp<int64_t>(numtext::RoundHalfAway(std::clamp(sigma, -1e6, 1e6)), 0, 25));
}

}  // namespace

bool ApplyPresetToLines(DataLineSet& lines, const PerObject<double>& psfSigma, int preset, bool link) {
    if (preset < 0 || preset > 4) return false;
    // Tracking radii of A and C (B's never moves): from their own widths while
    // "Link" is clear; under "Link" only the tracking-star type sets them, from A's.
    int32_t radiusA = TrackRadiusOf(psfSigma[1]);
    int32_t radiusC = TrackRadiusOf(psfSigma[3]);
    if (preset == 3 && link) radiusA = radiusC = TrackRadiusOf((psfSigma[1] + 1) * 0.5);
    for (DataLine& line : lines) {
        for (int k = 1; k <= 3; ++k) {
            DataLineObject& o = line.Objects[k];
            switch (preset) {
                case 0:
                    o.TrackMode = kTrackAnchor;
                    o.TrackThreshold = 50;
                    o.BkgOuterRadius = 25;
                    o.EstimatedTrack = 0;
                    break;
                case 1:
                    o.BkgShape = kShapeLimb;
                    o.TrackMode = kTrackDrift;
                    o.TrackThreshold = 50;
                    if (k == 1) o.BkgOuterRadius = 25;
                    o.EstimatedTrack = 0;
                    break;
                case 2:
                    o.BkgShape = kShapeLimb;
                    o.TrackMode = kTrackAnchor;
                    o.TrackThreshold = 50;
                    o.BkgOuterRadius = 25;
                    break;
                case 3:
                    o.BkgShape = kShapeRing;
                    o.TrackMode = k == 2 ? kTrackDrift : kTrackAnchor;
                    o.TrackThreshold = 50;
                    if (o.BkgInnerRadius <= 17) o.BkgOuterRadius = 17;
                    break;
                case 4:
                    o.BkgShape = kShapeRing;
                    o.TrackMode = kTrackDrift;
                    o.TrackThreshold = 75;
                    if (o.BkgInnerRadius <= 15) o.BkgOuterRadius = 17;
                    o.EstimatedTrack = 0;
                    break;
            }
            if (k != 2 && preset != 0 && (!link || preset == 3)) o.TrackRadius = k == 1 ? radiusA : radiusC;
        }
    }
    return true;
}

void ApplyMemorizedRadii(DataLineSet& lines, const DataLineSet& memorized) {
    for (int k = 1; k <= 3; ++k) {
        const DataLineObject& m = memorized[0].Objects[k];
        const int32_t outer = std::clamp<int32_t>(m.BkgOuterRadius, 2, 25);
        const int32_t inner = std::clamp<int32_t>(m.BkgInnerRadius, 1, outer);
        const int32_t aperture = std::clamp<int32_t>(m.ApertureRadius, 0, inner - 1);
        for (DataLine& line : lines) {
            DataLineObject& o = line.Objects[k];
            o.ApertureRadius = aperture;
            o.BkgInnerRadius = inner;
            o.BkgOuterRadius = outer;
        }
    }
}
