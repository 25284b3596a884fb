#include "overlay/overlay_classify.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace overlay {
namespace {

// How a class deviates from the plain score.
enum class Special : uint8_t {
    kNone,
    kGhsEight,  // the last group adds |S + W x m| and its width stays out of the denominator
    kGhsN,      // runs 24 and 25 of the dark group count in S only; their widths join the denominator
};

struct ClassRule {
    bool scored = false;
    Special special = Special::kNone;
    std::array<uint8_t, 24> on{};
    int onCount = 0;
    std::array<uint8_t, 48> dark{};
    int darkCount = 0;
    std::array<uint8_t, 6> groupEnd{};  // group j covers dark[groupEnd[j-1] .. groupEnd[j])
    std::array<bool, 6> minus{};
    int groupCount = 0;
};

// The rules are written as the run lists read: "1, 2 x2, 4" for the on runs and
// "(18, 33, 35); minus (9)" for the dark groups. Parsed at compile time, so a
// malformed rule or a run number out of range does not build.
constexpr void SkipBlanks(std::string_view s, size_t& i) {
    while (i < s.size() && (s[i] == ' ' || s[i] == ',')) ++i;
}

constexpr int ParseNumber(std::string_view s, size_t& i) {
    if (i >= s.size() || s[i] < '0' || s[i] > '9') throw std::logic_error("run number expected");
    int n = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') n = n * 10 + (s[i++] - '0');
    return n;
}

// Reads runs up to the end or a ')'; "x2"/"x3" repeats the run before.
template <size_t N>
constexpr void ParseRuns(std::string_view s, size_t& i, std::array<uint8_t, N>& out, int& count) {
    for (SkipBlanks(s, i); i < s.size() && s[i] != ')'; SkipBlanks(s, i)) {
        const int run = ParseNumber(s, i);
        if (run >= kSampleRunCount) throw std::logic_error("run out of range");
        int times = 1;
        if (i + 1 < s.size() && s[i] == ' ' && s[i + 1] == 'x') {
            i += 2;
            times = ParseNumber(s, i);
        }
        for (int k = 0; k < times; ++k) {
            if (count >= static_cast<int>(N)) throw std::logic_error("too many runs");
            out[static_cast<size_t>(count++)] = static_cast<uint8_t>(run);
        }
    }
}

constexpr ClassRule Rule(std::string_view on, std::string_view dark, Special special = Special::kNone) {
    ClassRule r;
    r.scored = true;
    r.special = special;
    size_t i = 0;
    ParseRuns(on, i, r.on, r.onCount);
    if (i != on.size()) throw std::logic_error("bad on runs");
    i = 0;
    while (i < dark.size()) {
        while (i < dark.size() && (dark[i] == ' ' || dark[i] == ';')) ++i;
        if (i == dark.size()) break;
        if (r.groupCount >= static_cast<int>(r.groupEnd.size())) throw std::logic_error("too many groups");
        if (dark.substr(i, 6) == "minus ") {
            r.minus[static_cast<size_t>(r.groupCount)] = true;
            i += 6;
        }
        if (dark[i] != '(') throw std::logic_error("group expected");
        ++i;
        ParseRuns(dark, i, r.dark, r.darkCount);
        if (i >= dark.size() || dark[i] != ')') throw std::logic_error("unclosed group");
        ++i;
        r.groupEnd[static_cast<size_t>(r.groupCount++)] = static_cast<uint8_t>(r.darkCount);
    }
    return r;
}

constexpr ClassRule kUnscored{};

// clang-format off
constexpr std::array<ClassRule, kClassCount> kKiwiRules{
    Rule("1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 14, 20", "(18, 33, 35); (16, 17, 22, 23, 26)"),
    Rule("20, 21, 22, 23, 24, 25, 26", "(4, 5, 7, 9, 11, 29, 30, 33)"),
    Rule("1, 6, 8, 14, 20, 27, 28, 29, 30", "(2, 3, 4, 11, 12, 31, 41)"),
    Rule("1, 5, 8, 9, 11, 12, 14, 17, 20", "(18, 35, 37, 38); (3, 10, 29, 30); (16); (2 x2, 4 x2)"),
    Rule("4, 18 x2, 32, 33, 34, 35, 36, 37, 38, 39", "(26); (17); (1, 5, 8, 9, 10, 12, 20)"),
    Rule("0, 1, 2, 5, 7, 10, 11, 12, 14, 16, 17", "(3, 4, 8, 9, 17)"),
    Rule("1, 2, 3, 4, 5, 11, 12, 14, 17 x2, 20", "(18, 35, 37, 38); (3, 6, 10, 16, 25); (8, 9)"),
    Rule("0, 7, 8, 9, 14, 40, 41, 42, 43", "(2, 3, 5, 20)"),
    Rule("1, 2, 4, 5, 8, 9, 11, 12, 14, 17 x2, 20", "(18, 35, 37, 38); (3 x2, 6, 10, 16, 25)"),
    Rule("1, 2 x2, 8, 9, 10, 11, 12, 14, 17 x2", "(18, 35, 37, 38); (3, 16); (4, 5 x2)"),
    kUnscored, kUnscored, kUnscored, kUnscored, kUnscored, kUnscored,
};

constexpr std::array<ClassRule, kClassCount> kIotaRules{
    Rule("1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 14, 20", "(0, 6, 7, 13, 16, 17, 18, 22, 26)"),
    Rule("20, 21, 22, 23, 24, 25, 26", "(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13)"),
    Rule("1, 6, 8, 13, 14, 20, 27, 28, 29, 30", "(0, 2, 3, 4, 7, 10, 11, 12, 15, 16, 26, 31)"),
    Rule("1, 5, 8, 9, 10, 11, 12, 14, 20, 31", "(3, 4); (0, 2, 3, 4, 6, 7, 13, 16, 22, 24, 26)"),
    Rule("4, 18 x2, 32, 33, 34, 35, 36, 37, 38, 39", "(26); (17); (1, 5, 8, 9, 10, 12, 20)"),
    Rule("0, 1, 2, 5, 7, 10, 11, 12, 14, 16, 17", "(3, 4, 8 x2, 9); (3, 4, 8, 9, 17)"),
    Rule("1, 2, 3, 4, 5, 8, 11, 12, 14, 17, 20", "(0, 6, 7, 9, 10, 13, 15, 16, 18, 26); minus (9)"),
    Rule("0, 7, 8, 9, 14, 40, 41, 42, 43", "(6, 13); (2, 3, 5, 20)"),
    Rule("1, 2, 4, 5, 8, 9, 11, 12, 14, 17, 20", "(0, 3, 6, 7, 10, 13, 16, 18, 22, 26)"),
    Rule("1, 2, 5, 8, 9, 10, 11, 12, 14, 17, 20", "(0, 3, 4, 6, 7, 13, 16, 18, 22, 26)"),
    Rule("0, 1, 2, 3, 4, 5, 6, 7, 13, 14, 17, 20", "(8, 11, 12, 22, 23)"),
    Rule("0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 44, 45", "(14, 20)"),
    Rule("0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 24, 25", "(14)"),
    kUnscored,
    Rule("1, 2, 5, 8, 11, 12, 14, 17, 20", "(0, 3, 4, 6, 7, 9, 10, 13, 16, 18, 22, 26)"),
    kUnscored,
};

constexpr std::array<ClassRule, kClassCount> kGhsRules{
    Rule("1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 14, 20", "(0, 6, 7, 13, 16, 17, 18, 22, 26)"),
    Rule("20, 21, 22, 23, 24, 25, 26", "(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13)"),
    Rule("1, 6, 8, 13, 14, 20, 27, 28, 29, 30", "(0, 2, 3, 4, 7, 10, 11, 12, 15, 16, 26, 31)"),
    Rule("1, 5, 8, 9, 10, 11, 12, 14, 20, 31", "(3, 4); (0, 2 x2, 3, 4 x2, 6, 7, 13, 16, 22, 24, 26)"),
    Rule("4, 18 x2, 32, 33, 34, 35, 36, 37, 38, 39", "(26); (17); (1, 5, 8, 9, 10, 12, 20)"),
    Rule("0, 1, 2, 5, 7, 10, 11, 12, 14, 16, 17", "(3, 4, 8 x2, 9); (3, 4, 8, 9, 17)"),
    Rule("1, 2, 3, 4 x2, 5, 8, 11, 12, 14, 17 x3, 20", "(0, 6, 7, 9 x2, 10, 13, 15, 16, 18, 26)"),
    Rule("0, 7, 8, 9, 14, 40, 41, 42, 43", "(6, 13); (2, 3, 5, 20)"),
    Rule("1, 2 x2, 4 x2, 5, 8, 9 x2, 11, 12, 14, 17 x3, 20", "(0, 3, 6, 7, 10, 13, 16, 18, 22, 26); (4)",
         Special::kGhsEight),
    Rule("1, 2, 5, 8, 9, 10, 11, 12, 14, 17 x3, 20", "(4 x2); (0, 3, 4 x3, 6, 7, 13, 16, 18, 22, 26)"),
    Rule("0, 1, 2, 3, 4, 5, 6, 7, 13, 14, 17, 20", "(8, 11, 12, 22, 23)"),
    Rule("0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 44, 45", "(14, 20, 24, 25)", Special::kGhsN),
    Rule("0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 24, 25", "(6, 13, 14)"),
    kUnscored,
    Rule("1, 2, 5, 8, 11, 12, 14, 17, 20", "(0, 3, 4, 6, 7, 9, 10, 13, 16, 18, 22, 26)"),
    Rule("0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 20", "(6, 13, 14, 16, 17, 18, 22, 26)"),
};
// clang-format on

// A divisor of 0 (no on-run width outside the letters E, N, W, or no width at all)
// scores 0: it arises when a tiny located pitch rounds every run width to 0.
double Score(const ClassRule& r, const SampleVector& s, int cls) {
    if (!r.scored) return 0;
    int64_t sa = 0, wa = 0;
    for (int k = 0; k < r.onCount; ++k) {
        sa += s.v[r.on[static_cast<size_t>(k)]];
        wa += s.w[r.on[static_cast<size_t>(k)]];
    }
    if (wa == 0) {
        if (cls < 10 || cls > 12) return 0;
        wa = 1;
    }
    const long double m = static_cast<long double>(sa) / static_cast<long double>(wa);
    long double num = static_cast<long double>(sa);
    int64_t den = wa;
    int begin = 0;
    for (int g = 0; g < r.groupCount; ++g) {
        const int end = r.groupEnd[static_cast<size_t>(g)];
        int64_t sj = 0, wj = 0, wTerm = 0;
        for (int k = begin; k < end; ++k) {
            const int run = r.dark[static_cast<size_t>(k)];
            sj += s.v[static_cast<size_t>(run)];
            wj += s.w[static_cast<size_t>(run)];
            if (!(r.special == Special::kGhsN && (run == 24 || run == 25))) wTerm += s.w[static_cast<size_t>(run)];
        }
        begin = end;
        const bool lastOfEight = r.special == Special::kGhsEight && g == r.groupCount - 1;
        const long double term = lastOfEight ? std::fabs(static_cast<long double>(sj) + static_cast<long double>(wj) * m)
                                             : std::fabs(static_cast<long double>(sj) - static_cast<long double>(wTerm) * m);
        num += r.minus[static_cast<size_t>(g)] ? -term : term;
        if (!lastOfEight) den += wj;
    }
    if (den == 0) return 0;
    return static_cast<double>(num / static_cast<long double>(den));
}

void ScoreAll(const std::array<ClassRule, kClassCount>& rules, const SampleVector& s, ScoreVector& scores,
              bool scaleE) {
    for (int k = 0; k < kClassCount; ++k) scores[static_cast<size_t>(k)] = Score(rules[static_cast<size_t>(k)], s, k);
    // "E" shares most of its strokes with other letters; it must win clearly.
    if (scaleE) scores[10] *= 0.8;
}

}  // namespace

void ClassifyKiwiCharacter(const SampleVector& s, ScoreVector& scores) { ScoreAll(kKiwiRules, s, scores, false); }
void ClassifyIotaCharacter(const SampleVector& s, ScoreVector& scores) { ScoreAll(kIotaRules, s, scores, true); }
void ClassifyGhsCharacter(const SampleVector& s, ScoreVector& scores) { ScoreAll(kGhsRules, s, scores, true); }

}  // namespace overlay
