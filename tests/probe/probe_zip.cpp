// Zip reading from the command line:
//   zip-list ARCHIVE          the stored entry names, one a line, in archive order
//   unzip ARCHIVE FOLDER      extracts into FOLDER/<archive name>/ and prints that folder
#include <cstdio>
#include <exception>

#include "probe.h"
#include "web/SciZipFile.h"

namespace {

int ZipList(const std::vector<std::string>& args) {
    if (args.size() != 1) return ProbeFail("usage: zip-list ARCHIVE");
    try {
        TZipFile zip;
        zip.LoadFromFile(args[0]);
        for (int i = 0; i < zip.Count(); ++i) std::printf("%s\n", zip.Name(i).c_str());
    } catch (const std::exception& e) {
        return ProbeFail(e.what());
    }
    return 0;
}

int Unzip(const std::vector<std::string>& args) {
    if (args.size() != 2) return ProbeFail("usage: unzip ARCHIVE FOLDER");
    try {
        std::printf("%s\n", ExtractZipToFolder(args[0], args[1]).c_str());
    } catch (const std::exception& e) {
        return ProbeFail(e.what());
    }
    return 0;
}

ProbeCommand regList("zip-list", "ARCHIVE", ZipList);
ProbeCommand regUnzip("unzip", "ARCHIVE FOLDER", Unzip);

}  // namespace
