// fft [--inverse] < IN: N lines "re [im]" (N a power of two, 2 .. 2^20); prints
//   N lines "re im" of the forward transform (or the inverse), 21 significant digits.
// dwt [--levels L] [--inverse] < IN: L (default 10) D4 analysis levels over a
//   power-of-two count of values into the Mallat layout, or L synthesis levels
//   from it; one value a line, 21 digits.
// fft-listing TABLE.csv [--size N] [--field]: the lines "Analyze" writes into the
//   FFT window's memo (none for a short table), the frequencies in rows a second of
//   the table's frame rate (29.97 when its header gives none).
// noise-reduction IN.csv OUT.csv [--method 0..4] [--objects 1,2,3] [--width W1,W2,W3]
//   [--size N] [--offset O] [--cutoff C] [--band LO,HI [--outside]] [--erase FROM,TO]
//   [--sigma-rows A,B] [--factor P] [--range BEGIN,END] [--field] [--reset]: one
//   "Apply" (or "Reset") with the controls so set; OUT is the table afterwards.
//   Prints "offset O", for the wavelet "sigma TEXT" and "threshold V", then
//   "statistics" and the six texts of Edit4-Edit9. A conversion error prints its
//   message, exits 2 and writes nothing.
#include <cstdio>
#include <iostream>
#include <sstream>

#include "analysis/fft.h"
#include "analysis/noise_reduction.h"
#include "analysis/wavelet.h"
#include "measure/results_table.h"
#include "platform/numtext.h"
#include "probe.h"

namespace {

bool ReadValue(const std::string& token, long double& v) {
    const auto r = numtext::ParseFloat(token);
    if (!r) return false;
    // Beyond double: the text is read again at extended precision.
    v = std::strtold(token.c_str(), nullptr);
    return true;
}

int Fft(const std::vector<std::string>& args) {
    bool inverse = false;
    for (const auto& a : args) {
        if (a == "--inverse") inverse = true;
        else return ProbeFail("fft: unknown option " + a);
    }
    std::vector<long double> re, im;
    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream ss(line);
        std::string a, b;
        if (!(ss >> a)) continue;
        long double x = 0, y = 0;
        if (!ReadValue(a, x) || ((ss >> b) && !ReadValue(b, y))) return ProbeFail("fft: not a number: " + line);
        if (re.size() >= static_cast<size_t>(fft::kMaxFftSize)) return ProbeFail("fft: more than 2^20 values");
        re.push_back(x), im.push_back(y);
    }
    fft::FftArrays f;
    if (!f.Resize(static_cast<int>(re.size())))
        return ProbeFail("fft: the count of values must be a power of two from 2 to 2^20, got " + std::to_string(re.size()));
    f.FftReIn = re, f.FftImIn = im;
    f.RunFft(inverse ? -1 : 1);
    for (size_t k = 0; k < re.size(); ++k) std::printf("%.21Lg %.21Lg\n", f.FftReOut[k], f.FftImOut[k]);
    return 0;
}

int Dwt(const std::vector<std::string>& args) {
    bool inverse = false;
    int levels = 10;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--inverse") {
            inverse = true;
        } else if (args[i] == "--levels" && i + 1 < args.size()) {
            const auto n = numtext::ParseInt32(args[++i]);
            if (!n || *n < 0 || *n > 30) return ProbeFail("dwt: bad level count " + args[i]);
            levels = *n;
        } else {
            return ProbeFail("dwt: unknown option " + args[i]);
        }
    }
    std::vector<long double> v;
    for (std::string tok; std::cin >> tok;) {
        long double x = 0;
        if (!ReadValue(tok, x)) return ProbeFail("dwt: not a number: " + tok);
        if (v.size() >= size_t{1} << 24) return ProbeFail("dwt: too many values");
        v.push_back(x);
    }
    wavelet::WaveletData w;
    const bool ok = inverse ? wavelet::DwtInverse(w, v, levels) : wavelet::DwtForward(w, v, levels);
    if (!ok) return ProbeFail("dwt: need a power-of-two count of at least 2^levels values, got " + std::to_string(v.size()));
    for (long double x : v) std::printf("%.21Lg\n", x);
    return 0;
}

bool ReadTable(const std::string& path, LoadedResults& loaded, std::string& error) {
    return ReadResultsFile(path, loaded, error);
}

int FftListing(const std::vector<std::string>& args) {
    if (args.empty()) return ProbeFail("fft-listing: give TABLE.csv");
    int size = 1024;
    bool field = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--field") {
            field = true;
        } else if (args[i] == "--size" && i + 1 < args.size()) {
            const auto n = numtext::ParseInt32(args[++i]);
            if (!n || *n < 2 || *n > fft::kMaxFftSize || (*n & (*n - 1))) return ProbeFail("fft-listing: bad size " + args[i]);
            size = *n;
        } else {
            return ProbeFail("fft-listing: unknown option " + args[i]);
        }
    }
    LoadedResults loaded;
    std::string error;
    if (!ReadTable(args[0], loaded, error)) return ProbeFail(error);
    fft::FftArrays arrays;
    const auto lines = fft::FftListing(loaded.lines, loaded.format.version, size, field, arrays, error);
    if (!error.empty()) return ProbeFail(error);
    for (const auto& l : lines) std::printf("%s\n", l.c_str());
    return 0;
}

bool SplitPair(const std::string& v, std::string& a, std::string& b) {
    const size_t comma = v.find(',');
    if (comma == std::string::npos) return false;
    a = v.substr(0, comma), b = v.substr(comma + 1);
    return true;
}

int NoiseReduction(const std::vector<std::string>& args) {
    if (args.size() < 2) return ProbeFail("noise-reduction: give IN.csv OUT.csv");
    noise::Controls c;
    bool reset = false;
    std::string rangeBegin, rangeEnd;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--field") { c.fieldMeasure = true; continue; }
        if (a == "--reset") { reset = true; continue; }
        if (a == "--outside") { c.outside = true; continue; }
        if (i + 1 >= args.size()) return ProbeFail("noise-reduction: " + a + " needs a value");
        const std::string& v = args[++i];
        const auto n = numtext::ParseInt32(v);
        if (a == "--method" && n && *n >= 0 && *n <= 4) c.method = *n;
        else if (a == "--objects") {
            c.objectChecked = {false, false, false};
            for (char ch : v)
                if (ch >= '1' && ch <= '3') c.objectChecked[static_cast<size_t>(ch - '1')] = true;
        } else if (a == "--width") {
            std::istringstream ss(v);
            std::string w;
            for (size_t k = 0; k < 3 && std::getline(ss, w, ','); ++k) {
                const auto x = numtext::ParseInt32(w);
                if (!x || *x < 0 || *x > 50) return ProbeFail("noise-reduction: bad width " + w);
                c.halfWidth[k] = *x;
            }
        } else if (a == "--size" && n && *n >= 2 && *n <= fft::kMaxFftSize && !(*n & (*n - 1))) c.fftSize = *n;
        else if (a == "--offset") c.offset = v;
        else if (a == "--cutoff") c.cutoff = v;
        else if (a == "--band" && SplitPair(v, c.bandBegin, c.bandEnd)) c.bandPass = true;
        else if (a == "--erase" && SplitPair(v, c.spotFrom, c.spotTo)) c.spotErasing = true;
        else if (a == "--sigma-rows" && SplitPair(v, c.sigmaFrom, c.sigmaTo)) {}
        else if (a == "--factor" && n && *n >= 0 && *n <= 200) c.factor = *n;
        else if (a == "--range" && SplitPair(v, rangeBegin, rangeEnd)) {}
        else return ProbeFail("noise-reduction: bad option or value: " + a + " " + v);
    }
    LoadedResults loaded;
    std::string error;
    if (!ReadTable(args[0], loaded, error)) return ProbeFail(error);
    c.objectCount = loaded.objectCount;
    c.formatVersion = loaded.format.version;
    if (c.method == noise::kWaveletFilter) c.fftSize = wavelet::kWaveletSize;
    // The window's opening range: the first frame to the last row's.
    int frameOffset = 0;
    if (!noise::FrameOffsetOf(loaded.lines, c.formatVersion, frameOffset, error)) return ProbeFail(error);
    c.statBegin = rangeBegin.empty() ? std::to_string(frameOffset) : rangeBegin;
    c.statEnd = rangeEnd.empty() ? std::to_string(noise::LastRowOf(loaded.lines, c.formatVersion) + frameOffset) : rangeEnd;
    const noise::Outcome r = reset ? noise::Reset(loaded.lines, c) : noise::Apply(loaded.lines, c);
    if (r.status == noise::Status::Error) {
        std::printf("%s\n", r.error.c_str());
        return 2;
    }
    if (r.tableReplaced) {
        ResultsTable out;
        out.Assign(r.lines);
        if (!out.SaveToFile(args[1], error)) return ProbeFail(error);
    }
    std::printf("offset %d\n", r.offsetChanged ? r.offset : static_cast<int>(numtext::ParseInt32(c.offset).value_or(0)));
    if (r.waveletRun) std::printf("sigma %s\nthreshold %.17Lg\n", r.sigmaText.c_str(), r.threshold);
    if (r.statisticsShown) {
        std::printf("statistics");
        for (const auto& t : r.statistics.mean) std::printf(" %s", t.c_str());
        for (const auto& t : r.statistics.deviation) std::printf(" %s", t.c_str());
        std::printf("\n");
    }
    return 0;
}

const ProbeCommand kFft("fft", "[--inverse] < VALUES", Fft);
const ProbeCommand kDwt("dwt", "[--levels L] [--inverse] < VALUES", Dwt);
const ProbeCommand kListing("fft-listing", "TABLE.csv [--size N] [--field]", FftListing);
const ProbeCommand kNoise("noise-reduction", "IN.csv OUT.csv [--method M] [--objects 1,2,3] ... (see probe_fft.cpp)",
                          NoiseReduction);

}  // namespace
