#include "golden_compare.h"

#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "test_util.h"

namespace testutil {

bool Differences::Check(double got, double want, double allowed, const std::string& where) {
    if (std::abs(got - want) <= allowed) return true;
    std::ostringstream s;
    s.precision(17);
    s << where << ": got " << got << ", want " << want << " (allowed " << allowed << ")";
    Note(s.str());
    return false;
}

void Differences::Note(const std::string& what) {
    if (count_++ < shown_) text_ += "  " + what + "\n";
}

std::string Differences::Report() const {
    if (count_ == 0) return "";
    std::string r = std::to_string(count_) + " difference(s)" + (count_ > shown_ ? ", the first " + std::to_string(shown_) : "") + ":\n";
    return r + text_;
}

namespace {

struct Rule {
    double abs = 0, rel = 0;
    std::string at;  // list key, or empty for everywhere
};

std::vector<std::vector<std::string>> Lines(const std::string& text) {
    std::vector<std::vector<std::string>> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream s(line);
        std::vector<std::string> tokens;
        for (std::string t; s >> t;) tokens.push_back(t);
        out.push_back(std::move(tokens));
    }
    while (!out.empty() && out.back().empty()) out.pop_back();
    return out;
}

bool Number(const std::string& t, double& v) {
    std::istringstream s(t);
    return static_cast<bool>(s >> v) && s.peek() == std::char_traits<char>::eof();
}

std::map<std::string, Rule> Rules(const std::string& path, Differences& d) {
    std::map<std::string, Rule> rules;
    std::istringstream in(ReadAll(path));
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find('#'));
        std::istringstream s(line);
        std::string key, at;
        Rule r;
        if (!(s >> key)) continue;
        if (!(s >> r.abs >> r.rel) || ((s >> at) && (at != "at" || !(s >> r.at)))) d.Note(path + ": bad rule \"" + line + "\"");
        rules[key] = r;
    }
    return rules;
}

}  // namespace

std::string CompareWithGolden(const std::string& gotText, const std::string& goldenPath) {
    Differences d;
    const std::string tolPath = goldenPath.substr(0, goldenPath.rfind('.')) + ".tolerance";
    const std::map<std::string, Rule> rules = Rules(tolPath, d);
    const auto got = Lines(gotText), want = Lines(ReadAll(goldenPath));
    if (got.size() != want.size())
        d.Note(std::to_string(got.size()) + " lines against " + std::to_string(want.size()) + " in " + goldenPath);
    for (size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
        const auto &g = got[i], &w = want[i];
        const std::string line = "line " + std::to_string(i + 1) + (w.empty() ? "" : " (" + w[0] + ")");
        if (g.size() != w.size() || (!w.empty() && g[0] != w[0])) {
            d.Note(line + ": " + std::to_string(g.size()) + " fields" + (g.empty() ? "" : " starting \"" + g[0] + "\"") +
                   ", want " + std::to_string(w.size()));
            continue;
        }
        if (w.empty()) continue;
        auto rule = rules.find(w[0]);
        if (rule == rules.end()) rule = rules.find("*");
        const Rule r = rule == rules.end() ? Rule{} : rule->second;
        std::set<size_t> where;  // positions the rule covers (counted from the first number)
        if (!r.at.empty()) {
            size_t j = i + 1;
            while (j < want.size() && (want[j].empty() || want[j][0] != r.at)) ++j;
            for (size_t k = 1; j < want.size() && k < want[j].size(); ++k) where.insert(std::stoul(want[j][k]));
        }
        for (size_t k = 1; k < w.size(); ++k) {
            const std::string pos = line + " value " + std::to_string(k - 1);
            double a, b;
            if (!Number(g[k], a) || !Number(w[k], b)) {
                if (g[k] != w[k]) d.Note(pos + ": \"" + g[k] + "\", want \"" + w[k] + "\"");
                continue;
            }
            const bool covered = r.at.empty() || where.count(k - 1);
            d.Check(a, b, covered ? r.abs + r.rel * std::abs(b) : 0.0, pos);
        }
    }
    return d.Report();
}

}  // namespace testutil
