// tevorin-probe: lists its subcommands when run without arguments.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "probe.h"

namespace {
struct Entry {
    const char* usage;
    ProbeFn fn;
};
std::map<std::string, Entry>& Registry() {
    static std::map<std::string, Entry> r;
    return r;
}
}  // namespace

ProbeCommand::ProbeCommand(const char* name, const char* usage, ProbeFn fn) { Registry()[name] = {usage, fn}; }

int ProbeFail(const std::string& message) {
    std::fprintf(stderr, "tevorin-probe: %s\n", message.c_str());
    return 2;
}

bool Option(const std::vector<std::string>& args, const std::string& name, std::string& value) {
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == name) {
            value = args[i + 1];
            return true;
        }
    return false;
}

bool Flag(const std::vector<std::string>& args, const std::string& name) {
    for (const std::string& a : args)
        if (a == name) return true;
    return false;
}

int main(int argc, char** argv) {
    if (argc < 2 || Registry().find(argv[1]) == Registry().end()) {
        std::fprintf(stderr, "usage: tevorin-probe SUBCOMMAND ...\n");
        for (const auto& [name, e] : Registry()) std::fprintf(stderr, "  %s %s\n", name.c_str(), e.usage);
        return argc < 2 ? 1 : 2;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    return Registry()[argv[1]].fn(args);
}
