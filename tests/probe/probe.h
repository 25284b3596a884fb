#pragma once
// tevorin-probe SUBCOMMAND ...: core pieces from the command line, for tests and
// for looking at things by hand. Each probe_*.cpp registers its subcommands with a
// static ProbeCommand; a subcommand prints plain text and returns non-zero with a
// message on stderr on failure. Subcommands stay backward compatible.
#include <string>
#include <vector>

using ProbeFn = int (*)(const std::vector<std::string>& args);

struct ProbeCommand {
    ProbeCommand(const char* name, const char* usage, ProbeFn fn);
};

// Prints "tevorin-probe: <message>" to stderr and returns 2.
int ProbeFail(const std::string& message);

// The value after option `name` in `args`; false when it is not there.
bool Option(const std::vector<std::string>& args, const std::string& name, std::string& value);
// Whether `name` stands anywhere in `args`.
bool Flag(const std::vector<std::string>& args, const std::string& name);

// A binary PPM (P6, maxval 255) into a bitmap; false with a message otherwise.
class Bitmap24;
bool ReadPpm(const std::string& path, Bitmap24& bmp, std::string& error);
// IMAGE as a binary PPM, or with frame >= 0 frame `frame` of a video read through
// the AVI reader.
bool LoadProbeImage(const std::string& path, long frame, Bitmap24& bmp, std::string& error);
