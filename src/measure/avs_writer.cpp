#include "measure/avs_writer.h"

#include "platform/file_io.h"

namespace {

std::string Quote(const std::string& s) {
    if (s.find_first_of("\"\r\n") != std::string::npos) return "\"\"\"" + s + "\"\"\"";
    return "\"" + s + "\"";
}

std::string DvInfoLine(const std::string& name, int y, const char* format) {
    return "DVInfo(" + Quote(name) + ", \"rec_time\", 50, " + std::to_string(y) +
           ", \"Gothic\", 30, 255*65536+255*256+255, 0*65536+0*256+0 ,\"" + format + "\")";
}

}  // namespace

std::vector<std::string> WriteAvsScript(const std::string& videoPath, bool displayCamcordersTime) {
    std::vector<std::string> lines;
    lines.push_back("DirectShowSource(" + Quote(videoPath) + " , pixel_type=\"RGB24\")");
    if (displayCamcordersTime) {
        const std::string name = fileio::ExtractFileName(videoPath);
        lines.push_back(DvInfoLine(name, 380, "%x"));
        lines.push_back(DvInfoLine(name, 410, "%X"));
    }
    return lines;
}
