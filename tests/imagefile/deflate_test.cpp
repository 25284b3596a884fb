// Our deflate and inflate against zlib as the oracle.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "imagefile/Deflate.h"
#include "imagefile/huffman.h"
#include "support/test_util.h"

using namespace imagefile;

namespace {

void Fill(TMemStream& m, const std::string& data) {
    m.Write(data.data(), data.size());
    m.Seek(0);
}

// zlib raw inflate; ok is true only when the stream ended properly.
std::string ZInflate(const std::string& raw, bool& ok) {
    z_stream z{};
    inflateInit2(&z, -15);
    std::string out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    z.avail_in = static_cast<uInt>(raw.size());
    int rc;
    char piece[65536];
    do {
        z.next_out = reinterpret_cast<Bytef*>(piece);
        z.avail_out = sizeof piece;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(piece, sizeof piece - z.avail_out);
    } while (rc == Z_OK && (z.avail_out == 0 || z.avail_in > 0));
    ok = rc == Z_STREAM_END;
    inflateEnd(&z);
    return out;
}

// zlib raw deflate; a flush of `flushKind` after every offset in `flushAt`.
std::string ZDeflate(const std::string& data, int level, int strategy, std::vector<size_t> flushAt = {},
                     int flushKind = Z_SYNC_FLUSH) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
    std::string out;
    std::vector<char> piece(deflateBound(&z, data.size()) + 64 + 16 * flushAt.size());
    flushAt.push_back(data.size());
    size_t from = 0;
    for (size_t i = 0; i < flushAt.size(); ++i) {
        const size_t to = std::min(flushAt[i], data.size());
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + from));
        z.avail_in = static_cast<uInt>(to - from);
        const int flush = i + 1 == flushAt.size() ? Z_FINISH : flushKind;
        do {
            z.next_out = reinterpret_cast<Bytef*>(piece.data());
            z.avail_out = static_cast<uInt>(piece.size());
            deflate(&z, flush);
            out.append(piece.data(), piece.size() - z.avail_out);
        } while (z.avail_out == 0);
        from = to;
    }
    deflateEnd(&z);
    return out;
}

// Our deflate, the input written in random pieces, with optional Flush calls.
std::string OurDeflate(const std::string& data, int method, std::mt19937* rng = nullptr, bool flushes = false) {
    TMemStream mem;
    {
        TDeflateStream d(&mem, 1, method);
        size_t at = 0;
        while (at < data.size()) {
            size_t n = data.size() - at;
            if (rng) n = std::min<size_t>(n, (*rng)() % 3 == 0 ? (*rng)() % 8 : (*rng)() % 70000);
            d.Write(data.data() + at, n);
            at += n;
            if (rng && flushes && (*rng)() % 4 == 0) d.Flush();
        }
        d.Finish();
    }
    return mem.ToString();
}

// Our inflate, read in pieces of `piece` bytes (random sizes when 0).
// Odd seeds read the input ahead, even ones take only the bytes needed.
std::string OurInflate(const std::string& raw, size_t piece = 65536, uint32_t seed = 1) {
    TMemStream mem;
    Fill(mem, raw);
    TDeflateStream d(&mem, 0);
    d.ExactIO = false;
    d.ReadAhead = seed & 1;
    std::mt19937 rng(seed);
    std::string out;
    std::vector<char> buf(140000);
    for (;;) {
        size_t want = piece ? piece : 1 + rng() % 100000;
        size_t n = d.Read(buf.data(), want);
        out.append(buf.data(), n);
        if (n < want) break;
    }
    EXPECT_TRUE(d.AtEnd());
    return out;
}

std::string RandomBytes(size_t n, std::mt19937& rng, int range = 256) {
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng() % static_cast<unsigned>(range));
    return s;
}

std::string Text(size_t n, std::mt19937& rng) {
    static const char* words[] = {"star ", "frame ", "occultation ", "0.125,", "12:03:44.520,", "\r\n", "flux ",
                                  "aperture ", "background ", "1024,", "-3.5,"};
    std::string s;
    while (s.size() < n) s += words[rng() % 11];
    s.resize(n);
    return s;
}

// Grey star field rows as PNG would hold them: a filter byte, then faint noise
// with a few bright blobs.
std::string StarField(int w, int h, std::mt19937& rng) {
    std::normal_distribution<double> noise(20, 3);
    std::vector<std::array<double, 3>> stars;
    for (int i = 0; i < 30; ++i) stars.push_back({double(rng() % w), double(rng() % h), 50.0 + rng() % 200});
    std::string s;
    for (int y = 0; y < h; ++y) {
        s += '\0';
        for (int x = 0; x < w; ++x) {
            double v = noise(rng);
            for (auto& st : stars) v += st[2] * std::exp(-((x - st[0]) * (x - st[0]) + (y - st[1]) * (y - st[1])) / 8.0);
            s += static_cast<char>(std::clamp(static_cast<int>(v), 0, 255));
        }
    }
    return s;
}

std::vector<std::string> Corpus() {
    std::mt19937 rng(7);
    std::vector<std::string> c;
    for (size_t n : {0, 1, 2, 3, 257, 258, 259, 32767, 32768, 65535, 65536, 65537}) c.push_back(RandomBytes(n, rng, 4));
    c.push_back(RandomBytes(100000, rng));
    c.push_back(Text(300000, rng));
    c.push_back(StarField(200, 150, rng));
    c.push_back(std::string(300, 'a'));
    c.push_back(std::string(200000, '\0'));
    std::string cycle;
    for (int i = 0; i < 140000; ++i) cycle += static_cast<char>((i * 7) % 251);
    c.push_back(cycle);
    return c;
}

// LSB-first bit writer for hand-made streams; Huffman codes go in most significant
// bit first, as RFC 1951 packs them.
struct Bits {
    std::string bytes;
    uint32_t acc = 0;
    int n = 0;
    void Put(uint32_t v, int count) {
        for (int i = 0; i < count; ++i) {
            acc |= ((v >> i) & 1u) << n;
            if (++n == 8) bytes += static_cast<char>(acc), acc = 0, n = 0;
        }
    }
    void Code(uint32_t code, int len) {
        for (int i = len - 1; i >= 0; --i) Put((code >> i) & 1u, 1);
    }
    std::string Done() const { return n ? bytes + static_cast<char>(acc) : bytes; }
};

// Canonical codes from lengths (RFC 1951 3.2.2), most significant bit first.
std::vector<uint32_t> Canonical(const std::vector<int>& lens) {
    int count[16] = {};
    for (int l : lens) count[l]++;
    count[0] = 0;
    uint32_t next[16] = {}, code = 0;
    for (int b = 1; b < 16; ++b) next[b] = code = (code + count[b - 1]) << 1;
    std::vector<uint32_t> codes(lens.size());
    for (size_t s = 0; s < lens.size(); ++s)
        if (lens[s]) codes[s] = next[lens[s]]++;
    return codes;
}

void FixedLiteral(Bits& b, int sym) {
    sym < 144 ? b.Code(0x30 + sym, 8) : sym < 256 ? b.Code(0x190 + sym - 144, 9) : sym < 280 ? b.Code(sym - 256, 7) : b.Code(0xC0 + sym - 280, 8);
}

// A dynamic block header that states every length singly; the code-length code
// gives symbols 0..12 four bits and 13..18 five bits. Returns nothing; the caller
// writes symbols with Canonical(lit) and Canonical(dist).
void DynamicHeader(Bits& b, bool final, const std::vector<int>& lit, const std::vector<int>& dist,
                   const std::vector<int>& extraCodes = {}) {
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    b.Put(final, 1);
    b.Put(2, 2);
    b.Put(static_cast<uint32_t>(lit.size() - 257), 5);
    b.Put(static_cast<uint32_t>(dist.size() - 1), 5);
    b.Put(15, 4);
    std::vector<int> cl(19);
    for (int s = 0; s < 19; ++s) cl[s] = s <= 12 ? 4 : 5;
    for (int i = 0; i < 19; ++i) b.Put(static_cast<uint32_t>(cl[order[i]]), 3);
    auto codes = Canonical(cl);
    if (!extraCodes.empty()) {  // raw code-length symbols, for malformed headers
        for (size_t i = 0; i + 1 < extraCodes.size(); i += 2) {
            b.Code(codes[extraCodes[i]], cl[extraCodes[i]]);
            if (extraCodes[i] >= 16) b.Put(extraCodes[i + 1], extraCodes[i] == 16 ? 2 : extraCodes[i] == 17 ? 3 : 7);
        }
        return;
    }
    for (int l : lit) b.Code(codes[l], cl[l]);
    for (int l : dist) b.Code(codes[l], cl[l]);
}

void ExpectBothReject(const std::string& raw, const std::string& what) {
    bool ok = true;
    ZInflate(raw, ok);
    EXPECT_FALSE(ok) << what << ": zlib accepted it";
    try {
        OurInflate(raw);
        ADD_FAILURE() << what << ": no exception";
    } catch (const EDecompressionError& e) {
        const std::string m = e.what();
        EXPECT_TRUE(m == "Error in compressed data" || m == "Invalid Huffman code") << what << ": " << m;
    }
    // Reading on after the error raises it again rather than decoding on.
    TMemStream mem;
    Fill(mem, raw);
    TDeflateStream d(&mem, 0);
    d.ExactIO = false;
    std::vector<char> buf(200000);
    EXPECT_THROW(d.Read(buf.data(), buf.size()), EDecompressionError) << what;
    EXPECT_THROW(d.Read(buf.data(), 1), EDecompressionError) << what;
}

}  // namespace

TEST(Deflate, EveryMethodInflatesWithZlibToTheInput) {
    std::mt19937 rng(11);
    for (const std::string& data : Corpus()) {
        for (int method : {0, 1, 2}) {
            for (int variant = 0; variant < 3; ++variant) {
                const std::string raw = variant == 0 ? OurDeflate(data, method) : OurDeflate(data, method, &rng, variant == 2);
                bool ok = false;
                const std::string back = ZInflate(raw, ok);
                ASSERT_TRUE(ok) << "method " << method << " variant " << variant << " size " << data.size();
                ASSERT_EQ(back, data) << "method " << method << " variant " << variant << " size " << data.size();
            }
        }
    }
}

TEST(Deflate, EdgeShapes) {
    // Empty input: one final dynamic block, HLIT 257, HDIST 1.
    const std::string empty = OurDeflate("", 0);
    ASSERT_GE(empty.size(), 2u);
    const uint32_t head = static_cast<uint8_t>(empty[0]) | static_cast<uint8_t>(empty[1]) << 8;
    EXPECT_EQ(head & 0x1FFF, 1u | 2u << 1);  // final, dynamic, HLIT - 257 = 0, HDIST - 1 = 0
    // 300 equal bytes: one literal, a 258 match at distance 1 and a 41 match, in
    // fixed codes 3 + 8 + (8 + 5) + (7 + 3 + 5) + 7 = 46 bits.
    const std::string run = OurDeflate(std::string(300, 'x'), 1);
    bool ok = false;
    EXPECT_TRUE(run.size() == 6 && ZInflate(run, ok) == std::string(300, 'x') && ok);
    // Stored: 70,000 bytes make a block of 65,535 and one of 4,465.
    std::mt19937 rng(3);
    const std::string stored = OurDeflate(RandomBytes(70000, rng), 2);
    EXPECT_EQ(stored.size(), 70000u + 2 * 5);
    // Matches must beat plain literals on repetitive text.
    const std::string text = Text(200000, rng);
    EXPECT_LT(OurDeflate(text, 0).size(), text.size() / 3);
}

TEST(Deflate, WriteOnInflaterAndReadPastTheEndRaise) {
    TMemStream mem;
    Fill(mem, std::string("\x03\x00", 2));
    TDeflateStream inflater(&mem, 0);
    try {
        inflater.Write("a", 1);
        ADD_FAILURE() << "no exception";
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), "Stream not open for write");
    }
    char c;
    inflater.ExactIO = true;
    EXPECT_THROW(inflater.Read(&c, 1), EInOutError);  // empty final block, then a read
}

TEST(Inflate, RecoversZlibOutputOfEveryLevelAndStrategy) {
    std::mt19937 rng(5);
    for (const std::string& data : Corpus()) {
        std::vector<size_t> flushes;
        for (int i = 0; i < 4 && !data.empty(); ++i) flushes.push_back(rng() % data.size());
        std::sort(flushes.begin(), flushes.end());
        for (int level = 0; level <= 9; ++level)
            ASSERT_EQ(OurInflate(ZDeflate(data, level, Z_DEFAULT_STRATEGY), 65536, level), data) << "level " << level;
        for (int strategy : {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
            ASSERT_EQ(OurInflate(ZDeflate(data, 6, strategy), 0, rng()), data) << "strategy " << strategy;
        ASSERT_EQ(OurInflate(ZDeflate(data, 6, Z_DEFAULT_STRATEGY, flushes), 0, rng()), data);
        ASSERT_EQ(OurInflate(ZDeflate(data, 1, Z_DEFAULT_STRATEGY, flushes, Z_FULL_FLUSH), 7), data);
        ASSERT_EQ(OurInflate(ZDeflate(data, 0, Z_DEFAULT_STRATEGY, {0, 0, 0}), 1000), data);
    }
}

TEST(Inflate, TakesAtMostFourBytesBeyondTheDeflateData) {
    std::mt19937 rng(12);
    for (int trial = 0; trial < 300; ++trial) {
        // Some outputs end exactly where the inflater's buffer fills, before the end-of-block code.
        const size_t size = trial % 7 == 6 ? 65536 + 32768 - 258 + trial % 3 : rng() % 5000;
        const std::string data = trial % 3 ? Text(size, rng) : RandomBytes(size % 300, rng);
        const int level = trial % 10, strategy = trial % 4 == 3 ? Z_FIXED : Z_DEFAULT_STRATEGY;
        const std::string raw = trial % 5 == 4 ? OurDeflate(data, trial % 3) : ZDeflate(data, level, strategy);
        TMemStream mem;
        Fill(mem, raw + "ADLRnext chunk");
        TDeflateStream d(&mem, 0);
        std::string out(data.size(), '\0');
        ASSERT_TRUE(d.Read(out.data(), out.size()) == data.size() && out == data) << trial;
        ASSERT_LE(mem.GetPosition(), static_cast<int64_t>(raw.size() + 4)) << trial;
        char tail[4];
        ASSERT_EQ(d.ReadUnusedInput(tail, 4), 4u);
        EXPECT_TRUE(std::string(tail, 4) == "ADLR" && mem.GetPosition() == static_cast<int64_t>(raw.size() + 4) && d.AtEnd());
    }
}

TEST(Inflate, ExactIOAndTheBytesAfterTheStream) {
    const std::string data = "The Adler-32 follows the deflate data in a zlib stream.";
    std::string raw = ZDeflate(data, 9, Z_DEFAULT_STRATEGY) + "TAIL";
    TMemStream mem;
    Fill(mem, raw);
    TDeflateStream d(&mem, 0);
    d.ReadAhead = true;
    std::string out(data.size(), '\0');
    EXPECT_EQ(d.Read(out.data(), out.size()), data.size());
    EXPECT_EQ(out, data);
    char more[8];
    EXPECT_THROW(d.Read(more, 1), EInOutError);  // ExactIO: "Read less than expected"
    d.ExactIO = false;
    EXPECT_EQ(d.Read(more, 8), 0u);
    char tail[8] = {};
    EXPECT_EQ(d.ReadUnusedInput(tail, 8), 4u);
    EXPECT_EQ(std::string(tail, 4), "TAIL");
    // Asking for the bytes behind the stream while output remains is refused.
    TMemStream again;
    Fill(again, raw);
    TDeflateStream early(&again, 0);
    EXPECT_EQ(early.Read(out.data(), 10), 10u);
    EXPECT_THROW(early.ReadUnusedInput(tail, 4), EStreamError);
}

TEST(Inflate, MalformedStreamsRaise) {
    std::vector<int> lit(257, 0), dist(1, 1);
    lit['a'] = 1, lit[256] = 1;
    {
        Bits b;  // a correct dynamic header first, so that the helper itself is proven
        DynamicHeader(b, true, lit, dist);
        auto codes = Canonical(lit);
        b.Code(codes['a'], 1), b.Code(codes['a'], 1), b.Code(codes[256], 1);
        bool ok = false;
        EXPECT_EQ(ZInflate(b.Done(), ok), "aa");
        EXPECT_TRUE(ok);
        EXPECT_EQ(OurInflate(b.Done()), "aa");
    }
    auto fixed = [](std::initializer_list<int> syms, int distCode = -1) {
        Bits b;
        b.Put(1, 1), b.Put(1, 2);
        for (int s : syms) FixedLiteral(b, s);
        if (distCode >= 0) b.Code(distCode, 5);
        FixedLiteral(b, 256);
        return b.Done();
    };
    auto dynamic = [&](std::vector<int> l, const std::vector<int>& raw = {}) {
        Bits b;
        DynamicHeader(b, true, l, dist, raw);
        return b.Done() + std::string(8, '\0');
    };
    auto header = [](uint32_t hlit, uint32_t hdist, std::vector<uint32_t> clens) {
        Bits b;
        b.Put(1, 1), b.Put(2, 2), b.Put(hlit, 5), b.Put(hdist, 5), b.Put(clens.empty() ? 15 : 0, 4);
        for (uint32_t l : clens) b.Put(l, 3);
        return b.Done() + std::string(40, '\0');
    };
    auto with = [&](std::initializer_list<std::pair<int, int>> lens) {
        std::vector<int> l = lit;
        for (auto [sym, len] : lens) l[sym] = len;
        return l;
    };
    Bits type3, nlen;
    type3.Put(1, 1), type3.Put(3, 2), type3.Put(0, 16);
    nlen.Put(1, 1), nlen.Put(0, 2), nlen.Put(0, 5), nlen.Put(5, 16), nlen.Put(0xFFFB, 16);
    std::vector<int> withLen = lit;
    withLen.resize(258);
    withLen[257] = 2, withLen['a'] = 2, withLen[256] = 1;
    Bits unusedDist;  // one distance code of length 1; the unused pattern is invalid
    DynamicHeader(unusedDist, true, withLen, dist);
    auto wc = Canonical(withLen);
    unusedDist.Code(wc['a'], 2), unusedDist.Code(wc[257], 2), unusedDist.Put(1, 1), unusedDist.Code(wc[256], 1);
    const std::pair<std::string, const char*> cases[] = {
        {fixed({'a', 257}, 1), "distance beyond the output"},
        {fixed({'a', 'a', 257}, 30), "distance code 30"},
        {fixed({'a', 'a', 257}, 31), "distance code 31"},
        {fixed({286}), "length code 286"},
        {fixed({287}), "length code 287"},
        {type3.Done(), "block type 3"},
        {nlen.Done() + "hello", "stored NLEN not the complement"},
        {dynamic(lit, {16, 0}), "code 16 first"},
        {dynamic(lit, {18, 127, 18, 109}), "repeat past the lengths"},  // 138 + 120 zeros > 257 + 1
        {header(30, 0, {}), "HLIT 287"},
        {header(0, 30, {}), "HDIST 31"},
        {dynamic(with({{'b', 1}})), "over-subscribed literals"},
        {dynamic(with({{'a', 2}, {256, 2}})), "incomplete literals"},
        {dynamic(with({{256, 0}, {'b', 1}})), "no end-of-block code"},
        {header(0, 0, {1, 1, 1, 0}), "over-subscribed code-length code"},
        {header(0, 0, {2, 2, 2, 0}), "incomplete code-length code"},
        {unusedDist.Done(), "unused distance code"},
    };
    for (const auto& [raw, what] : cases) ExpectBothReject(raw, what);
    // Every truncation of a valid stream.
    std::mt19937 rng(2);
    const std::string raw = ZDeflate(Text(3000, rng), 6, Z_DEFAULT_STRATEGY);
    for (size_t n = 0; n < raw.size(); ++n) ExpectBothReject(raw.substr(0, n), "cut at " + std::to_string(n));
    for (size_t n = 0; n < raw.size(); ++n) {  // the same taking only the bytes needed
        EXPECT_THROW(OurInflate(raw.substr(0, n), 100, 2), EDecompressionError) << n;
    }
    const std::string stored = ZDeflate(Text(300, rng), 0, Z_DEFAULT_STRATEGY);
    for (size_t n = 0; n < stored.size(); ++n) ExpectBothReject(stored.substr(0, n), "stored cut at " + std::to_string(n));
}

TEST(Inflate, MutatedStreamsAgreeWithZlib) {
    std::mt19937 rng(99);
    std::vector<std::string> seeds;
    for (int level : {1, 6, 9}) seeds.push_back(ZDeflate(Text(2000, rng), level, Z_DEFAULT_STRATEGY));
    seeds.push_back(ZDeflate(Text(2000, rng), 6, Z_FIXED));
    seeds.push_back(OurDeflate(StarField(40, 30, rng), 0));
    for (int i = 0; i < 3000; ++i) {
        std::string raw = seeds[i % seeds.size()];
        for (int k = 1 + rng() % 4; k > 0; --k) raw[rng() % raw.size()] ^= static_cast<char>(1u << (rng() % 8));
        bool ok = false;
        const std::string want = ZInflate(raw, ok);
        if (ok) {
            EXPECT_EQ(OurInflate(raw, 65536, i), want) << "mutation " << i;
        } else {
            EXPECT_THROW(OurInflate(raw, 65536, i), EDecompressionError) << "mutation " << i;
        }
    }
}

TEST(Huffman, LengthsAreOptimalAndLimited) {
    // Optimal cost from an independent heap-based construction.
    auto optimalCost = [](const std::vector<uint32_t>& f) {
        std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<>> q;
        for (uint32_t x : f)
            if (x) q.push(x);
        uint64_t cost = q.size() == 1 ? q.top() : 0;
        while (q.size() > 1) {
            const uint64_t a = q.top();
            q.pop();
            const uint64_t sum = a + q.top();
            q.pop();
            cost += sum, q.push(sum);
        }
        return cost;
    };
    auto kraft = [](const uint8_t* len, int n) {
        double k = 0;
        for (int i = 0; i < n; ++i)
            if (len[i]) k += std::ldexp(1.0, -len[i]);
        return k;
    };
    std::mt19937 rng(4);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<uint32_t> f(288);
        for (auto& x : f) x = rng() % 3 ? 100 + rng() % 1000 : 0;  // shallow enough for the limit
        f[256] = 100;
        uint8_t len[288];
        huffman::BuildLengths(f.data(), 288, 15, len);
        uint64_t cost = 0;
        for (int s = 0; s < 288; ++s) cost += uint64_t{f[s]} * len[s];
        EXPECT_EQ(cost, optimalCost(f));
        EXPECT_DOUBLE_EQ(kraft(len, 288), 1.0);
    }
    // Fibonacci weights make a tree one level deeper per symbol.
    std::vector<uint32_t> fib(30);
    fib[0] = fib[1] = 1;
    for (size_t i = 2; i < fib.size(); ++i) fib[i] = fib[i - 1] + fib[i - 2];
    uint8_t len[30];
    huffman::BuildLengths(fib.data(), 30, 15, len);
    EXPECT_EQ(*std::max_element(len, len + 30), 15);
    EXPECT_DOUBLE_EQ(kraft(len, 30), 1.0);
    for (int s = 1; s < 30; ++s) EXPECT_LE(len[s], len[s - 1]);  // heavier never longer
    huffman::BuildLengths(fib.data(), 19, 7, len);
    EXPECT_EQ(*std::max_element(len, len + 19), 7);
    EXPECT_DOUBLE_EQ(kraft(len, 19), 1.0);
    uint32_t one[3] = {0, 5, 0};
    huffman::BuildLengths(one, 3, 15, len);
    EXPECT_EQ(len[1], 1);
    EXPECT_EQ(len[0] + len[2], 0);
    // The same skew through the writer: literals with Fibonacci counts.
    std::string skewed;
    for (int s = 0; s < 25; ++s)
        for (uint32_t k = 0; k < fib[s]; ++k) skewed += static_cast<char>('A' + s);
    std::shuffle(skewed.begin(), skewed.end(), rng);
    for (int method : {0, 1}) {
        bool ok = false;
        EXPECT_EQ(ZInflate(OurDeflate(skewed, method), ok), skewed);
        EXPECT_TRUE(ok);
    }
}

TEST(Probe, DeflateInflateAndChecksums) {
    const std::string probe = testutil::BinFile("tevorin-probe");
    testutil::TempDir dir;
    std::mt19937 rng(21);
    const std::string data = Text(50000, rng), in = dir.File("in.txt"), out = dir.File("out");
    testutil::WriteAll(in, data);
    for (const char* method : {"dynamic", "fixed", "stored"}) {
        ASSERT_EQ(testutil::Run(probe + " deflate --method " + method + " < " + in + " > " + out), 0);
        bool ok = false;
        EXPECT_EQ(ZInflate(testutil::ReadAll(out), ok), data) << method;
        EXPECT_TRUE(ok);
    }
    testutil::WriteAll(in, ZDeflate(data, 9, Z_DEFAULT_STRATEGY));
    ASSERT_EQ(testutil::Run(probe + " inflate < " + in + " > " + out), 0);
    EXPECT_EQ(testutil::ReadAll(out), data);
    testutil::WriteAll(in, "abc");
    std::string text;
    EXPECT_EQ(testutil::Run(probe + " crc32 < " + in + " && " + probe + " adler32 < " + in, &text), 0);
    EXPECT_EQ(text, "352441c2\n024d0127\n");
    EXPECT_NE(testutil::Run(probe + " deflate --method lazy < " + in + " 2>/dev/null"), 0);
    testutil::WriteAll(in, "\x07\x00");  // block type 3
    EXPECT_NE(testutil::Run(probe + " inflate < " + in + " 2>" + out), 0);
    EXPECT_EQ(testutil::ReadAll(out), "tevorin-probe: Error in compressed data\n");
}
