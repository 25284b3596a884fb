// mutual TABLE.csv [--unit-size U] [--smooth W] [--time 0|1|2] [--first H:M:S]
//   [--last H:M:S] [--compare 0|1|2] [--single VALUE]: the unit listing that
//   "Calculate & Draw Graph" writes (defaults are the window's).
// mutual-fit TABLE.csv [the same] --units FIRST,LAST [--degree D] [--increase] [--search]:
//   "Fit": the coefficient and slope lines, "minimum TEXT", "rms TEXT", "turn TEXT"
//   per turning mark; --search: "window S E", "minimum TEXT", "rms TEXT".
//   A refused fit prints its message and exits 2.
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/mutual_event.h"
#include "analysis/poly_fit.h"
#include "platform/file_io.h"
#include "platform/numtext.h"
#include "probe.h"

namespace {

struct Options {
    mutual::AverageSettings avg;
    int first = 0, last = 0, degree = 8;
    bool units = false, increase = false, search = false;
};

bool SplitClock(const std::string& text, std::string& h, std::string& m, std::string& s) {
    const size_t a = text.find(':'), b = a == std::string::npos ? a : text.find(':', a + 1);
    if (b == std::string::npos) return false;
    h = text.substr(0, a);
    m = text.substr(a + 1, b - a - 1);
    s = text.substr(b + 1);
    return true;
}

// Parses the options after the table name; returns an error text or empty.
std::string ParseOptions(const std::vector<std::string>& args, Options& o) {
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--increase") {
            o.increase = true;
            continue;
        }
        if (a == "--search") {
            o.search = true;
            continue;
        }
        if (i + 1 >= args.size()) return a + " needs a value";
        const std::string& v = args[++i];
        const auto n = numtext::ParseInt32(v);
        if (a == "--unit-size" && n && *n >= 1 && *n <= 1024) o.avg.unitSize = *n;
        else if (a == "--smooth" && n && *n >= 0 && *n <= 5) o.avg.halfWidth = *n;
        else if (a == "--time" && n && *n >= 0 && *n <= 2) o.avg.timeSetting = *n;
        else if (a == "--compare" && n && *n >= 0 && *n <= 2) o.avg.comparison = *n;
        else if (a == "--degree" && n && *n >= mutual::kMinDegree && *n <= mutual::kMaxDegree) o.degree = *n;
        else if (a == "--single") {
            o.avg.single = true;
            o.avg.singleValue = v;
        } else if (a == "--first" && SplitClock(v, o.avg.firstH, o.avg.firstM, o.avg.firstS)) {
        } else if (a == "--last" && SplitClock(v, o.avg.lastH, o.avg.lastM, o.avg.lastS)) {
        } else if (a == "--units") {
            const size_t comma = v.find(',');
            const auto f = numtext::ParseInt32(v.substr(0, comma)), l = comma == std::string::npos ? f : numtext::ParseInt32(v.substr(comma + 1));
            if (!f || !l) return "--units needs FIRST,LAST";
            o.first = *f;
            o.last = *l;
            o.units = true;
        } else {
            return "bad option " + a + " " + v;
        }
    }
    return {};
}

int Average(const std::vector<std::string>& args, Options& o, mutual::AverageResult& r) {
    if (args.empty()) return ProbeFail("mutual: give the results table");
    const std::string bad = ParseOptions(args, o);
    if (!bad.empty()) return ProbeFail("mutual: " + bad);
    std::vector<std::string> lines;
    std::string error;
    if (!fileio::ReadLines(args[0], lines, error)) return ProbeFail(error);
    r = mutual::AverageFrames(lines, o.avg);
    if (r.status == mutual::AverageStatus::Error) return ProbeFail(r.error);
    return 0;
}

int Mutual(const std::vector<std::string>& args) {
    Options o;
    mutual::AverageResult r;
    if (int rc = Average(args, o, r)) return rc;
    for (const auto& line : r.listing) std::printf("%s\n", line.c_str());
    return 0;
}

int MutualFit(const std::vector<std::string>& args) {
    Options o;
    mutual::AverageResult r;
    if (int rc = Average(args, o, r)) return rc;
    if (!o.units) return ProbeFail("mutual-fit: give --units FIRST,LAST");
    mutual::FitResult fit;
    if (o.search) {
        int wf = o.first, wl = o.last;
        mutual::SetFitWindow(o.first, o.last, r.UnitCount(), wf, wl);
        fit = mutual::SearchWindow(r.units, o.first, o.last, wf, wl, o.degree);
    } else {
        fit = mutual::FitUnits(r.units, o.first, o.last, o.degree, o.increase);
    }
    if (!fit.ok) return ProbeFail(fit.error);
    if (o.search) {
        std::printf("window %d %d\n", fit.windowFirst, fit.windowLast);
    } else {
        for (const auto& line : fit.lines) std::printf("%s\n", line.c_str());
    }
    std::printf("minimum %s\nrms %s\n", fit.minimumText.c_str(), fit.rmsText.c_str());
    for (const auto& t : fit.turnTexts) std::printf("turn %s\n", t.c_str());
    return 0;
}

ProbeCommand regMutual("mutual", "TABLE.csv [--unit-size U] [--smooth W] [--time 0|1|2] [--first H:M:S] [--last H:M:S] [--compare 0|1|2] [--single VALUE]", Mutual);
ProbeCommand regMutualFit("mutual-fit", "TABLE.csv [mutual options] --units FIRST,LAST [--degree D] [--increase] [--search]", MutualFit);

}  // namespace
