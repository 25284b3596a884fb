// Golden files written by the oracle scripts: blocks opened by a heading line
// ("case 41 41 20 20 0"), then lines "key numbers...".
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_util.h"

namespace golden {

struct Block {
    std::string kind;
    std::vector<double> head;
    std::map<std::string, std::vector<double>> f;
    int H(size_t i) const { return static_cast<int>(head.at(i)); }
};

inline std::string Path(const std::string& name) { return testutil::DataFile("measure/" + name); }

inline std::vector<Block> Read(const std::string& name, const std::set<std::string>& headings) {
    std::vector<Block> blocks;
    std::istringstream lines(testutil::ReadAll(Path(name)));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream ss(line);
        std::string key;
        ss >> key;
        std::vector<double> v;
        for (double d; ss >> d;) v.push_back(d);
        if (headings.count(key)) blocks.push_back({key, v, {}});
        else if (!blocks.empty()) blocks.back().f[key] = v;
    }
    return blocks;
}

inline std::vector<Block> Of(const std::vector<Block>& all, const std::string& kind) {
    std::vector<Block> out;
    for (const Block& b : all)
        if (b.kind == kind) out.push_back(b);
    return out;
}

}  // namespace golden
