// libFuzzer target: the station map page from GPS texts as the overlay reader may
// deliver them. The bytes are split at "\n" into latitude and longitude (the
// first byte picks the inserter); every text must give a 33-line page with a
// finite position or 1000.0, never an exception or a read past the text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "web/map_page.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t inserter = data[0] % 3;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t nl = text.find('\n');
    overlay::GpsRecord gps;
    gps.Latitude = text.substr(0, nl);
    gps.Longitude = nl == std::string::npos ? std::string() : text.substr(nl + 1);
    const web::MapPage page = web::MakeMapPage(gps, inserter);
    if (page.MapPageLines.size() != web::kMapPageLineCount) std::abort();
    for (const double v : {web::ParseGpsCoordinate(gps.Latitude), web::ParseDmsCoordinate(gps.Longitude)})
        if (!std::isfinite(v)) std::abort();
    return 0;
}
