#pragma once
// Number text with the desktop class library's rules, in one place. Every window
// and every file writer formats and parses numbers through these.
//
// Rounding of printed values works on the value's 18 significant decimal digits
// and rounds the last kept digit half away from zero (0.125 -> "0.13", while
// 2.675, stored as 2.67499999..., gives "2.67"). A value that rounds to zero prints
// without a minus sign.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace numtext {

// Fixed notation: the value rounded to `precision` significant digits and to
// `digits` decimals, printed with exactly `digits` decimals ("-12.30"). When the
// integer part has more than `precision` digits the general exponent form is used
// instead ("1.2345679E10").
std::string FormatFixed(double value, int precision, int digits);

// General form with `precision` significant digits (default 15), trailing zeros
// dropped; exponent form ("1.5E20", "1E-5") beyond `precision` integer digits or
// below 1e-4.
std::string FormatGeneral(double value, int precision = 15);

// Width format: `decimals` decimals, right-aligned in at least `width` characters
// (width 5 with 2 decimals gives "29.97", " 1.00").
std::string FormatWidth(double value, int width, int decimals);

// Halves away from zero (2.5 -> 3, -2.5 -> -3).
int64_t RoundHalfAway(double value);
// Halves to even (2.5 -> 2, 3.5 -> 4), the rounding of round().
int64_t RoundHalfEven(double value);
// Towards zero.
int64_t Trunc(double value);
// The three above saturate at the int64 range and give 0 for NaN.

// Text to number with the class library's rules: blanks around the number are
// ignored, a sign is allowed, "." is the decimal separator, an exponent "E"/"e" is
// allowed for reals, "$" starts a hexadecimal integer. Anything else does not
// convert: the result is empty.
std::optional<double> ParseFloat(std::string_view text);
std::optional<int64_t> ParseInt(std::string_view text);
// ParseInt limited to the 32-bit range.
std::optional<int32_t> ParseInt32(std::string_view text);

}  // namespace numtext
