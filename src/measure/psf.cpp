#include "measure/psf.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/numtext.h"

namespace {

constexpr double kAspect = 1.125;
constexpr double kFwhmPerSigma = 2.35482;
constexpr double kStartRms = 1e10;
constexpr int kFitHalf = 25;    // the fit disc's grid
constexpr int kCoreRegion = 10; // width and amplitude stages
constexpr double kMaxSigma = 1000;
constexpr int kMaxCells = (2 * kFitHalf + 1) * (2 * kFitHalf + 1);

// A width that is no positive number counts as the start value; one far beyond
// any patch is held where the volume stays finite.
double UsableSigma(double s) { return std::isfinite(s) && s > 0 ? std::min(s, kMaxSigma) : 5.0; }

int32_t ToInt32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// The usable fit cells of one search region as flat lists.
struct CellList {
    int n = 0;
    int reach = 0;  // largest |dx| or |dy| among the cells
    std::array<int8_t, kMaxCells> dx{}, dy{};
    std::array<double, kMaxCells> p{};

    void Collect(const ProfileFit& fit, int region) {
        n = 0;
        reach = 0;
        for (int x = -region; x <= region; ++x)
            for (int y = -region; y <= region; ++y) {
                if (fit.Marks.at(x, y) != kFitUsed) continue;
                const size_t i = static_cast<size_t>(n++);
                dx[i] = static_cast<int8_t>(x);
                dy[i] = static_cast<int8_t>(y);
                p[i] = fit.P.at(x, y);
                reach = std::max({reach, std::abs(x), std::abs(y)});
            }
    }
};

// exp(-2 (t / sigma)^2) along one axis, t = offset + centre, over -reach..reach;
// the 2-D Gaussian is the product of the two axes' factors. A width <= 0 gives
// the factor 0 everywhere (no model term).
void AxisFactors(double* out, int reach, double centre, double sigma, double scale) {
    if (!(sigma > 0)) {
        std::fill(out, out + 2 * reach + 1, 0.0);
        return;
    }
    const double q = -2.0 / (sigma * sigma);
    for (int d = -reach; d <= reach; ++d) {
        const double t = scale * (d + centre);
        const double e = t == 0 ? 1.0 : std::exp(q * t * t);
        out[d + reach] = std::isfinite(e) ? e : 0.0;
    }
}

class Evaluator {
public:
    Evaluator(const CellList& cells, double bg, bool pixelAspect)
        : c_(cells), bg_(bg), yScale_(pixelAspect ? kAspect : 1.0) {}

    // rms of the model with amplitude `amp` (= a x A0), width and centre.
    double Rms(double amp, double sigma, double cx, double cy) const {
        const int r = c_.reach;
        double ex[2 * kFitHalf + 1], ey[2 * kFitHalf + 1];
        AxisFactors(ex, r, cx, sigma, 1.0);
        AxisFactors(ey, r, cy, sigma, yScale_);
        double sum = 0;
        for (int i = 0; i < c_.n; ++i) {
            const size_t u = static_cast<size_t>(i);
            const double m = bg_ + amp * (ex[c_.dx[u] + r] * ey[c_.dy[u] + r]);
            const double d = m - c_.p[u];
            sum += d * d;
        }
        return Finish(sum);
    }

    // The Gaussian factor of every cell, for the amplitude stages.
    void Factors(double sigma, double cx, double cy, double* g) const {
        const int r = c_.reach;
        double ex[2 * kFitHalf + 1], ey[2 * kFitHalf + 1];
        AxisFactors(ex, r, cx, sigma, 1.0);
        AxisFactors(ey, r, cy, sigma, yScale_);
        for (int i = 0; i < c_.n; ++i)
            g[i] = ex[c_.dx[static_cast<size_t>(i)] + r] * ey[c_.dy[static_cast<size_t>(i)] + r];
    }
    double RmsWithFactors(double amp, const double* g) const {
        double sum = 0;
        for (int i = 0; i < c_.n; ++i) {
            const double d = bg_ + amp * g[i] - c_.p[static_cast<size_t>(i)];
            sum += d * d;
        }
        return Finish(sum);
    }

private:
    double Finish(double sum) const {
        const double r = std::sqrt(sum / std::max(c_.n, 1));
        return std::isfinite(r) ? r : std::numeric_limits<double>::max();
    }
    const CellList& c_;
    double bg_;
    double yScale_;
};

// The first candidate j in lo..hi with the smallest rms (strict comparison).
template <typename F>
int BestCandidate(int lo, int hi, F&& rmsOf, double* bestRms = nullptr) {
    double best = kStartRms;
    int win = lo;
    for (int j = lo; j <= hi; ++j) {
        const double r = rmsOf(j);
        if (r < best) {
            best = r;
            win = j;
        }
    }
    if (bestRms) *bestRms = best;
    return win;
}

QColor FromColorRef(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

constexpr uint32_t kObjectColour[3] = {0xFF0000, 0x0088CC, 0xFF00FF};

}  // namespace

uint8_t PixelAspectFor(double frameRate, int width, int height) {
    if (height <= 0) return 0;
    return frameRate > 26 && static_cast<double>(width) / height > 1.4 ? 1 : 0;
}

void GaussianPsfModel(PsfState& psf, int k, double sigma, double amplitude) {
    const double s = sigma >= 1.0 ? sigma : 1.0;  // NaN counts as below
    const double yScale = psf.PixelAspect ? kAspect : 1.0;
    PsfTemplateGrid& t = psf.PsfTemplate[k];
    for (int dx = -25; dx <= 25; ++dx)
        for (int dy = -25; dy <= 25; ++dy) {
            const double r2 = dx * dx + (yScale * dy) * (yScale * dy);
            const double v = amplitude * std::exp(-2.0 * r2 / (s * s));
            t.at(dx, dy) = std::isfinite(v) ? v : 0.0;
        }
}

void ReadProfilePatch(const Bitmap24& frame, int x, int y, const ApertureGrid& mask, const GammaLut* gamma,
                      int smoothKernel, ProfileFit& fit) {
    constexpr int H = ProfilePatch::kHalf;
    const int64_t w = frame.Width(), h = frame.Height();
    double bgSum = 0;
    int bgCount = 0;
    for (int dx = -H; dx <= H; ++dx)
        for (int dy = -H; dy <= H; ++dy) {
            const int64_t px = static_cast<int64_t>(x) + dx, py = static_cast<int64_t>(y) + dy;
            const bool in = px >= 0 && py >= 1 && px < w && py < h;
            double v = 0;
            if (in) {
                const uint8_t* p = frame.Scanline(static_cast<int>(py)) + 3 * px;
                v = gamma ? (static_cast<int>((*gamma)[p[0]]) + (*gamma)[p[1]] + (*gamma)[p[2]]) / 3.0
                          : (static_cast<int>(p[0]) + p[1] + p[2]) / 3.0;
                if (mask.at(dx, dy) == kMaskBackground) {
                    bgSum += v;
                    ++bgCount;
                }
            }
            fit.P.at(dx, dy) = v;
            fit.Inside.at(dx, dy) = in ? 1 : 0;
        }
    fit.Bg = bgSum / std::max(bgCount, 1);
    fit.C = fit.P.at(0, 0);
    if (smoothKernel != kGaussianOff) {
        // Cells beyond the frame hold the background level while smoothing, so
        // the edge adds no false dark ring to the star's profile.
        for (size_t i = 0; i < fit.P.cells.size(); ++i)
            if (!fit.Inside.cells[i]) fit.P.cells[i] = fit.Bg;
        SmoothProfilePatch(fit.P, smoothKernel);
    }
}

void FitProfile(ProfileFit& fit, const ProfileFitSettings& st) {
    const double psfSigma = UsableSigma(st.PsfSigma);
    const bool keepSigma = st.FixedSigma && !st.Learning;

    // Fit disc and saturation.
    fit.Rf = st.Learning ? 8 : static_cast<int>(std::min<int64_t>(20, numtext::RoundHalfAway(std::min(2 * psfSigma, 64.0))));
    const int rf2 = fit.Rf * fit.Rf;
    fit.Saturated = false;
    fit.Peak = 0;
    fit.Marks.Fill(kFitNone);
    for (int dx = -kFitHalf; dx <= kFitHalf; ++dx)
        for (int dy = -kFitHalf; dy <= kFitHalf; ++dy) {
            if (dx * dx + dy * dy > rf2) continue;
            uint8_t& m = fit.Marks.at(dx, dy);
            const double v = fit.P.at(dx, dy);
            if (!fit.Inside.at(dx, dy)) {
                m = kFitOutside;
            } else if (v >= st.SaturationLimit) {
                m = kFitSaturated;
                fit.Saturated = true;
            } else {
                m = kFitUsed;
                fit.Peak = std::max(fit.Peak, v);
            }
        }
    fit.A0 = fit.Saturated ? st.InitialPeak : (fit.Peak + fit.C) / 2 - fit.Bg;

    CellList core, whole;
    core.Collect(fit, kCoreRegion);
    whole.Collect(fit, kFitHalf);
    fit.Failed = core.n == 0;
    if (fit.Failed) {
        fit.Sigma = psfSigma;
        fit.Cx = fit.Cy = 0;
        fit.AmplitudeFactor = 0;
        fit.A = 0;
        fit.Rms = 0;
        return;
    }
    const Evaluator coreEval(core, fit.Bg, st.PixelAspect), wholeEval(whole, fit.Bg, st.PixelAspect);
    const double a0 = fit.A0;

    // Width, first pass.
    double sigma;
    if (keepSigma) {
        sigma = psfSigma;
    } else {
        int n = st.Learning ? 14 : static_cast<int>(numtext::RoundHalfAway(std::min(1.2 * psfSigma, 100.0)));
        if (n == 0) n = 2;
        n = std::min(n, 14);
        const int coarse = n >= 2 ? BestCandidate(2, n, [&](int s) { return coreEval.Rms(a0, s, 0, 0); }) : 0;
        const int j = BestCandidate(-10, 10, [&](int j) { return coreEval.Rms(a0, coarse + j / 10.0, 0, 0); });
        sigma = std::max(coarse + j / 10.0, 1.0);
    }

    // Centre, in tenths of a pixel.
    const int reach = st.Learning ? 12 : 6;
    const int side = 2 * reach + 1;
    const int centre = BestCandidate(0, side * side - 1, [&](int i) {
        const int sy = i / side - reach, sx = i % side - reach;
        return wholeEval.Rms(a0, sigma, sx / 10.0, sy / 10.0);
    });
    const double cx = (centre % side - reach) / 10.0, cy = (centre / side - reach) / 10.0;

    // Width, second pass.
    if (keepSigma) {
        sigma = psfSigma;
    } else {
        const double base = static_cast<double>(std::clamp<int64_t>(numtext::RoundHalfEven(100 * sigma), 150, 1000)) / 100;
        const int j1 = BestCandidate(-10, 10, [&](int j) { return coreEval.Rms(a0, base + j / 10.0, cx, cy); });
        const int j2 =
            BestCandidate(-10, 10, [&](int j) { return coreEval.Rms(a0, base + j1 / 10.0 + j / 100.0, cx, cy); });
        sigma = std::max(base + j1 / 10.0 + j2 / 100.0, 1.0);
        if (!st.Learning) {
            sigma = std::max(sigma, psfSigma * st.SigmaLowPercent / 100.0);
            sigma = std::min(sigma, psfSigma * st.SigmaHighPercent / 100.0);
        }
    }

    // Amplitude.
    double g[kMaxCells];
    coreEval.Factors(sigma, cx, cy, g);
    const int a1 = BestCandidate(-7, 20, [&](int j) { return coreEval.RmsWithFactors(j / 10.0 * a0, g); });
    const int a2 =
        BestCandidate(-10, 10, [&](int j) { return coreEval.RmsWithFactors((a1 / 10.0 + j / 100.0) * a0, g); });
    double rms = 0;
    const int a3 = BestCandidate(
        -10, 10, [&](int j) { return coreEval.RmsWithFactors((a1 / 10.0 + a2 / 100.0 + j / 1000.0) * a0, g); }, &rms);

    fit.Sigma = sigma;
    fit.Cx = cx;
    fit.Cy = cy;
    fit.AmplitudeFactor = a1 / 10.0 + a2 / 100.0 + a3 / 1000.0;
    fit.A = fit.AmplitudeFactor * a0;
    fit.Rms = rms;
}

double ProfileModelAt(const ProfileFit& fit, double r) {
    if (!(fit.Sigma > 0)) return fit.Bg;
    const double t = r / fit.Sigma;
    const double v = fit.Bg + fit.A * std::exp(-2 * t * t);
    return std::isfinite(v) ? v : fit.Bg;
}

double ComputeReferenceFlux(const Bitmap24& frame, int x, int y, double cx, double cy, const ApertureGrid& mask) {
    const int64_t w = frame.Width(), h = frame.Height();
    double star = 0, bkg = 0;
    int ns = 0, nb = 0;
    for (int dx = -25; dx <= 25; ++dx) {
        const int64_t px = numtext::RoundHalfEven(static_cast<double>(x) + dx + cx);
        if (px < 0 || px >= w) continue;
        for (int dy = -25; dy <= 25; ++dy) {
            const int32_t m = mask.at(dx, dy);
            if (m != kMaskStar && m != kMaskBackground) continue;
            const int64_t py = numtext::RoundHalfEven(static_cast<double>(y) + dy + cy);
            if (py < 0 || py >= h) continue;
            const uint8_t* p = frame.Scanline(static_cast<int>(py)) + 3 * px;
            const double q = (static_cast<int>(p[0]) + p[1] + p[2]) / 3.0;
            if (m == kMaskStar) {
                star += q;
                ++ns;
            } else {
                bkg += q;
                ++nb;
            }
        }
    }
    return star - ns * bkg / std::max(nb, 1);
}

void DrawProfileFit(QImage& image, const ProfileFit& fit, int k, double readerFrameRate) {
    if (image.isNull()) return;
    QPainter p(&image);
    const auto y = [](double v) {
        return 220 - static_cast<int>(std::clamp<int64_t>(numtext::RoundHalfEven(0.75 * v), -100000, 100000));
    };
    p.setPen(Qt::white);
    p.setBrush(Qt::white);
    p.drawRect(0, 0, image.width() - 1, image.height() - 1);
    p.setPen(FromColorRef(0x808080));
    p.drawLine(30, 220, 200, 220);
    p.setPen(FromColorRef(0x00FF00));
    p.drawLine(30, 28, 30, 200);

    p.setPen(FromColorRef(0x0000FF));
    QPoint at(30, y(fit.A + fit.Bg));
    for (int i = 1; i <= 110; ++i) {
        const QPoint next(30 + static_cast<int>(numtext::RoundHalfEven(1.5 * i)), y(ProfileModelAt(fit, i / 10.0)));
        p.drawLine(at, next);
        at = next;
    }

    p.setPen(FromColorRef(kObjectColour[std::clamp(k, 1, 3) - 1]));
    const double yScale = readerFrameRate > 26 ? kAspect : 1.0;
    const int rcx = static_cast<int>(numtext::RoundHalfEven(fit.Cx)), rcy = static_cast<int>(numtext::RoundHalfEven(fit.Cy));
    for (int dx = -kCoreRegion; dx <= kCoreRegion; ++dx)
        for (int dy = -kCoreRegion; dy <= kCoreRegion; ++dy) {
            if (fit.Marks.at(dx, dy) != kFitUsed) continue;
            const int px = rcx + dx, py = rcy + dy;
            if (!ProfilePatch::InRange(px, py)) continue;
            const double ty = yScale * (dy + fit.Cy);
            const double r = std::sqrt((dx + fit.Cx) * (dx + fit.Cx) + ty * ty);
            const int u = 30 + static_cast<int>(numtext::RoundHalfEven(15 * r));
            const int v = y(fit.P.at(px, py));
            p.drawEllipse(QRect(u - 2, v - 2, 4, 4));
        }
}

ProfileResult MeasureStarProfile(bool measuring, int k, const Bitmap24& frame, int x, int y, MeasureState& state,
                                 const MaskState& masks, PsfState& psf, const PsfOptions& options,
                                 const ProfileCanvas* canvas) {
    const bool learning = !measuring;
    const GammaLut* gamma =
        options.Gamma && options.Gamma->GammaMode == kGammaMeasure ? &options.Gamma->GammaTable : nullptr;
    ProfileFit fit;
    ReadProfilePatch(frame, x, y, masks.ApertureMask[k], gamma, options.SmoothKernel, fit);

    ProfileFitSettings st;
    st.Learning = learning;
    st.PsfSigma = state.PsfSigma[k];
    st.SaturationLimit = options.SaturationLimit;
    st.InitialPeak = options.InitialPeak;
    st.FixedSigma = options.FixedSigma;
    st.SigmaLowPercent = options.SigmaLowPercent;
    st.SigmaHighPercent = options.SigmaHighPercent;
    st.PixelAspect = psf.PixelAspect != 0;
    FitProfile(fit, st);

    ProfileResult r;
    r.saturated = fit.Saturated;
    if (fit.Failed) {
        // Nothing measured: the highest pixel of the disc over the background is
        // the best peak figure there is.
        double top = fit.Bg;
        for (int dx = -kFitHalf; dx <= kFitHalf; ++dx)
            for (int dy = -kFitHalf; dy <= kFitHalf; ++dy)
                if (fit.Marks.at(dx, dy) == kFitSaturated) top = std::max(top, fit.P.at(dx, dy));
        state.FrameObject(k).PeakEstimate = top - fit.Bg;
        r.failed = true;
        r.sigma = fit.Sigma;
        return r;
    }
    r.sigma = fit.Sigma;
    r.amplitude = fit.A;
    r.cx = fit.Cx;
    r.cy = fit.Cy;
    r.rms = fit.Rms;
    state.FrameObject(k).PeakEstimate = fit.A;

    if (learning) {
        if (psf.LearningIndex >= 0 && psf.LearningIndex < PsfState::kMaxLearningRecords) {
            const size_t i = static_cast<size_t>(psf.LearningIndex);
            if (psf.LearningRecords.size() <= i) psf.LearningRecords.resize(i + 1);
            psf.LearningRecords[i] = {fit.Rms, std::fabs(fit.A), fit.Sigma};
        }
        GaussianPsfModel(psf, k, fit.Sigma, fit.A);
    }
    r.value = M_PI * fit.Sigma * fit.Sigma * fit.A / 2;
    if (psf.PixelAspect) r.value /= kAspect;
    r.fwhm = kFwhmPerSigma * fit.Sigma;
    if (learning) psf.ReferenceFlux[k] = ComputeReferenceFlux(frame, x, y, fit.Cx, fit.Cy, masks.ApertureMask[k]);
    if (canvas && canvas->Image && k == canvas->CurrentObject) DrawProfileFit(*canvas->Image, fit, k, canvas->ReaderFrameRate);
    return r;
}

LearnedRadii ApplyLearnedRadii(MeasureState& state, MaskState& masks, int k, double sigma, bool syncTracking) {
    LearnedRadii out;
    out.s = static_cast<int>(std::clamp<int64_t>(numtext::RoundHalfAway(sigma), INT32_MIN, INT32_MAX));
    if (out.s >= 21 || out.s < 0) return out;
    out.applied = true;
    state.ForAllLines(k, [&](DataLineObject& o) {
        o.ApertureRadius = out.s;
        o.BkgInnerRadius = out.s + 2;
        // The chain aperture < inner <= outer holds for every mask.
        o.BkgOuterRadius = std::max(o.BkgOuterRadius, o.BkgInnerRadius);
        if (syncTracking) o.TrackRadius = out.s;
    });
    BuildApertureMasks(masks, state, k);
    return out;
}

PsfReadouts StorePsfValues(const Bitmap24& frame, int currentObject, int k, int x, int y, MeasureState& state,
                           const MaskState& masks, PsfState& psf, const PsfOptions& options,
                           PhotometryState& photometry, const ApertureOptions& apertureOptions,
                           const ProfileCanvas* canvas) {
    PsfReadouts out;
    out.Current = k == currentObject;
    out.Fit = MeasureStarProfile(true, k, frame, x, y, state, masks, psf, options, canvas);
    if (out.Fit.failed) {
        out.Failed = true;
        ApertureOptions ao = apertureOptions;
        ao.CurrentObject = currentObject;
        out.Aperture = StoreApertureValues(frame, k, x, y, state.DataLines, masks, photometry, ao);
        return out;
    }
    out.PanelCleared = out.Current && apertureOptions.ValuePanelShown;
    const double value = out.Fit.value;
    state.ForAllLines(k, [&](DataLineObject& o) {
        o.Value = value;
        o.PeakHeight = ToInt32(numtext::RoundHalfAway(value));
        o.BackgroundLevel = 0;
        o.AperturePixels = 1;
        o.BackgroundPixels = 1;
        o.Fwhm = out.Fit.fwhm;
    });
    if (out.Current) out.Edit9 = FormatOneDecimal(value);
    out.Edit23 = numtext::FormatFixed(out.Fit.fwhm, 6, 2);
    return out;
}
