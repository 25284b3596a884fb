#include "measure/measure_state.h"

#include <algorithm>

void SanitizeNumericText(std::string& text) {
    if (text.empty()) {
        text = "0";
        return;
    }
    // Decimal point pass: the first point is kept (with a "0" before it when it
    // leads and after it when it ends the text); later points are dropped.
    bool seen = false;
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '.') {
            ++i;
            continue;
        }
        if (seen) {
            text.erase(i, 1);
            continue;
        }
        seen = true;
        if (i == 0) {
            text.insert(0, "0");
            ++i;
        }
        if (i + 1 == text.size()) text += '0';
        ++i;
    }
    // Digit pass: everything that is neither a digit nor the point goes.
    std::string kept;
    for (char c : text)
        if ((c >= '0' && c <= '9') || c == '.') kept += c;
    text = kept.empty() ? std::string("0") : kept;
}

void ClampObjectGeometry(DataLineObject& o) {
    o.BkgOuterRadius = std::clamp(o.BkgOuterRadius, 1, 25);
    o.BkgInnerRadius = std::clamp(o.BkgInnerRadius, 1, o.BkgOuterRadius);
    o.ApertureRadius = std::clamp(o.ApertureRadius, 0, o.BkgInnerRadius - 1);
    o.BkgWidth = std::clamp(o.BkgWidth, 0, 25);
    o.BkgGap = std::clamp(o.BkgGap, 0, 25);
    o.TrackRadius = std::clamp(o.TrackRadius, 0, 25);
    o.TrackThreshold = std::clamp(o.TrackThreshold, 0, 99);
}
