#include "analysis/integration_base.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "measure/results_table.h"
#include "platform/numtext.h"

namespace integration {
namespace {

long double Number(const std::string& text) {
    const auto v = numtext::ParseFloat(text);
    return v && std::isfinite(*v) ? *v : 0.0L;
}

// Field 11 of a row: the plotted value of object A (unreadable: 0).
long double PlottedValue(const std::string& line) { return Number(GetField(line, 11)); }

// RoundHalfAway in extended precision, saturating.
int64_t RoundAway(long double v) {
    if (std::isnan(v)) return 0;
    long double r = std::trunc(v);
    if (std::fabs(v - r) >= 0.5L) r += v < 0 ? -1.0L : 1.0L;
    if (r >= 9223372036854775807.0L) return INT64_MAX;
    if (r <= -9223372036854775808.0L) return INT64_MIN;
    return static_cast<int64_t>(r);
}

}  // namespace

std::optional<int64_t> ShadowVelocity(const std::string& diameterText, const std::string& durationText) {
    const long double d = Number(diameterText), t = Number(durationText);
    if (!(d > 0 && t > 0)) return std::nullopt;
    const long double v = d * 1000 / t;
    if (!(v <= 20000)) return std::nullopt;
    return RoundAway(v);
}

std::optional<Distance> DistanceFromParallax(const std::string& parallaxText) {
    const long double p = Number(parallaxText);
    if (p == 0) return std::nullopt;
    Distance d;
    d.km = RoundAway(6378.137L / (p * std::numbers::pi_v<long double> / 180 / 3600));
    // The Fresnel panel's own limit: kilometres x 1000 stay within 64 bits.
    d.metres = std::clamp<int64_t>(d.km, -kMaxDistanceKm, kMaxDistanceKm) * 1000;
    return d;
}

bool DistanceUsable(const Distance& d) { return d.km >= 1 && d.km <= kMaxDistanceKm; }

std::string ParallaxRefusal(const std::string& parallaxText) {
    return "A parallax of " + parallaxText + " arc seconds gives a distance outside 1 to " +
           std::to_string(kMaxDistanceKm) + " km; it is not taken.";
}

const std::vector<std::string>& FramesItems() {
    static const std::vector<std::string> kItems = {"1 (No integration)", "2", "4", "8", "16", "32", "64"};
    return kItems;
}

int FramesOfItem(int index) { return index >= 0 && index <= 6 ? 1 << index : 1; }

std::vector<JumpEntry> BuildJumpTable(const std::vector<std::string>& dataLines, int n) {
    n = std::min({n, 1000, static_cast<int>(std::min<size_t>(dataLines.size(), 1u << 30)) - 1});
    if (n < 0) return {};
    std::vector<JumpEntry> t(static_cast<size_t>(n) + 1);
    for (int k = 0; k <= n; ++k) {
        JumpEntry& e = t[static_cast<size_t>(k)];
        e.frame = GetField(dataLines[static_cast<size_t>(k)], 1);
        e.value = PlottedValue(dataLines[static_cast<size_t>(k)]);
        e.row = k;
        if (k >= 1) {
            e.jump = e.value - t[static_cast<size_t>(k) - 1].value;
            e.absJump = e.sortKey = std::fabs(e.jump);
        }
    }
    // The sort key, the row and the signed jump move together; the rest stays.
    struct Moving {
        long double key, jump;
        int row;
    };
    std::vector<Moving> m(t.size());
    for (size_t k = 0; k < t.size(); ++k) m[k] = {t[k].sortKey, t[k].jump, t[k].row};
    std::stable_sort(m.begin(), m.end(), [](const Moving& a, const Moving& b) { return a.key < b.key; });
    for (size_t k = 0; k < t.size(); ++k) {
        t[k].sortKey = m[k].key;
        t[k].jump = m[k].jump;
        t[k].row = m[k].row;
    }
    return t;
}

std::optional<Phase> FindPhase(const std::vector<std::string>& dataLines, int frames) {
    if (frames < 2) return std::nullopt;
    const int rows = static_cast<int>(std::min<size_t>(dataLines.size(), 1u << 30));
    const std::vector<JumpEntry> t = BuildJumpTable(dataLines, std::min(rows - 1, 1000));
    const int n = static_cast<int>(t.size()) - 1;
    // The eleven largest jumps; entry 0 has no neighbour below it.
    for (int i = n; i >= std::max(1, n - 10); --i) {
        const int d = t[static_cast<size_t>(i)].row - t[static_cast<size_t>(i) - 1].row;
        if (d % frames != 0) continue;
        const int k = t[static_cast<size_t>(i)].row;
        Phase p;
        p.acceptedRow = k;
        p.offset = (frames / 2 + k - 1) % frames;
        p.phase = k % frames;
        return p;
    }
    return std::nullopt;
}

Blocks AverageBlocks(const std::vector<std::string>& table, int headerLines, int frames, int offset,
                     Progress* progress) {
    Blocks b;
    if (frames < 1 || headerLines < 0) return b;
    const size_t first = std::min(table.size(), static_cast<size_t>(headerLines));
    b.lines.assign(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(first));
    const int last = static_cast<int>(std::min<size_t>(table.size() - first, 1u << 30)) - 1;
    const int h = frames / 2;
    std::vector<long double> values(static_cast<size_t>(last + 1));
    for (int r = 0; r <= last; ++r) {
        if (progress && progress->cancel.load(std::memory_order_relaxed)) {
            b = {};
            b.cancelled = true;
            return b;
        }
        values[static_cast<size_t>(r)] = PlottedValue(table[first + static_cast<size_t>(r)]);
        if (progress) progress->position.store(r / 2, std::memory_order_relaxed);
    }
    for (int r = 0; r <= last; ++r) {
        if ((r - offset) % frames != 0) continue;
        if (progress && progress->cancel.load(std::memory_order_relaxed)) {
            b = {};
            b.cancelled = true;
            return b;
        }
        const int from = h == 0 ? r : std::max(0, r - h + 1);
        const int to = std::min(last, r + h);
        long double sum = 0;
        for (int j = from; j <= to; ++j) sum += values[static_cast<size_t>(j)];
        std::string line = table[first + static_cast<size_t>(r)];
        SetField(line, 11, numtext::FormatFixed(static_cast<double>(sum / (to - from + 1)), 15, 1));
        b.lines.push_back(std::move(line));
        if (progress) progress->position.store((last + r) / 2, std::memory_order_relaxed);
    }
    b.lastRowIndex = static_cast<int>(b.lines.size()) - static_cast<int>(first) - 1;
    // The event: the largest drop among the block rows' jumps.
    const size_t scanned = std::min<size_t>(b.lines.size() - first, 1001);
    const std::vector<std::string> rows(b.lines.begin() + static_cast<std::ptrdiff_t>(first),
                                        b.lines.begin() + static_cast<std::ptrdiff_t>(first + scanned));
    const std::vector<JumpEntry> t = BuildJumpTable(rows, std::min(b.lastRowIndex, 1000));
    for (size_t i = t.size(); i-- > 0;)
        if (t[i].jump < 0) {
            b.selectedFrame = t[i].row;
            break;
        }
    return b;
}

}  // namespace integration
