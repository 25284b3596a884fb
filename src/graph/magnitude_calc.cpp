#include "graph/magnitude_calc.h"

#include <algorithm>
#include <cmath>

#include "analysis/timing_error.h"
#include "platform/numtext.h"

namespace magnitude {

namespace {

using numtext::FormatFixed;

std::string Fixed(double v, int digits) { return FormatFixed(v, 15, digits); }

constexpr int64_t kDayMs = 86400000;

std::string TwoDigits(int64_t v) { return v < 10 ? "0" + std::to_string(v) : std::to_string(v); }

// Reads a main-window time edit: a whole number, or the whole part of a real.
int32_t WholeOrZero(const std::string& text) {
    if (auto i = numtext::ParseInt32(text)) return *i;
    if (auto f = numtext::ParseFloat(text); f && std::isfinite(*f) && std::fabs(*f) < 2e9)
        return static_cast<int32_t>(numtext::Trunc(*f));
    return 0;
}

std::string Signed(double v, int digits) {
    std::string t = Fixed(v, digits);
    return t[0] == '-' ? t : "+" + t;
}

}  // namespace

double Log2512(double x) { return std::log(x) / std::log(2.512); }

int IntegratedFrames(int position) {
    return position >= 1 ? static_cast<int>(numtext::RoundHalfAway(std::pow(2.0, position - 1))) : 0;
}

int IntegrationPositionForInterval(int interval) {
    switch (interval) {
        case 1: return 0;
        case 2: return 2;
        case 4: return 3;
        case 8: return 4;
        case 16: return 5;
        case 32: return 6;
        case 64: return 7;
        default: return -1;
    }
}

double PairMagnitude(int whole, int tenths, int hundredths) {
    const double fraction = tenths / 10.0 + hundredths / 100.0;
    return whole < 0 ? whole - fraction : whole + fraction;
}

void PlaceValue(std::string& line, int column, const std::string& value) {
    if (value.empty()) return;
    const int n = static_cast<int>(value.size());
    int end = std::max(column, 1) - 1;  // 0-based index of the value's last character
    if (static_cast<int>(line.size()) <= end) line.resize(static_cast<size_t>(end) + 1, ' ');
    // The blank run that ends at the column.
    int runStart = end;
    while (runStart > 0 && line[static_cast<size_t>(runStart - 1)] == ' ') --runStart;
    if (line[static_cast<size_t>(end)] != ' ') runStart = end + 1;  // column on text: nothing to fill there
    int start = end - n + 1;
    // Keep one blank after the text before the run.
    const int earliest = runStart == 0 ? 0 : runStart + 1;
    if (start < earliest) start = earliest;
    for (int i = 0; i < n; ++i) {
        const size_t at = static_cast<size_t>(start + i);
        if (at >= line.size()) line.push_back(value[static_cast<size_t>(i)]);
        else if (line[at] == ' ') line[at] = value[static_cast<size_t>(i)];
        else line.insert(at, 1, value[static_cast<size_t>(i)]);
    }
}

std::string FormatEventClock(double ms, int secondsDigits) {
    const int d = std::clamp(secondsDigits, 1, 3);
    const int64_t unit = d == 3 ? 1 : d == 2 ? 10 : 100;
    int64_t t = numtext::RoundHalfAway(ms / static_cast<double>(unit)) * unit;
    t %= kDayMs;
    if (t < 0) t += kDayMs;
    const int64_t hours = t / 3600000, minutes = t % 3600000 / 60000, rest = t % 60000;
    const int64_t whole = rest / 1000;
    std::string fraction = std::to_string(rest % 1000 / unit);
    fraction.insert(0, static_cast<size_t>(d) - fraction.size(), '0');
    return TwoDigits(hours) + "h" + TwoDigits(minutes) + "m" + TwoDigits(whole) + "." + fraction + "s";
}

Result MagnitudeCalculation(const Inputs& in) {
    const Levels& L = in.levels;
    Result r;
    r.combinedDrop = std::fabs(L.beforeMean - L.afterMean);
    r.firstDrop = std::fabs(L.beforeMean - L.stepMean);
    r.secondDrop = std::fabs(L.stepMean - L.afterMean);
    r.combinedError = L.beforeStdErr + L.afterStdErr;
    r.firstError = L.beforeStdErr + L.stepStdErr;
    r.secondError = L.stepStdErr + L.afterStdErr;
    r.edit1 = Fixed(r.firstDrop, 1);
    r.edit3 = Fixed(r.firstError, 1);
    r.edit2 = Fixed(r.secondDrop, 1);
    r.edit4 = Fixed(r.secondError, 1);
    r.edit9 = Fixed(r.combinedDrop, 1);
    r.edit10 = Fixed(r.combinedError, 1);
    r.edit11 = Fixed(L.beforeStdErr, 1);
    r.edit13 = Fixed(L.stepStdErr, 1);
    r.edit14 = Fixed(L.afterStdErr, 1);

    // Step 1: the bright (upper) and faint (lower) levels.
    const bool disappearance = L.beforeMean >= L.afterMean;
    const double upper = std::max(L.beforeMean, L.afterMean), lower = std::min(L.beforeMean, L.afterMean);
    const double beforeSd = L.beforeStdErr * std::sqrt(std::max(L.beforeCount, 0));
    const double stepSd = L.stepStdErr * std::sqrt(std::max(L.stepCount, 0));
    const double afterSd = L.afterStdErr * std::sqrt(std::max(L.afterCount, 0));
    const double upperSd = disappearance ? beforeSd : afterSd, lowerSd = disappearance ? afterSd : beforeSd;
    const int upperCount = disappearance ? L.beforeCount : L.afterCount;
    const int lowerCount = disappearance ? L.afterCount : L.beforeCount;

    // Step 2: magnitudes and errors.
    auto component = [&](double drop, double error, double& mag, double& magError) {
        mag = drop > 0 ? in.pairMagnitude + Log2512(r.combinedDrop / drop) : -1000;
        magError = drop > 0 && r.combinedDrop > 0
                       ? std::fabs(Log2512(1 + std::sqrt(std::pow(error / drop, 2) +
                                                         std::pow(r.combinedError / r.combinedDrop, 2))))
                       : -1;
    };
    component(r.firstDrop, r.firstError, r.firstMagnitude, r.firstMagError);
    component(r.secondDrop, r.secondError, r.secondMagnitude, r.secondMagError);
    // Step 3. (A combined drop of 0 makes a magnitude minus infinity: "---" too.)
    auto magText = [](double m) { return !(m > -10) ? std::string("---") : Fixed(m, 2); };
    auto errText = [](double e) { return !(e >= 0) ? std::string("---") : Fixed(e, 2); };
    r.edit5 = magText(r.firstMagnitude);
    r.edit6 = magText(r.secondMagnitude);
    r.edit7 = errText(r.firstMagError);
    r.edit8 = errText(r.secondMagError);

    // Step 4: the statistics report.
    std::vector<std::string>& rep = r.report;
    rep.emplace_back("- Estimation for Component's Magnitude --");
    std::string line = "Assuming magnitude of Pair is       Mag.";
    PlaceValue(line, 36, Fixed(in.pairMagnitude, 2));
    rep.push_back(line);
    rep.emplace_back("Estimated Magnitude");
    line = "  First Event  :       +/-       Mag.";
    PlaceValue(line, 23, r.edit5);
    PlaceValue(line, 32, r.edit7);
    rep.push_back(line);
    line = "  Second Event :       +/-       Mag.";
    PlaceValue(line, 23, r.edit6);
    PlaceValue(line, 32, r.edit8);
    rep.push_back(line);
    rep.emplace_back("-Statistical analysis of Light Intensity-");
    rep.emplace_back("               Average   Stdv      n");
    auto levelLine = [&](std::string templ, double mean, double sd, int count) {
        PlaceValue(templ, 22, Fixed(mean, 1));
        PlaceValue(templ, 31, Fixed(sd, 1));
        PlaceValue(templ, 38, std::to_string(count));
        rep.push_back(templ);
    };
    levelLine("  Combined  :                          ", upper, upperSd, upperCount);
    if (L.stepCount > 1) levelLine("  Step      :                          ", L.stepMean, stepSd, L.stepCount);
    levelLine("  Background:                         ", lower, lowerSd, lowerCount);
    rep.emplace_back("Noise Level (N/S)  Upper    Lower");
    // Bright side first: before, step, after for a disappearance, reversed otherwise.
    const double firstBright = disappearance ? beforeSd : stepSd, firstFaint = disappearance ? stepSd : beforeSd;
    const double secondBright = disappearance ? stepSd : afterSd, secondFaint = disappearance ? afterSd : stepSd;
    const std::array<double, 3> drops{r.firstDrop, r.secondDrop, r.combinedDrop};
    const std::array<double, 3> bright{firstBright, secondBright, upperSd}, faint{firstFaint, secondFaint, lowerSd};
    const char* const noiseTemplates[3] = {"  First event:                         ", "  Second event:                         ",
                                           "  Total event:                         "};
    for (size_t i = 0; i < 3; ++i) {
        line = noiseTemplates[i];
        if (drops[i] > 0) {
            r.noiseUpper[i] = bright[i] / drops[i];
            r.noiseLower[i] = faint[i] / drops[i];
            PlaceValue(line, 26, Fixed(r.noiseUpper[i], 4));
            PlaceValue(line, 35, Fixed(r.noiseLower[i], 4));
        } else {
            PlaceValue(line, 26, "---");
            PlaceValue(line, 35, "---");
        }
        rep.push_back(line);
    }

    // Step 5.
    const double x = std::max(r.noiseUpper[2], r.noiseLower[2]);
    if (x == -1) {
        rep.emplace_back("Value contains two object is zero or minus. Calculation is not possible.");
        return r;
    }
    if (in.camera == Camera::Off) return r;

    // Step 6: the event-time section.
    const int p = std::clamp(in.integrationPosition, 0, 7);
    const int n = IntegratedFrames(p);
    r.integratedFrames = n;
    const int delay = kIntegrationDelayTable[static_cast<size_t>(p)];
    rep.emplace_back("");
    rep.emplace_back("- Event Time ------------------------------");
    rep.push_back("Observed with " + std::to_string(n) + " frame integration.");
    const BaseTime& base = in.secondField ? in.base2 : in.base1;
    const double t0 = base.Milliseconds();
    // Offsets of a current fit; a text that is not a number counts as absent.
    bool haveOffset1 = false, haveOffset2 = false;
    double offset1 = 0, offset2 = 0;
    auto readOffset = [](const std::string& text, double& v) {
        const auto parsed = numtext::ParseFloat(text);
        if (!parsed || !std::isfinite(*parsed)) return false;
        v = *parsed;
        return true;
    };
    if (in.fitDone) {
        haveOffset1 = readOffset(in.offset1Text, offset1);
        haveOffset2 = haveOffset1 && readOffset(in.offset2Text, offset2);
    }
    std::vector<double> times{t0 + offset1};
    if (haveOffset2) times.push_back(t0 + offset2);

    // Step 7.
    if (upper - lower <= 0) {
        rep.emplace_back("");
        rep.emplace_back("The result means that background is brighter than star. Set the range correctly for step measurement.");
        return r;
    }
    if (in.considerStep && L.stepMean - lower <= 0) {
        rep.emplace_back("");
        rep.emplace_back(
            "The result of calculation indicates that background is brighter than step. Set the range correctly for step measurement.");
        return r;
    }

    // Step 8: the corrections.
    const double ratio = (L.stepMean - lower) / (upper - lower);
    const bool fading = L.beforeMean > L.afterMean;
    const double stepPart = fading ? ratio : 1 - ratio;
    for (double& t : times) {
        if (in.camera == Camera::N120) t += (in.considerStep ? n * stepPart / kFrameRate * 1000 : 0) - delay;
        else if (in.considerStep) t += stepPart / kFrameRate * 1000;
    }
    std::sort(times.begin(), times.end());
    if (in.baseKnown) r.eventTimes = times;

    // Step 9.
    const double frames = static_cast<double>(timing::TimingErrorCurve(x));
    r.timingErrorSeconds = in.camera == Camera::N120 && n >= 1 ? frames * n / kFrameRate : frames / kFrameRate;
    const std::string error = Fixed(r.timingErrorSeconds, 3);
    if (in.baseKnown)
        for (double t : times) rep.push_back("Event Time : " + FormatEventClock(t, in.secondsDigits) + "  +/- " + error + "s");
    else
        rep.push_back("Event Time : " + std::string(kNoTimeText) + "  +/- " + error + "s");

    // Step 10: how the time came about.
    if (in.considerStep) rep.emplace_back("Correction for step integration is applied.");
    rep.emplace_back("");
    rep.emplace_back("Deriving process is :");
    const std::string to = !in.baseKnown ? "To"
                                         : std::to_string(base.hour) + "h" + std::to_string(base.minute) + "m" +
                                               numtext::FormatGeneral(base.seconds) + "s";
    const std::string delayText = Fixed(delay / 1000.0, 3);
    const std::string offsetText = haveOffset1 ? Signed(offset1 / 1000, 3) : std::string();
    if (in.considerStep) {
        const std::string numbers = Fixed(L.stepMean - lower, 1) + "/" + Fixed(r.combinedDrop, 1);
        if (fading) {
            rep.emplace_back("T = To + (Step/Combined) * (Integration) / 29.97");
            rep.emplace_back("       - (Delay correction)");
            rep.push_back("  = " + to + "+(" + numbers + ")*" + std::to_string(n) + "/29.97-" + delayText);
        } else {
            rep.emplace_back("T = To + {1-(Step/Combined)} * (Integration) / 29.97");
            rep.emplace_back("    - (Delay correction)");
            rep.push_back("  = " + to + "+{1-(" + numbers + ")}*" + std::to_string(n) + "/29.97-" + delayText);
        }
    } else if (in.camera == Camera::N120) {
        rep.emplace_back(haveOffset1 ? "T = To + Offset - Delay correction" : "T = To - Delay correction");
        rep.push_back("  = " + to + offsetText + "-" + delayText);
    } else {
        rep.emplace_back(haveOffset1 ? "T = To + Offset" : "T = To");
        rep.push_back("  = " + to + offsetText);
    }
    return r;
}

std::vector<std::string> DoublestarLines(const std::vector<std::string>& report) {
    std::vector<std::string> lines;
    for (const std::string& l : report) {
        if (l.empty()) break;
        lines.push_back(l);
    }
    return lines;
}

std::vector<std::string> EventTimeLines(const std::vector<std::string>& report) {
    std::vector<std::string> lines;
    for (const std::string& l : report)
        if (l.rfind("Event Time : ", 0) == 0) lines.push_back(l);
    return lines;
}

std::vector<std::string> TimingErrorReport() {
    std::vector<std::string> lines;
    for (int i = 0; i <= 14; ++i)
        lines.push_back(std::to_string(i) + " " + Fixed(static_cast<double>(timing::TimingErrorCurve(i / 10.0L)), 4));
    return lines;
}

int SecondsDecimals(int timeInserterType) { return timeInserterType == 0 ? 4 : timeInserterType <= 2 ? 3 : 2; }

std::string SecondsText(double seconds, int decimals) {
    std::string t = Fixed(seconds, decimals);
    const size_t width = static_cast<size_t>(decimals) + 3;
    if (t.size() < width && t[0] != '-') t.insert(0, width - t.size(), '0');
    return t;
}

TimeBase ReadTimeBase(const std::string& hour, const std::string& minute, const std::string& seconds1,
                      const std::string& seconds2) {
    auto seconds = [](const std::string& text) {
        const auto v = numtext::ParseFloat(text);
        return v && std::isfinite(*v) ? *v : 0.0;
    };
    auto number = [](const std::string& text) {
        const auto v = numtext::ParseFloat(text);
        return v && std::isfinite(*v);
    };
    TimeBase t;
    t.known1 = number(hour) && number(minute) && number(seconds1);
    t.known2 = t.known1 && number(seconds2);
    t.base1 = {WholeOrZero(hour), WholeOrZero(minute), seconds(seconds1)};
    t.base2 = t.base1;
    t.base2.seconds = seconds(seconds2);
    if (t.base2.seconds < t.base1.seconds) {
        if (++t.base2.minute >= 60) {
            t.base2.minute = 0;
            ++t.base2.hour;
        }
    }
    return t;
}

bool ApplyBaseTimeEdit(TimePart part, const std::string& text, BaseTime& time, BaseTime& backup) {
    bool ok = false;
    if (part == TimePart::Seconds) {
        const auto v = numtext::ParseFloat(text);
        ok = v && *v >= 0 && *v <= 60;
        if (ok) time.seconds = backup.seconds = *v;
        else time.seconds = backup.seconds;
    } else {
        const auto v = numtext::ParseInt32(text);
        int32_t& field = part == TimePart::Hour ? time.hour : time.minute;
        int32_t& saved = part == TimePart::Hour ? backup.hour : backup.minute;
        ok = v && *v >= 0 && *v < (part == TimePart::Hour ? 25 : 61);
        if (ok) field = saved = *v;
        else field = saved;
    }
    return ok;
}

}  // namespace magnitude
