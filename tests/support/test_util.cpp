#include "test_util.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace testutil {

TempDir::TempDir() {
    // TEVORIN_TEST_TMP puts a child test's folders where its parent checks them.
    const char* override = std::getenv("TEVORIN_TEST_TMP");
    std::string base = override && *override ? std::string(override) : std::string(TEVORIN_BINARY_DIR) + "/test-tmp";
    std::filesystem::create_directories(base);
    std::string tmpl = base + "/t-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only folders made by tests would block removal.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<std::vector<std::string>> DataRows(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
        std::vector<std::string> fields;
        std::stringstream ss(line);
        std::string part;
        while (std::getline(ss, part, ',')) fields.push_back(part);
        rows.push_back(fields);
    }
    return rows;
}

void WriteAll(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
}

int Run(const std::string& command, std::string* output) {
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return -1;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = ::pclose(p);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveProgram(const std::string& name) { return Run("command -v " + name + " >/dev/null 2>&1") == 0; }

std::string DataFile(const std::string& name) { return std::string(TEVORIN_SOURCE_DIR) + "/tests/data/" + name; }

std::string BinFile(const std::string& name) { return std::string(TEVORIN_BIN_DIR) + "/" + name; }

bool MakeRawClip(const std::string& path, const std::string& source, int frames, const std::string& filter) {
    const std::string vf = filter.empty() ? "" : " -vf \"" + filter + "\"";
    return Run("ffmpeg -nostdin -v error -y -f lavfi -i " + source + " -frames:v " + std::to_string(frames) + vf +
               " -c:v rawvideo -pix_fmt bgr24 '" + path + "'") == 0;
}

std::string GeqFilter(const std::string& r, const std::string& g, const std::string& b) {
    return "format=rgb24,geq=r='" + r + "':g='" + g + "':b='" + b + "'";
}

int RunHarness(const std::string& folder, const std::string& script, std::string* out, const std::string& settings,
               bool withErrors) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!settings.empty()) WriteAll(folder + "/tevorin-harness.ini", settings);
    WriteAll(folder + "/script.txt", script);
    return Run(BinFile("tevorin-harness") + " '" + folder + "/script.txt'" + (withErrors ? " 2>&1" : " 2>/dev/null"), out);
}

std::string PrintedText(const std::string& out, const std::string& name, int nth) {
    const std::string command = " print-text " + name;
    std::istringstream in(out);
    std::string previous, line;
    while (std::getline(in, line)) {
        const bool ok = line.rfind("ok ", 0) == 0 && line.size() >= command.size() &&
                        line.compare(line.size() - command.size(), command.size(), command) == 0;
        if (ok && --nth == 0) return previous;
        previous = line;
    }
    return "(not printed)";
}

long long PeakGrowthBytes(const std::function<void()>& work) {
    auto status = [](const char* key) {
        std::ifstream in("/proc/self/status");
        for (std::string line; std::getline(in, line);)
            if (line.rfind(key, 0) == 0) return std::stoll(line.substr(line.find(':') + 1)) * 1024;
        return -1LL;
    };
    {
        std::ofstream reset("/proc/self/clear_refs");
        if (!(reset << "5" << std::flush)) return -1;
    }
    const long long before = status("VmRSS:");
    work();
    const long long peak = status("VmHWM:");
    return before < 0 || peak < 0 ? -1 : peak - before;
}

}  // namespace testutil
