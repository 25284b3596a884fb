// Capture from the command line:
//   capture-name FOLDER NAME [--open PATH] [--answer yes|no]
//       the capture window's file naming against the files in FOLDER, with PATH
//       the video open for measurement and the answer to the overwrite question
//       (yes when not given); prints the file to record to and the name box, or
//       "refused"
#include <cstdio>

#include "probe.h"
#include "video/capture_name.h"

namespace {

int CaptureName(const std::vector<std::string>& args) {
    const char* usage = "usage: capture-name FOLDER NAME [--open PATH] [--answer yes|no]";
    if (args.size() < 2) return ProbeFail(usage);
    std::string open;
    bool yes = true;
    for (size_t i = 2; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return ProbeFail(usage);
        if (args[i] == "--open") open = args[i + 1];
        else if (args[i] == "--answer" && (args[i + 1] == "yes" || args[i + 1] == "no")) yes = args[i + 1] == "yes";
        else return ProbeFail(usage);
    }
    const capture::CaptureName r = capture::CaptureFileNameSetting(args[0], args[1], open, [&] { return yes; });
    if (r.status != 0) {
        std::printf("refused\n");
        return 0;
    }
    std::printf("%s\n%s\n", r.capturedFileName.c_str(), r.edit2.c_str());
    return 0;
}

ProbeCommand regName("capture-name", "FOLDER NAME [--open PATH] [--answer yes|no]", CaptureName);

}  // namespace
