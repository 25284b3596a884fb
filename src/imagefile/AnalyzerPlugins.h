#pragma once
#include <string>

namespace imagefile {

// Plug-in result codes as ELinearBitmap: 0 nothing; 2 "Unable to open file";
// 3 "Error in bitmap data"; 4 "Unsupported pixel format"; 5 "Unable to close
// file"; any other code formats `message` (or "Process failed: %d") with it.
void RaisePluginError(int code, const std::string& message = {});

}  // namespace imagefile
