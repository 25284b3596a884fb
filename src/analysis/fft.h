#pragma once
// Radix-2 fast Fourier transform in extended precision, shared by the FFT window
// and the FFT low-pass of the noise-reduction window.
//
// Contract. N (FftSize) is a power of two, 2 .. kMaxFftSize. RunFft(1) gives
// Out[k] = (1/N) sum x[n] e^(-2 pi i k n / N); any other direction gives the
// unscaled inverse Out[n] = sum X[k] e^(+2 pi i k n / N), so an inverse of a
// forward transform returns the input. The transform works in place on the input
// arrays (they hold the bit-reversed spectrum afterwards) and writes the outputs
// in natural order. Results are deterministic: the same input gives the same bits
// on every call and every thread. The relative L2 error against the exact DFT
// stays below 1e-17 up to N = 2^16 (tests/analysis/fft_test.cpp).
//
// Threading. An FftArrays object belongs to one thread at a time; separate
// objects may run at once. `Fft` is the program's shared set, used on the user
// interface thread only.
#include <cstdint>
#include <string>
#include <vector>

namespace fft {

inline constexpr int kMaxFftSize = 1 << 20;

class FftArrays {
public:
    int FftSize = 0;
    int FftBits = 0;  // log2 FftSize
    std::vector<long double> FftReIn, FftImIn, FftReOut, FftImOut;

    // Sizes the four arrays to n (a power of two, 2 .. kMaxFftSize) and zeroes
    // them. Returns false, changing nothing, for any other n.
    bool Resize(int n);
    // Empties the four arrays (FftSize stays).
    void Clear();
    // The transform of the arrays as sized by Resize; direction 1 forward.
    void RunFft(int direction);
    // i with its lowest FftBits bits in reverse order.
    uint32_t BitReverse(uint32_t i) const;

private:
    // Twiddles cos(2 pi k / N) and -sin(2 pi k / N), k < N/2, kept while N stays.
    std::vector<long double> cos_, nsin_;
    std::vector<uint32_t> reversed_;
    int tableSize_ = 0;
    void BuildTables();
};

// The program's FFT arrays.
extern FftArrays Fft;

// Field n of a results row (1-based, n below 1 counts as 1), empty beyond the
// last field: the results table's own field rule.
std::string CsvFieldAt(const std::string& line, int n);

// The "Analyze" listing of the FFT window: the amplitude spectrum of the plotted
// value of object A over the first n data rows, lines "frequency,amplitude", the
// frequencies in rows per second of the table's own frame rate (RowsPerSecond
// with the header's rate). An empty result with an empty error: the table is too
// short (fewer than n + 7 lines, FftShortTable tells it). A cell that is not a
// number gives the class library's conversion message in `error`. `arrays` holds
// the transform afterwards.
std::vector<std::string> FftListing(const std::vector<std::string>& table, uint8_t formatVersion, int n,
                                    bool fieldMode, FftArrays& arrays, std::string& error);
// What a user is told when the table is too short for a transform of n rows (how
// many rows it needs and how many it has); empty when it is long enough.
std::string FftShortTable(const std::vector<std::string>& table, uint8_t formatVersion, int n);

// Rows per second of the frequency axis: the frame rate (29.97 when it is not
// known, 0), twice that with two rows a frame.
inline long double RowsPerSecond(long double frameRate, bool fieldMode) {
    return (frameRate > 0 ? frameRate : 29.97L) * (fieldMode ? 2 : 1);
}

}  // namespace fft
