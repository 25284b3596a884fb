// tevorin-probe fresnel and intensity, end to end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "support/test_util.h"

namespace {

int Probe(const std::string& args, std::string* out) {
    return testutil::Run("'" + testutil::BinFile("tevorin-probe") + "' " + args + " 2>/dev/null", out);
}

std::vector<long double> Numbers(const std::string& text) {
    std::vector<long double> v;
    std::istringstream in(text);
    std::string word;
    while (in >> word) v.push_back(std::strtold(word.c_str(), nullptr));
    return v;
}

}  // namespace

TEST(ProbeFresnel, PrintsTableValuesWith21Digits) {
    std::string out;
    ASSERT_EQ(Probe("fresnel 0 10000 2400000", &out), 0);
    std::istringstream lines(out);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line)) all.push_back(line);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], "0.000100000000000000000001 0");
    // Reference: mpmath with the Euler-Maclaurin end corrections (golden file).
    const auto v = Numbers(out);
    ASSERT_EQ(v.size(), 6u);
    EXPECT_NEAR(static_cast<double>(v[2]), 0.7799433977588289, 1e-15);
    EXPECT_NEAR(static_cast<double>(v[3]), 0.4383091473903548, 1e-15);
    EXPECT_NEAR(static_cast<double>(v[4]), 0.5000999926706330, 1e-15);
    EXPECT_NEAR(static_cast<double>(v[5]), 0.4986743371857599, 1e-15);
    EXPECT_EQ(all[2].substr(0, all[2].find(' ')).size(), 23u);  // "0." and 21 digits

    EXPECT_NE(Probe("fresnel", &out), 0);
    EXPECT_NE(Probe("fresnel 2400001", &out), 0);
    EXPECT_NE(Probe("fresnel -1", &out), 0);
    EXPECT_NE(Probe("fresnel 1.5", &out), 0);
}

TEST(ProbeFresnel, Intensity) {
    std::string out;
    ASSERT_EQ(Probe("intensity --distance 384401000 --velocity 700 --temperature 6650 0 100 -100 0.01", &out), 0);
    auto v = Numbers(out);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_NEAR(static_cast<double>(v[0]), 0.250050005, 1e-14);  // every colour at the edge
    EXPECT_NEAR(static_cast<double>(v[1]), 1.0, 1e-15);
    EXPECT_EQ(v[2], 0.0L);
    EXPECT_GT(v[3], 0.8L);

    // No velocity: no change with time.
    ASSERT_EQ(Probe("intensity --velocity 0 -5 5", &out), 0);
    v = Numbers(out);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0], v[1]);

    EXPECT_NE(Probe("intensity", &out), 0);
    EXPECT_NE(Probe("intensity --distance", &out), 0);
    EXPECT_NE(Probe("intensity --distance 3.5 0", &out), 0);
    EXPECT_NE(Probe("intensity --velocity fast 0", &out), 0);
    EXPECT_NE(Probe("intensity 0 soon", &out), 0);
}
