#include "imagefile/AnalyzerPlugins.h"

#include <cstdio>

#include "imagefile/LinarBitmap.h"

namespace imagefile {

void RaisePluginError(int code, const std::string& message) {
    switch (code) {
        case 0: return;
        case 2: throw ELinearBitmap("Unable to open file");
        case 3: throw ELinearBitmap("Error in bitmap data");
        case 4: throw ELinearBitmap(kUnsupportedPixelFormat);
        case 5: throw ELinearBitmap("Unable to close file");
        default: {
            // The message is ours, never a file's, and holds one %d at most.
            char text[512];
            std::snprintf(text, sizeof text, message.empty() ? "Process failed: %d" : message.c_str(), code);
            throw ELinearBitmap(text);
        }
    }
}

}  // namespace imagefile
