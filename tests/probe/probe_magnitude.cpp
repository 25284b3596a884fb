// velocity, magnitude-report: the velocity calculator's results and the magnitude
// calculator's memo, without windows.
#include <cstdio>
#include <map>

#include "graph/magnitude_calc.h"
#include "graph/velocity_calc.h"
#include "platform/numtext.h"
#include "probe.h"

namespace {

// velocity lunar F | asteroid D T | parallax P | motion M D C
int Velocity(const std::vector<std::string>& a) {
    const std::string kind = a.empty() ? "" : a[0];
    auto need = [&](size_t n) { return a.size() == n + 1; };
    if (kind == "lunar" && need(1)) {
        std::string f = a[1];
        std::printf("%s\n", velocity::CalcLunarVelocity(f).c_str());
    } else if (kind == "asteroid" && need(2)) {
        std::string d = a[1], t = a[2];
        std::printf("%s\n", velocity::CalcAsteroidVelocity(d, t).c_str());
    } else if (kind == "parallax" && need(1)) {
        std::string p = a[1];
        std::printf("%s\n", velocity::CalcDistanceFromParallax(p).c_str());
    } else if (kind == "motion" && need(3)) {
        std::string m = a[1], d = a[2], c = a[3];
        const auto r = velocity::WriteVelocityFromMotion(m, d, c);
        if (r) std::printf("Edit10=%s distance=%s angle=%s\n", r->edit10.c_str(), r->distanceKm.c_str(), r->angleText.c_str());
        else std::printf("nothing\n");
    } else {
        return ProbeFail("velocity: lunar F | asteroid D T | parallax P | motion M D C");
    }
    return 0;
}

bool Number(const std::string& s, double& v) {
    const auto r = numtext::ParseFloat(s);
    if (!r) return false;
    v = *r;
    return true;
}

int MagnitudeReport(const std::vector<std::string>& a) {
    magnitude::Inputs in;
    int inserter = -1;
    bool report = false;
    // The six base-time edits (Edit18..Edit23) as typed.
    std::vector<std::string> times;
    // Options with a fixed count of numbers.
    const std::map<std::string, int> counts{{"--levels", 3}, {"--stderr", 3}, {"--counts", 3}, {"--pair", 1},
                                            {"--integration", 1}, {"--field", 1}, {"--digits", 1}, {"--inserter", 1}};
    bool haveLevels = false, haveErrors = false, haveCounts = false;
    for (size_t k = 0; k < a.size(); ++k) {
        const std::string& o = a[k];
        if (o == "--step-height") {
            in.considerStep = true;
        } else if (o == "--report") {
            report = true;
        } else if (o == "--camera") {
            if (k + 1 >= a.size()) return ProbeFail("magnitude-report: --camera needs off|wat100n|120n");
            const std::string& c = a[++k];
            if (c == "off") in.camera = magnitude::Camera::Off;
            else if (c == "wat100n") in.camera = magnitude::Camera::Wat100N;
            else if (c == "120n") in.camera = magnitude::Camera::N120;
            else return ProbeFail("magnitude-report: unknown camera " + c);
        } else if (o == "--time") {
            if (k + 6 >= a.size()) return ProbeFail("magnitude-report: --time needs H M S H2 M2 S2");
            times.assign(a.begin() + static_cast<long>(k) + 1, a.begin() + static_cast<long>(k) + 7);
            k += 6;
        } else if (o == "--fit") {
            if (k + 1 >= a.size()) return ProbeFail("magnitude-report: --fit needs MS [MS2]");
            in.fitDone = true;
            in.offset1Text = a[++k];
            if (k + 1 < a.size() && a[k + 1].rfind("--", 0) != 0) in.offset2Text = a[++k];
        } else if (auto c = counts.find(o); c != counts.end()) {
            if (k + static_cast<size_t>(c->second) >= a.size()) return ProbeFail("magnitude-report: " + o + " needs values");
            double v[3] = {0, 0, 0};
            for (int i = 0; i < c->second; ++i)
                if (!Number(a[k + 1 + static_cast<size_t>(i)], v[i])) return ProbeFail("magnitude-report: not a number: " + a[k + 1 + static_cast<size_t>(i)]);
            k += static_cast<size_t>(c->second);
            auto& L = in.levels;
            if (o == "--levels") L.beforeMean = v[0], L.stepMean = v[1], L.afterMean = v[2], haveLevels = true;
            else if (o == "--stderr") L.beforeStdErr = v[0], L.stepStdErr = v[1], L.afterStdErr = v[2], haveErrors = true;
            else if (o == "--counts") {
                L.beforeCount = static_cast<int>(v[0]), L.stepCount = static_cast<int>(v[1]), L.afterCount = static_cast<int>(v[2]);
                haveCounts = true;
            } else if (o == "--pair") in.pairMagnitude = v[0];
            else if (o == "--integration") in.integrationPosition = static_cast<int>(v[0]);
            else if (o == "--field") in.secondField = v[0] == 2;
            else if (o == "--digits") in.secondsDigits = static_cast<int>(v[0]);
            else if (o == "--inserter") inserter = static_cast<int>(v[0]);
        } else {
            return ProbeFail("magnitude-report: unknown option " + o);
        }
    }
    if (!haveLevels || !haveErrors || !haveCounts) return ProbeFail("magnitude-report: --levels, --stderr and --counts are needed");
    if (in.integrationPosition < 0 || in.integrationPosition > 7) return ProbeFail("magnitude-report: --integration is 0..7");
    if (in.secondsDigits < 1 || in.secondsDigits > 3) return ProbeFail("magnitude-report: --digits is 1..3");
    // Without times the main window's edits still show their captions: no time is
    // known and none printed. --time stands for a time read from the rows.
    const magnitude::TimeBase tb = magnitude::ReadTimeBase("h", "m", "s(Field1)", "s(Field2)");
    in.base1 = tb.base1;
    in.base2 = tb.base2;
    in.baseKnown = !times.empty();
    if (!times.empty()) {
        magnitude::BaseTime backup1 = in.base1, backup2 = in.base2;
        for (size_t i = 0; i < 6; ++i) {
            magnitude::BaseTime& t = i < 3 ? in.base1 : in.base2;
            magnitude::BaseTime& b = i < 3 ? backup1 : backup2;
            const auto part = static_cast<magnitude::TimePart>(i % 3);
            std::string text = times[i];
            // With an inserter type the seconds go through the edit as it shows them.
            if (part == magnitude::TimePart::Seconds && inserter >= 0)
                if (const auto v = numtext::ParseFloat(text))
                    text = magnitude::SecondsText(*v, magnitude::SecondsDecimals(inserter));
            magnitude::ApplyBaseTimeEdit(part, text, t, b);
        }
    }
    magnitude::Result r = magnitude::MagnitudeCalculation(in);
    if (report)
        for (const std::string& l : magnitude::TimingErrorReport()) r.report.push_back(l);
    for (const std::string& l : r.report) std::printf("%s\n", l.c_str());
    return 0;
}

const ProbeCommand kVelocity("velocity", "lunar F | asteroid D T | parallax P | motion M D C", Velocity);
const ProbeCommand kMagnitude("magnitude-report",
                              "--levels B S A --stderr B S A --counts B S A [--pair MAG] [--camera off|wat100n|120n] "
                              "[--integration P] [--step-height] [--field 1|2] [--time H M S H2 M2 S2] [--fit MS [MS2]] "
                              "[--digits D] [--inserter T] [--report]",
                              MagnitudeReport);

}  // namespace
