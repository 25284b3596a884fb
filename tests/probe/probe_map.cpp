// The station map page from the command line:
//   map-page --inserter vti|ghs --lat TEXT --lon TEXT [--sat --hdop --utc --alt --sep TEXT]
// prints the 33 page lines, a line "--", then the list of GPS values.
#include <cstdio>
#include <map>

#include "overlay/overlay_reader.h"
#include "probe.h"
#include "web/map_page.h"

namespace {

int MapPageCommand(const std::vector<std::string>& args) {
    const char* usage = "usage: map-page --inserter vti|ghs --lat TEXT --lon TEXT [--sat --hdop --utc --alt --sep TEXT]";
    std::map<std::string, std::string> opts;
    for (size_t i = 0; i < args.size(); i += 2) {
        if (i + 1 >= args.size() || args[i].rfind("--", 0) != 0) return ProbeFail(usage);
        opts[args[i].substr(2)] = args[i + 1];
    }
    static const char* known[] = {"inserter", "lat", "lon", "sat", "hdop", "utc", "alt", "sep"};
    for (const auto& [key, value] : opts) {
        bool ok = false;
        for (const char* k : known) ok = ok || key == k;
        if (!ok) return ProbeFail("unknown option --" + key);
    }
    if (!opts.count("inserter") || !opts.count("lat") || !opts.count("lon")) return ProbeFail(usage);
    uint8_t inserter;
    if (opts["inserter"] == "vti")
        inserter = overlay::kIotaVti;
    else if (opts["inserter"] == "ghs")
        inserter = overlay::kGhsOsd;
    else
        return ProbeFail("--inserter must be vti or ghs");
    overlay::GpsRecord gps;
    gps.Latitude = opts["lat"];
    gps.Longitude = opts["lon"];
    gps.Satellites = opts["sat"];
    gps.HDOP = opts["hdop"];
    gps.UTC = opts["utc"];
    gps.Altitude = opts["alt"];
    gps.WGSSeparation = opts["sep"];
    const web::MapPage page = web::MakeMapPage(gps, inserter);
    for (const std::string& line : page.MapPageLines) std::printf("%s\n", line.c_str());
    std::printf("--\n");
    for (const std::string& line : page.Memo2) std::printf("%s\n", line.c_str());
    return 0;
}

ProbeCommand regMapPage("map-page", "--inserter vti|ghs --lat TEXT --lon TEXT [--sat --hdop --utc --alt --sep TEXT]",
                        MapPageCommand);

}  // namespace
