// libFuzzer target: our inflater against zlib on raw deflate data. When zlib
// inflates the input to the end of its final block, ours must give the same bytes;
// when zlib refuses it, ours must raise.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "imagefile/Deflate.h"

using namespace imagefile;

namespace {
constexpr size_t kMaxOutput = 8u << 20;  // a cap, so that bombs stay quick

// Returns 1 ended, 0 refused, -1 stopped at the cap.
int ZInflate(const uint8_t* data, size_t size, std::string& out) {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    char piece[65536];
    int rc;
    do {
        z.next_out = reinterpret_cast<Bytef*>(piece);
        z.avail_out = sizeof piece;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(piece, sizeof piece - z.avail_out);
    } while (rc == Z_OK && out.size() < kMaxOutput && (z.avail_out == 0 || z.avail_in > 0));
    inflateEnd(&z);
    if (rc == Z_STREAM_END) return 1;
    return rc == Z_OK && out.size() >= kMaxOutput ? -1 : 0;
}

// Returns 1 when ours raised, 0 when it gave `got`.
int OurInflate(const uint8_t* data, size_t size, bool readAhead, std::string& got) {
    TMemStream mem;
    mem.Write(data, size);
    mem.Seek(0);
    try {
        TDeflateStream d(&mem, 0);
        d.ExactIO = false;
        d.ReadAhead = readAhead;
        char piece[40000];
        size_t n;
        while (got.size() < kMaxOutput && (n = d.Read(piece, sizeof piece)) > 0) got.append(piece, n);
    } catch (const EDecompressionError&) {
        return 1;
    }
    return 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string want;
    const int z = ZInflate(data, size, want);
    for (bool readAhead : {true, false}) {
        std::string got;
        const bool raised = OurInflate(data, size, readAhead, got) == 1;
        if (z == 1 && (raised || got != want)) std::abort();
        if (z == 0 && !raised) std::abort();
        if (z == -1 && !raised && got.compare(0, kMaxOutput, want, 0, kMaxOutput) != 0) std::abort();
    }
    return 0;
}
