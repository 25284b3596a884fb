#include "analysis/fft.h"

#include <bit>
#include <cmath>
#include <numbers>

#include "analysis/mutual_event.h"
#include "measure/results_table.h"
#include "platform/numtext.h"

namespace fft {

FftArrays Fft;

bool FftArrays::Resize(int n) {
    if (n < 2 || n > kMaxFftSize || (n & (n - 1)) != 0) return false;
    FftSize = n;
    FftBits = std::countr_zero(static_cast<unsigned>(n));
    for (auto* a : {&FftReIn, &FftImIn, &FftReOut, &FftImOut}) a->assign(static_cast<size_t>(n), 0.0L);
    return true;
}

void FftArrays::Clear() {
    for (auto* a : {&FftReIn, &FftImIn, &FftReOut, &FftImOut}) {
        a->clear();
        a->shrink_to_fit();
    }
}

uint32_t FftArrays::BitReverse(uint32_t i) const {
    uint32_t r = 0;
    for (int b = 0; b < FftBits; ++b, i >>= 1) r = (r << 1) | (i & 1u);
    return r;
}

void FftArrays::BuildTables() {
    const int n = FftSize;
    const size_t half = static_cast<size_t>(n / 2);
    cos_.resize(half);
    nsin_.resize(half);
    // 2 pi k / N: the product pi x 2k is rounded once, the division by a power of two is exact.
    for (size_t k = 0; k < half; ++k) {
        const long double angle = std::numbers::pi_v<long double> * static_cast<long double>(2 * k) / n;
        cos_[k] = std::cos(angle);
        nsin_[k] = -std::sin(angle);
    }
    reversed_.resize(static_cast<size_t>(n));
    for (uint32_t i = 0; i < static_cast<uint32_t>(n); ++i) reversed_[i] = BitReverse(i);
    tableSize_ = n;
}

void FftArrays::RunFft(int direction) {
    const int n = FftSize;
    if (n < 2 || FftReIn.size() != static_cast<size_t>(n) || FftImIn.size() != FftReIn.size()) return;
    FftReOut.resize(static_cast<size_t>(n));
    FftImOut.resize(static_cast<size_t>(n));
    if (tableSize_ != n) BuildTables();
    const long double s = direction == 1 ? 1.0L : -1.0L;
    long double* re = FftReIn.data();
    long double* im = FftImIn.data();
    for (int stage = 1; stage <= FftBits; ++stage) {
        const int span = 1 << stage;
        const int half = n >> stage;
        // Within one block of 2 x half the twiddle index is the same for every butterfly:
        // the reversed position keeps only the block's high bits modulo the span.
        for (int p = 0; p < n - 1; p += 2 * half) {
            const size_t k = static_cast<size_t>(reversed_[static_cast<size_t>(p)] % static_cast<uint32_t>(span)) *
                             static_cast<size_t>(half);
            const long double wr = cos_[k], wi = s * nsin_[k];
            long double* ar = re + p;
            long double* ai = im + p;
            long double* br = ar + half;
            long double* bi = ai + half;
            if (k == 0) {
                for (int j = 0; j < half; ++j) {
                    const long double tr = br[j], ti = bi[j];
                    br[j] = ar[j] - tr, bi[j] = ai[j] - ti;
                    ar[j] += tr, ai[j] += ti;
                }
                continue;
            }
            for (int j = 0; j < half; ++j) {
                const long double tr = br[j] * wr - bi[j] * wi;
                const long double ti = br[j] * wi + bi[j] * wr;
                br[j] = ar[j] - tr, bi[j] = ai[j] - ti;
                ar[j] += tr, ai[j] += ti;
            }
        }
    }
    // x / N is exact: N is a power of two.
    const long double scale = direction == 1 ? 1.0L / n : 1.0L;
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
        FftReOut[reversed_[i]] = re[i] * scale;
        FftImOut[reversed_[i]] = im[i] * scale;
    }
}

std::string CsvFieldAt(const std::string& line, int n) { return GetField(line, n); }

std::string FftShortTable(const std::vector<std::string>& table, uint8_t formatVersion, int n) {
    if (n < 2 || table.size() >= static_cast<size_t>(n) + 7) return {};
    // The same count of lines in rows, those before the first data line left out.
    const size_t header = formatVersion == 1 || formatVersion == 2 ? 6 : 3;
    const size_t needed = static_cast<size_t>(n) + 7 - header;
    const size_t rows = table.size() > header ? table.size() - header : 0;
    return "The FFT of " + std::to_string(n) + " points needs " + std::to_string(needed) +
           " rows of results; this table has " + std::to_string(rows) + ".";
}

std::vector<std::string> FftListing(const std::vector<std::string>& table, uint8_t formatVersion, int n,
                                    bool fieldMode, FftArrays& arrays, std::string& error) {
    error.clear();
    std::vector<std::string> lines;
    const bool newFormat = formatVersion == 1 || formatVersion == 2;
    const size_t firstDataLine = newFormat ? 7 : 4;
    const int column = newFormat ? 11 : 5;
    if (n < 2 || table.size() < static_cast<size_t>(n) + 7 || !arrays.Resize(n)) return lines;
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
        const std::string cell = CsvFieldAt(table[firstDataLine - 1 + i], column);
        if (cell.empty()) continue;
        const auto v = numtext::ParseFloat(cell);
        if (!v) {
            error = mutual::FloatConvertError(cell);
            return lines;
        }
        arrays.FftReIn[i] = *v;
    }
    arrays.RunFft(1);
    const long double rate = RowsPerSecond(mutual::HeaderFrameRate(table), fieldMode);
    lines.reserve(static_cast<size_t>(n / 2));
    for (size_t k = 0; k < static_cast<size_t>(n / 2); ++k) {
        const long double re = arrays.FftReOut[k], im = arrays.FftImOut[k];
        const long double amplitude = 2 * std::sqrt(re * re + im * im) / n;
        const long double frequency = static_cast<long double>(k) * rate / n;
        lines.push_back(numtext::FormatFixed(static_cast<double>(frequency), 8, 6) + "," +
                        numtext::FormatFixed(static_cast<double>(amplitude), 8, 6));
    }
    return lines;
}

}  // namespace fft
