// prediction REPORT --date YY-MM-DD --time HH:MM:SS[.ss] [--auto] [--detail]
//   [--apply K] [--observer TEXT] [--asteroid NAME] [--catalogue NO]: the
//   identification window's listing of a prediction report with the overlay date
//   and field-1 time so set. Prints "item K TEXT" per list line and "selected K";
//   then, for the applied line (the selected one unless --apply K), "star",
//   "distance", "velocity", "angle", "spectral" with the texts of the star,
//   distance, velocity, contact-angle and spectral-type edits,
//   "object-distance M", "date YYYY MM DD" (the date lists) and "label TEXT".
//   Nothing is applied when the list is empty.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "analysis/identification.h"
#include "graph/spectral_model.h"
#include "platform/numtext.h"
#include "probe.h"

namespace {

namespace id = identification;


// "A-B-C" or "A:B:C" into three parts.
bool Split3(const std::string& text, char sep, std::string& a, std::string& b, std::string& c) {
    const size_t p = text.find(sep), q = p == std::string::npos ? p : text.find(sep, p + 1);
    if (q == std::string::npos) return false;
    a = text.substr(0, p);
    b = text.substr(p + 1, q - p - 1);
    c = text.substr(q + 1);
    return true;
}

int Prediction(const std::vector<std::string>& args) {
    const char* usage =
        "prediction REPORT --date YY-MM-DD --time HH:MM:SS[.ss] [--auto] [--detail] [--apply K] [--observer TEXT] "
        "[--asteroid NAME] [--catalogue NO]";
    std::string date, time;
    if (args.empty() || !Option(args, "--date", date) || !Option(args, "--time", time)) return ProbeFail(usage);
    id::ListingOptions options;
    if (!Split3(date, '-', options.clock.year, options.clock.month, options.clock.day) ||
        !Split3(time, ':', options.clock.hour, options.clock.minute, options.clock.second))
        return ProbeFail(usage);
    options.autoSearch = Flag(args, "--auto");
    options.detail = Flag(args, "--detail");
    std::string observer, asteroid, catalogue, applyText;
    Option(args, "--observer", observer);
    Option(args, "--asteroid", asteroid);
    Option(args, "--catalogue", catalogue);

    std::vector<std::string> report;
    std::string error;
    if (id::ReadReport(args[0], report, error) == id::ReportRead::Failed) return ProbeFail(error);

    // The window's creation: today's date, then the overlay's.
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    int year = today.tm_year + 1900, month = today.tm_mon + 1, day = today.tm_mday;
    const id::OverlayDate od = id::DateFromOverlay(options.clock.year, options.clock.month, options.clock.day, year,
                                                   month, day);
    if (od.select) year = od.year, month = od.month, day = od.day;
    std::string star = id::InitialTargetStar(asteroid, catalogue);
    std::string distance, velocity, angle, spectral;
    int64_t objectDistance = diffraction::Model.ObjectDistance;

    const id::Listing listing = id::ListReport(report, options);
    const auto take = [&](const id::DateSelection& d) {
        if (d.year) year = d.year;
        if (d.month) month = d.month;
        if (d.day) day = d.day;
    };
    if (listing.pasted.found) {
        star = listing.pasted.star;
        if (listing.pasted.hasObserver) observer = listing.pasted.observer;
        take(listing.pasted.date);
    }
    for (size_t i = 0; i < listing.list.items.size(); ++i)
        std::printf("item %zu %s\n", i, listing.list.items[i].c_str());
    std::printf("selected %d\n", listing.list.selected);

    int apply = listing.list.selected;
    if (Option(args, "--apply", applyText)) {
        const auto k = numtext::ParseInt32(applyText);
        if (!k) return ProbeFail("--apply needs a whole number");
        apply = *k;
    }
    if (apply >= 0 && static_cast<size_t>(apply) < listing.list.items.size()) {
        const id::AppliedLine a = id::ApplyPredictionLine(listing.list.items[static_cast<size_t>(apply)], listing.columns);
        if (!a.hasMonth) {
            star.clear(), distance.clear(), velocity.clear(), angle.clear(), spectral.clear();
        } else {
            take(a.date);
            star = a.star;
            if (a.contactAngle) angle = a.contactAngleText;
            if (a.velocity) velocity = a.velocityText;
            if (a.distanceMetres) distance = a.distanceKmText, objectDistance = *a.distanceMetres;
            if (a.spectralType) spectral = *a.spectralType;
        }
    }
    std::printf("star %s\ndistance %s\nvelocity %s\nangle %s\nspectral %s\n", star.c_str(), distance.c_str(),
                velocity.c_str(), angle.c_str(), spectral.c_str());
    std::printf("object-distance %lld\n", static_cast<long long>(objectDistance));
    std::printf("date %04d %02d %02d\n", year, month, day);
    const std::string label = id::ComposeIdText(star, std::to_string(year), id::MonthAbbrevs[static_cast<size_t>(month - 1)],
                                                std::to_string(day), observer);
    std::printf("label %s\n", label.c_str());
    return 0;
}

const ProbeCommand kPrediction("prediction",
                               "REPORT --date YY-MM-DD --time HH:MM:SS[.ss] [--auto] [--detail] [--apply K] "
                               "[--observer TEXT] [--asteroid NAME] [--catalogue NO]",
                               Prediction);

}  // namespace
