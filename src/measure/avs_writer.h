#pragma once
// The AviSynth script written beside a video so that it can be read through a
// script: the source line, and with the camcorder time shown, two DVInfo lines
// that burn the DV recording date and time into the frames.
#include <string>
#include <vector>

// The script lines for the video at `videoPath` (full path). Strings are written
// in double quotes; a path that itself holds a double quote or a line break is
// written in triple quotes so that the script still reads back as that path.
std::vector<std::string> WriteAvsScript(const std::string& videoPath, bool displayCamcordersTime);
