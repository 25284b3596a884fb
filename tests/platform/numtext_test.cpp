#include "platform/numtext.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <gtest/gtest.h>
#include <limits>

using namespace numtext;

namespace {
struct FixedRow {
    double value;
    int precision, digits;
    const char* text;
};
}  // namespace

TEST(NumText, FixedNotationTable) {
    const FixedRow rows[] = {
        {1234.5678, 8, 1, "1234.6"},
        {0.125, 8, 2, "0.13"},            // exact binary tie: away from zero
        {-0.125, 8, 2, "-0.13"},
        {2.675, 8, 2, "2.67"},            // stored below the tie
        {0.05, 8, 1, "0.1"},
        {-0.04, 8, 1, "0.0"},             // rounds to zero: no minus sign
        {-0.0, 8, 1, "0.0"},
        {0.0, 6, 4, "0.0000"},
        {1.5, 6, 4, "1.5000"},
        {0.00004, 6, 4, "0.0000"},
        {0.00005, 6, 4, "0.0001"},
        {12345678.9, 8, 1, "12345679.0"},  // precision cuts the decimal
        {123456789.0, 8, 1, "1.2345679E8"},  // more integer digits than precision
        {99999999.96, 8, 1, "1E8"},
        {-123456789.0, 8, 1, "-1.2345679E8"},
        {3.14159, 5, 1, "3.1"},
        {-7.25, 8, 1, "-7.3"},
        {9.95, 8, 1, "9.9"},              // stored as 9.94999...
        {9.96, 8, 1, "10.0"},             // carry into a new digit
        {1e-300, 8, 1, "0.0"},
        {42.0, 8, 0, "42"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FormatFixed(r.value, r.precision, r.digits), r.text) << r.value << " p" << r.precision << " d" << r.digits;
}

// Away from a rounding half, fixed notation is the C library's correctly rounded
// %.*f (without a minus sign on zero): the short road for small values must agree
// with it on every magnitude and precision it takes.
TEST(NumText, FixedNotationAgreesWithTheCLibraryOffTies) {
    uint64_t state = 12345;
    int compared = 0;
    for (int i = 0; i < 200000; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const double unit = static_cast<double>(state >> 11) / 9007199254740992.0;
        const int magnitude = static_cast<int>(state % 13) - 4;
        const double value = (state & 1 ? -1 : 1) * unit * std::pow(10.0, magnitude);
        const int digits = static_cast<int>((state >> 5) % 4);
        const int precision = 6 + static_cast<int>((state >> 8) % 3) * 4;  // 6, 10, 14
        if (std::fabs(value) >= std::pow(10.0, precision - digits)) continue;
        const long double scaled = std::fabs(static_cast<long double>(value)) * std::pow(10.0L, digits);
        if (std::fabs(scaled - std::floor(scaled) - 0.5L) < 1e-5L) continue;
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", digits, value);
        std::string want = buf;
        if (want[0] == '-' && want.find_first_not_of("-0.") == std::string::npos) want.erase(0, 1);
        ASSERT_EQ(FormatFixed(value, precision, digits), want) << value << " p" << precision << " d" << digits;
        ++compared;
    }
    EXPECT_GT(compared, 100000);
}

TEST(NumText, WidthAndGeneralForms) {
    EXPECT_EQ(FormatWidth(29.97, 5, 2), "29.97");
    EXPECT_EQ(FormatWidth(25.0, 5, 2), "25.00");
    EXPECT_EQ(FormatWidth(1.0, 5, 2), " 1.00");
    EXPECT_EQ(FormatWidth(30000.0 / 1001.0, 6, 2), " 29.97");
    EXPECT_EQ(FormatWidth(100.0, 5, 2), "100.00");
    EXPECT_EQ(FormatWidth(-1.005, 7, 2), "  -1.00");  // -1.00499999...
    EXPECT_EQ(FormatGeneral(1e20), "1E20");
    EXPECT_EQ(FormatGeneral(1.5e-5), "1.5E-5");
    EXPECT_EQ(FormatGeneral(0.0001), "0.0001");
    EXPECT_EQ(FormatGeneral(123.456), "123.456");
    EXPECT_EQ(FormatGeneral(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FormatGeneral(-2.5), "-2.5");
    EXPECT_EQ(FormatGeneral(0.0), "0");
    EXPECT_EQ(FormatFixed(std::numeric_limits<double>::quiet_NaN(), 8, 1), "NAN");
    EXPECT_EQ(FormatFixed(-std::numeric_limits<double>::infinity(), 8, 1), "-INF");
}

TEST(NumText, Roundings) {
    EXPECT_EQ(RoundHalfAway(2.5), 3);
    EXPECT_EQ(RoundHalfAway(-2.5), -3);
    EXPECT_EQ(RoundHalfAway(0.49999999999999994), 0);
    EXPECT_EQ(RoundHalfAway(-0.5), -1);
    EXPECT_EQ(RoundHalfAway(1.4999), 1);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(29.97), 30);
    EXPECT_EQ(Trunc(-2.7), -2);
    EXPECT_EQ(RoundHalfAway(std::nan("")), 0);
    EXPECT_EQ(RoundHalfAway(1e300), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(RoundHalfEven(-1e300), std::numeric_limits<int64_t>::min());
}

TEST(NumText, ParsingAndDoesNotConvert) {
    EXPECT_EQ(ParseFloat(" 12.5 "), 12.5);
    EXPECT_EQ(ParseFloat("1e3"), 1000.0);
    EXPECT_EQ(ParseFloat("-1.5E-2"), -0.015);
    EXPECT_EQ(ParseFloat(".5"), 0.5);
    EXPECT_EQ(ParseFloat("1."), 1.0);
    EXPECT_EQ(ParseFloat("+3"), 3.0);
    for (const char* bad : {"", " ", "-", ".", "1,5", "abc", "12a", "1e", "1e+", "1..2", "--1", "1e999"})
        EXPECT_FALSE(ParseFloat(bad).has_value()) << bad;
    EXPECT_EQ(ParseInt("42"), 42);
    EXPECT_EQ(ParseInt(" -17 "), -17);
    EXPECT_EQ(ParseInt("$1F"), 31);
    EXPECT_EQ(ParseInt("-9223372036854775808"), std::numeric_limits<int64_t>::min());
    for (const char* bad : {"", "4 2", "1.0", "x", "9223372036854775808", "$", "$G"})
        EXPECT_FALSE(ParseInt(bad).has_value()) << bad;
    EXPECT_FALSE(ParseInt32("2147483648").has_value());
    EXPECT_EQ(ParseInt32("-2147483648"), -2147483648LL);
}
