#pragma once
// Golden files of tests/data/analysis: blocks opened by a heading line ("exact 64",
// "case lowpass long"), then lines "key numbers...", read at extended precision.
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_util.h"

namespace agolden {

struct Block {
    std::string kind;
    std::vector<std::string> head;
    std::map<std::string, std::vector<long double>> f;
    const std::vector<long double>& at(const std::string& key) const { return f.at(key); }
};

inline std::string Path(const std::string& name) { return testutil::DataFile("analysis/" + name); }

inline std::vector<Block> Read(const std::string& name, const std::set<std::string>& headings) {
    std::vector<Block> blocks;
    std::istringstream lines(testutil::ReadAll(Path(name)));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream ss(line);
        std::string key;
        ss >> key;
        std::vector<std::string> words;
        for (std::string w; ss >> w;) words.push_back(w);
        if (headings.count(key)) {
            blocks.push_back({key, words, {}});
            continue;
        }
        if (blocks.empty()) continue;
        std::vector<long double> v;
        for (const auto& w : words) v.push_back(std::strtold(w.c_str(), nullptr));
        blocks.back().f[key] = v;
    }
    return blocks;
}

}  // namespace agolden
