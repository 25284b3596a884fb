#pragma once
// Helpers shared by the test executables.
#include <functional>
#include <string>
#include <vector>

namespace testutil {

// A fresh empty folder under build/test-tmp ($TEVORIN_TEST_TMP when set), removed
// when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadAll(const std::string& path);
// The data rows of a saved results file (lines that start with a digit), split at commas.
std::vector<std::vector<std::string>> DataRows(const std::string& path);
void WriteAll(const std::string& path, const std::string& data);
// Runs a shell command; returns its exit status and fills `output` with stdout.
int Run(const std::string& command, std::string* output = nullptr);
// True when the program can be found on PATH.
bool HaveProgram(const std::string& name);
// Path of a file under tests/data/.
std::string DataFile(const std::string& name);
// Path of a program built into build/bin/.
std::string BinFile(const std::string& name);

// A raw BGR24 AVI made by the ffmpeg tool: `frames` frames of the lavfi source
// `source` (e.g. "color=c=black:s=160x120:r=25"), through the -vf chain `filter`
// ("" for none). False (and ffmpeg's complaint on stderr) when ffmpeg failed.
bool MakeRawClip(const std::string& path, const std::string& source, int frames, const std::string& filter = "");
// The -vf chain that paints red, green and blue by their own geq expressions of X,
// Y and N (a comma inside an expression written as \,).
std::string GeqFilter(const std::string& r, const std::string& g, const std::string& b);

// Runs build/bin/tevorin-harness on `script`, written as script.txt in `folder`
// (made if missing) with `settings`, if not empty, as the tevorin-harness.ini beside
// it. Returns the exit status; `out` gets what the script printed, and the
// harness's complaints too when `withErrors`.
int RunHarness(const std::string& folder, const std::string& script, std::string* out = nullptr,
               const std::string& settings = "", bool withErrors = false);
// What a harness run printed with its nth (from 1) "print-text NAME": the line just
// before the harness's "ok N print-text NAME"; "(not printed)" when there is none.
std::string PrintedText(const std::string& out, const std::string& name, int nth = 1);

// How far the process's peak resident memory rose while `work` ran, in bytes: the
// high-water mark is reset first (Linux clear_refs). -1 where that is not allowed.
// Large blocks come fresh from the system, so a second full-size buffer shows.
long long PeakGrowthBytes(const std::function<void()>& work);

}  // namespace testutil
