#include "platform/numtext.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace numtext {
namespace {

constexpr int kSignificant = 18;

// A finite value as decimal digits: value = 0.d1 d2 ... x 10^exponent.
struct Decimal {
    bool negative = false;
    std::string digits;  // no trailing zeros; empty means zero
    int exponent = 0;
};

Decimal ToDecimal(double value) {
    Decimal d;
    if (value == 0.0) return d;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", kSignificant - 1, value);
    const char* p = buf;
    if (*p == '-') {
        d.negative = true;
        ++p;
    }
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') d.digits.push_back(*p);
    int exp10 = (*p == 'e') ? std::atoi(p + 1) : 0;
    d.exponent = exp10 + 1;
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    return d;
}

// Keeps `keep` leading digits, rounding half away from zero on the next digit.
void RoundTo(Decimal& d, int keep) {
    if (static_cast<int>(d.digits.size()) <= keep) return;
    if (keep < 0) {
        d.digits.clear();
    } else {
        bool up = d.digits[keep] >= '5';
        d.digits.resize(keep);
        if (up) {
            int i = keep - 1;
            while (i >= 0 && d.digits[i] == '9') d.digits[i--] = '0';
            if (i >= 0) {
                ++d.digits[i];
            } else {
                d.digits.insert(d.digits.begin(), '1');
                ++d.exponent;
            }
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    if (d.digits.empty()) {
        d.exponent = 0;
        d.negative = false;
    }
}

Decimal Rounded(double value, int precision, int decimals) {
    Decimal d = ToDecimal(value);
    if (precision > kSignificant) precision = kSignificant;
    if (precision < 1) precision = 1;
    int keep = precision;
    if (decimals >= 0 && d.exponent + decimals < keep) keep = d.exponent + decimals;
    RoundTo(d, keep);
    return d;
}

char DigitAt(const Decimal& d, int i) { return i >= 0 && i < static_cast<int>(d.digits.size()) ? d.digits[i] : '0'; }

std::string ExponentForm(const Decimal& d) {
    std::string s = d.negative ? "-" : "";
    s += d.digits.empty() ? '0' : d.digits[0];
    if (d.digits.size() > 1) {
        s += '.';
        s.append(d.digits, 1, std::string::npos);
    }
    s += 'E';
    s += std::to_string(d.digits.empty() ? 0 : d.exponent - 1);
    return s;
}

std::string NonFinite(double value) {
    if (std::isnan(value)) return "NAN";
    return value < 0 ? "-INF" : "INF";
}

std::string_view TrimBlanks(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
}

int64_t Saturate(double r) {
    if (std::isnan(r)) return 0;
    if (r >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (r <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(r);
}

}  // namespace

// FormatFixed without the decimal expansion, for the common case of a value with
// fewer integer digits than `precision` - `digits` (so the last decimal is the
// rounding place) that lies clearly off a rounding half: there rounding the binary
// value scaled by 10^digits gives the digits the 18-digit expansion would. Near a
// half the expansion decides; false leaves it to the general road.
bool FastFixed(double value, int precision, int digits, std::string& out) {
    // Below 10^9 the scaled value is off by at most 1.2e-7, well inside the margin.
    static constexpr double kPow10[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    const int limit = std::min(precision, 9) - digits;
    if (precision < 1 || limit < 0) return false;
    const double a = std::fabs(value);
    if (!(a < kPow10[limit])) return false;
    const double x = a * kPow10[digits];
    const double floor = std::floor(x);
    const double frac = x - floor;
    if (std::fabs(frac - 0.5) <= 1e-6) return false;
    const uint64_t n = static_cast<uint64_t>(floor) + (frac > 0.5 ? 1 : 0);
    char buf[48];
    char* p = buf + sizeof buf;
    uint64_t m = n;
    for (int i = 0; i < digits; ++i) {
        *--p = static_cast<char>('0' + m % 10);
        m /= 10;
    }
    if (digits > 0) *--p = '.';
    do {
        *--p = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m);
    if (value < 0 && n != 0) *--p = '-';
    out.assign(p, static_cast<size_t>(buf + sizeof buf - p));
    return true;
}

std::string FormatFixed(double value, int precision, int digits) {
    if (!std::isfinite(value)) return NonFinite(value);
    if (digits < 0) digits = 0;
    if (digits > kSignificant) digits = kSignificant;
    if (std::string fast; FastFixed(value, precision, digits, fast)) return fast;
    Decimal d = Rounded(value, precision, digits);
    if (d.exponent > (precision > kSignificant ? kSignificant : precision)) return ExponentForm(d);
    std::string s = d.negative ? "-" : "";
    if (d.exponent <= 0) {
        s += '0';
    } else {
        for (int i = 0; i < d.exponent; ++i) s += DigitAt(d, i);
    }
    if (digits > 0) {
        s += '.';
        for (int i = 0; i < digits; ++i) s += DigitAt(d, d.exponent + i);
    }
    return s;
}

std::string FormatGeneral(double value, int precision) {
    if (!std::isfinite(value)) return NonFinite(value);
    Decimal d = Rounded(value, precision, -1);
    if (d.digits.empty()) return "0";
    if (d.exponent > precision || d.exponent < -3) return ExponentForm(d);
    std::string s = d.negative ? "-" : "";
    int n = static_cast<int>(d.digits.size());
    if (d.exponent <= 0) {
        s += "0.";
        s.append(static_cast<size_t>(-d.exponent), '0');
        s += d.digits;
    } else {
        for (int i = 0; i < d.exponent; ++i) s += DigitAt(d, i);
        if (n > d.exponent) {
            s += '.';
            s.append(d.digits, static_cast<size_t>(d.exponent), std::string::npos);
        }
    }
    return s;
}

std::string FormatWidth(double value, int width, int decimals) {
    std::string s = FormatFixed(value, kSignificant, decimals);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), ' ');
    return s;
}

int64_t RoundHalfAway(double value) {
    double r = std::trunc(value);
    if (std::fabs(value - r) >= 0.5) r += value < 0 ? -1.0 : 1.0;
    return Saturate(r);
}

int64_t RoundHalfEven(double value) { return Saturate(std::nearbyint(value)); }

int64_t Trunc(double value) { return Saturate(std::trunc(value)); }

std::optional<double> ParseFloat(std::string_view text) {
    std::string_view t = TrimBlanks(text);
    size_t i = 0, n = t.size();
    auto digits = [&] {
        size_t count = 0;
        while (i < n && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++count;
        return count;
    };
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    size_t mantissa = digits();
    if (i < n && t[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return std::nullopt;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
        if (digits() == 0) return std::nullopt;
    }
    if (i != n) return std::nullopt;
    // The text is a plain decimal number now; from_chars reads it without the
    // locale and without allocating (it takes no leading '+').
    const size_t from = t[0] == '+' ? 1 : 0;
    double v = 0;
    const auto r = std::from_chars(t.data() + from, t.data() + n, v);
    if (r.ec == std::errc::result_out_of_range) {
        // Underflow reads as the nearest small value, overflow as not a number.
        v = std::strtod(std::string(t.substr(from)).c_str(), nullptr);
    } else if (r.ec != std::errc() || r.ptr != t.data() + n) {
        return std::nullopt;
    }
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<int64_t> ParseInt(std::string_view text) {
    std::string_view t = TrimBlanks(text);
    bool neg = false;
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    int base = 10;
    if (i < t.size() && t[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= t.size()) return std::nullopt;
    uint64_t v = 0;
    for (; i < t.size(); ++i) {
        int c = static_cast<unsigned char>(t[i]);
        int dgt;
        if (c >= '0' && c <= '9') dgt = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') dgt = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') dgt = c - 'A' + 10;
        else return std::nullopt;
        if (v > (std::numeric_limits<uint64_t>::max() - dgt) / base) return std::nullopt;
        v = v * base + dgt;
    }
    if (!neg && v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
    if (neg && v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1) return std::nullopt;
    return neg ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
}

std::optional<int32_t> ParseInt32(std::string_view text) {
    auto v = ParseInt(text);
    if (!v || *v < std::numeric_limits<int32_t>::min() || *v > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return static_cast<int32_t>(*v);
}

}  // namespace numtext
