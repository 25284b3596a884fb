#pragma once
// Helpers shared by the test executables.
#include <string>
#include <vector>

namespace testutil {

// A fresh empty folder under the build tree, removed when the object dies.
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
void WriteAll(const std::string& path, const std::string& data);
// Runs a shell command; returns its exit status and fills `output` with stdout.
int Run(const std::string& command, std::string* output = nullptr);
// True when the program can be found on PATH.
bool HaveProgram(const std::string& name);
// Path of a file under tests/data/.
std::string DataFile(const std::string& name);
// Path of a program built into build/bin/.
std::string BinFile(const std::string& name);

}  // namespace testutil
