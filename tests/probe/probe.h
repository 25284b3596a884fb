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
