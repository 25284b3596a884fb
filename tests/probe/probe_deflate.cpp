// Subcommands on the image file library's raw deflate and checksums:
//   deflate [--method dynamic|fixed|stored] < in > out   raw deflate data of stdin
//   inflate < in > out                                    stdin inflated
//   crc32 < in                                            CRC-32 as 8 hex digits
//   adler32 < in                                          Adler-32 as 8 hex digits
#include <cstdio>
#include <string>
#include <vector>

#include "imagefile/Deflate.h"
#include "imagefile/Streams.h"
#include "imagefile/checksums.h"
#include "probe.h"

using namespace imagefile;

namespace {

std::string ReadStdin() {
    std::string data;
    char piece[65536];
    size_t n;
    while ((n = std::fread(piece, 1, sizeof piece, stdin)) > 0) data.append(piece, n);
    return data;
}

bool WriteStdout(const std::string& data) {
    return std::fwrite(data.data(), 1, data.size(), stdout) == data.size() && std::fflush(stdout) == 0;
}

int Deflate(const std::vector<std::string>& args) {
    int method = TDeflateStream::kDynamic;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--method" && i + 1 < args.size()) {
            const std::string& m = args[++i];
            if (m == "dynamic") method = TDeflateStream::kDynamic;
            else if (m == "fixed") method = TDeflateStream::kFixed;
            else if (m == "stored") method = TDeflateStream::kStored;
            else return ProbeFail("unknown method: " + m);
        } else {
            return ProbeFail("usage: deflate [--method dynamic|fixed|stored]");
        }
    }
    const std::string input = ReadStdin();
    TMemStream out;
    try {
        TDeflateStream deflate(&out, 1, method);
        deflate.Write(input.data(), input.size());
        deflate.Finish();
    } catch (const std::exception& e) {
        return ProbeFail(e.what());
    }
    return WriteStdout(out.ToString()) ? 0 : ProbeFail("cannot write the output");
}

int Inflate(const std::vector<std::string>& args) {
    if (!args.empty()) return ProbeFail("usage: inflate < in > out");
    const std::string input = ReadStdin();
    TMemStream in;
    in.Write(input.data(), input.size());
    in.Seek(0);
    std::string result;
    try {
        TDeflateStream inflate(&in, 0);
        inflate.ExactIO = false;
        inflate.ReadAhead = true;
        char piece[65536];
        size_t n;
        while ((n = inflate.Read(piece, sizeof piece)) > 0) result.append(piece, n);
    } catch (const std::exception& e) {
        return ProbeFail(e.what());
    }
    return WriteStdout(result) ? 0 : ProbeFail("cannot write the output");
}

int Crc32(const std::vector<std::string>&) {
    const std::string input = ReadStdin();
    std::printf("%08x\n", CRC32(input.data(), input.size()));
    return 0;
}

int Adler32(const std::vector<std::string>&) {
    const std::string input = ReadStdin();
    TAdler32 a;
    UpdateAdler32(a, input.data(), input.size());
    std::printf("%08x\n", Adler32Value(a));
    return 0;
}

ProbeCommand regDeflate("deflate", "[--method dynamic|fixed|stored] < in > out", Deflate);
ProbeCommand regInflate("inflate", "< in > out", Inflate);
ProbeCommand regCrc("crc32", "< in", Crc32);
ProbeCommand regAdler("adler32", "< in", Adler32);

}  // namespace
