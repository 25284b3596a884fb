// The stream framework: buffer edges, line ends, error texts, and the adapters.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QBuffer>
#include <QFile>
#include <random>

#include "imagefile/Deflate.h"
#include "imagefile/NativeStream.h"
#include "imagefile/Streams.h"
#include "imagefile/checksums.h"
#include "support/test_util.h"

using namespace imagefile;

namespace {

// A stream over a string that hands out at most `piece` bytes per read and counts the
// calls, and a sink that records writes: to see what a buffer in front asks for.
struct Source : TBaseStream {
    Source(std::string d, size_t p = SIZE_MAX) : data(std::move(d)), piece(p) { CanRead = true, ExactIO = false; }
    size_t Write(const void*, size_t) override { return 0; }
    size_t Read(void* buffer, size_t count) override {
        const size_t n = std::min({count, piece, data.size() - pos});
        std::memcpy(buffer, data.data() + pos, n);
        return ++reads, pos += n, n;
    }
    int64_t Available() override { return static_cast<int64_t>(data.size() - pos); }
    std::string data;
    size_t piece, pos = 0;
    int reads = 0;
};

struct Sink : TBaseStream {
    Sink() { CanWrite = true; }
    size_t Write(const void* buffer, size_t count) override {
        writes.push_back(count);
        data.append(static_cast<const char*>(buffer), count);
        return count;
    }
    size_t Read(void*, size_t) override { return 0; }
    int64_t Available() override { return 0; }
    void Flush() override { ++flushes; }
    std::string data;
    std::vector<size_t> writes;
    int flushes = 0;
};

template <class E>
std::string Message(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "(no exception)";
}

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 131 + i / 251);
    return s;
}

}  // namespace

TEST(BufferedStream, ReadsAtTheBufferEdges) {
    const std::string data = Pattern(100);
    for (size_t piece : {size_t{1}, size_t{7}, SIZE_MAX}) {
        for (size_t first : {0, 3, 16, 20}) {
            for (size_t second : {1, 15, 16, 17, 40}) {
                Source src(data, piece);
                TBufferedStream buf(&src, 16, 0);
                buf.ExactIO = false;
                std::string got(200, '\0');
                size_t a = buf.Read(got.data(), first);
                size_t b = buf.Read(got.data() + a, second);
                // Short pieces from the source may leave the second read short, but
                // what is delivered is always the next bytes in order.
                ASSERT_LE(a + b, first + second);
                ASSERT_EQ(got.substr(0, a + b), data.substr(0, a + b)) << piece << " " << first << " " << second;
                ASSERT_TRUE(piece != SIZE_MAX || a + b == first + second);
            }
        }
    }
    // A request of at least the buffer size after the buffer ran dry goes straight
    // through; a smaller one refills once.
    Source src(data);
    TBufferedStream buf(&src, 16, 0);
    buf.ExactIO = true;
    char tmp[80];
    buf.Read(tmp, 4);  // one refill of 16
    EXPECT_EQ(src.reads, 1);
    buf.Read(tmp, 12 + 20);  // 12 buffered, 20 read directly
    EXPECT_EQ(src.reads, 2);
    EXPECT_EQ(std::string(tmp, 32), data.substr(4, 32));
    EXPECT_EQ(buf.Available(), 100 - 36);
    EXPECT_EQ(Message<EInOutError>([&] { buf.Read(tmp, 65); }), "Read less than expected");
}

TEST(BufferedStream, WritesAtTheBufferEdgesAndBufferSizes) {
    for (size_t first : {0, 5, 16}) {
        for (size_t second : {1, 11, 12, 27, 28, 60}) {
            Sink sink;
            const std::string data = Pattern(first + second);
            {
                TBufferedStream buf(&sink, 0, 16);
                EXPECT_EQ(buf.Write(data.data(), first) + buf.Write(data.data() + first, second), first + second);
                for (size_t w : sink.writes) EXPECT_GE(w, 16u);
            }  // destruction flushes
            ASSERT_EQ(sink.data, data) << first << " " << second;
        }
    }
    Sink sink;
    TBufferedStream buf(&sink, 0, 16);
    buf.Write("abc", 3);
    EXPECT_TRUE(sink.data.empty());
    buf.Flush();
    EXPECT_TRUE(sink.data == "abc" && sink.flushes == 1);
    EXPECT_EQ(Message<EStreamCreate>([&] { TBufferedStream b(&sink, 1, 0); }), "Invalid buffer size");
    EXPECT_EQ(Message<EStreamCreate>([&] { TBufferedStream b(&sink, 0, 1); }), "Invalid buffer size");
    TBufferedStream writeOnly(&sink, -1, -1);  // no read buffer over a write-only stream
    EXPECT_TRUE(writeOnly.ReadBufferSize() == 0 && writeOnly.WriteBufferSize() == 65536);
    Source src("x");
    src.ExactIO = true;
    TBufferedStream reader(&src, -1, -1);
    EXPECT_EQ(reader.WriteBufferSize(), 0u);
    EXPECT_TRUE(reader.ExactIO && !src.ExactIO);  // taken over
}

TEST(MemStream, BlocksSeekAndErrors) {
    TMemStream m, small;
    m.Write(Pattern(10000).data(), 10000);
    small.Write("0123456789", 10);
    EXPECT_TRUE(m.BlockCount() == 1 && m.BlockSize(0) == 10000 && small.BlockCount() == 1 && small.BlockSize(0) == 4096);
    // Writes over block ends, overwrite inside, read back after seeks both ways.
    std::string model;
    std::mt19937 rng(8);
    TMemStream s;
    for (int i = 0; i < 200; ++i) {
        const size_t pos = model.empty() ? 0 : rng() % (model.size() + 1);
        const std::string chunk = Pattern(1 + rng() % 6000).substr(rng() % 50);
        s.Seek(static_cast<int64_t>(pos));
        s.Write(chunk.data(), chunk.size());
        if (model.size() < pos + chunk.size()) model.resize(pos + chunk.size());
        model.replace(pos, chunk.size(), chunk);
        ASSERT_EQ(s.GetSize(), static_cast<int64_t>(model.size()));
        const size_t at = rng() % model.size(), n = std::min<size_t>(rng() % 9000, model.size() - at);
        s.Seek(static_cast<int64_t>(at));
        std::string got(n, '\0');
        ASSERT_TRUE(s.Read(got.data(), n) == n && got == model.substr(at, n) && s.GetPosition() == static_cast<int64_t>(at + n)) << i;
    }
    EXPECT_EQ(s.ToString(), model);
    EXPECT_EQ(Message<EStreamError>([&] { s.Seek(-1); }), "Error moving stream pointer");
    EXPECT_EQ(Message<EStreamError>([&] { s.Seek(s.GetSize() + 1); }), "Error moving stream pointer");
    s.Seek(s.GetSize() - 2);
    char tmp[8];
    EXPECT_EQ(Message<EInOutError>([&] { s.Read(tmp, 8); }), "Error reading from stream - TMemStream");
    s.ExactIO = false;
    s.Seek(s.GetSize() - 2);
    EXPECT_EQ(s.Read(tmp, 8), 2u);
    s.Seek(5);
    s.Truncate();
    EXPECT_EQ(s.ToString(), model.substr(0, 5));
    s.Clear();
    EXPECT_EQ(s.GetSize(), 0);
}

TEST(TextStream, LineEndRules) {
    auto lines = [](const std::string& text, int bufferSize) {
        Source src(text);
        TTextStream t(&src, bufferSize, 0);
        std::vector<std::string> out;
        std::string line;
        for (;;) {
            try {
                t.ReadLine(line);
            } catch (const EInOutError& e) {
                EXPECT_STREQ(e.what(), "Error reading from stream - Read less than expected");
                break;
            }
            out.push_back(line);
        }
        return out;
    };
    using V = std::vector<std::string>;
    for (int size : {2, 3, 4, 5, 64}) {
        SCOPED_TRACE(size);
        // CR first: CR ends lines and a directly following LF is skipped, also
        // when the pair is split over two buffer loads.
        EXPECT_EQ(lines("ab\r\ncd\r\n\r\nlast", size), (V{"ab", "cd", "", "last"}));
        EXPECT_EQ(lines("abc\r\nd\ne\r", size), (V{"abc", "d\ne"}));
        // LF first: LF ends lines, a CR right after it is skipped.
        EXPECT_EQ(lines("a\n\rb\nc\r\n", size), (V{"a", "b", "c\r"}));
        EXPECT_EQ(lines("", size), V{});
        EXPECT_EQ(lines("\n\n", size), (V{"", ""}));
    }
    Source lf("a\r\n\nb\rc\n");
    TTextStream fixed(&lf, 4, 0);
    fixed.SetLineEnds('\n', -1);
    std::string l1, l2, l3;
    fixed.ReadLine(l1), fixed.ReadLine(l2), fixed.ReadLine(l3);
    EXPECT_EQ((V{l1, l2, l3}), (V{"a\r", "", "b\rc"}));
    Sink sink;
    {
        TTextStream w(&sink, -1, 3);
        w.WriteLine("one");
        w.Write(std::string("two"));
        w.WriteLine("");
        EXPECT_EQ(w.LineCount, 2);
        EXPECT_EQ(Message<EStreamError>([&] { w.ReadLine(l1); }), "Cannot read from stream");
    }
    EXPECT_EQ(sink.data, "one\r\ntwo\r\n");
}

TEST(FileStream, SystemErrorsAndOperations) {
    testutil::TempDir dir;
    const std::string missing = dir.File("missing.bin");
    EXPECT_EQ(Message<EInOutError>([&] { TFileStream f(missing, TFileStream::fmRead); }),
              "Error opening \"" + missing + "\" - No such file or directory");
    EXPECT_EQ(Message<EStreamCreate>([&] { TFileStream f(missing, TFileStream::fmCreate); }),
              "Either read, write or full access must be specified in call to CreateFile");
    EXPECT_EQ(Message<EInOutError>([&] { TFileStream f(dir.Path(), TFileStream::fmRead); }),
              "Error opening \"" + dir.Path() + "\" - Is a directory");

    const std::string path = dir.File("a.bin");
    {
        TFileStream f(path, 1 | 2 | 4);
        f.Write("hello world", 11);
        EXPECT_EQ(f.GetSize(), 11);
        f.Seek(5);
        f.Truncate();
        f.Seek(1);
        char c[4];
        EXPECT_TRUE(f.GetSize() == 5 && f.Read(c, 4) == 4 && std::string(c, 4) == "ello" && f.Available() == 0);
        EXPECT_EQ(Message<EInOutError>([&] { f.Read(c, 1); }), "Read less than expected");
    }
    EXPECT_EQ(testutil::ReadAll(path), "hello");
    {
        TFileStream f(path, TFileStream::fmRead);
        char c;
        EXPECT_THROW(f.Write(&c, 1), EInOutError);  // opened for reading only
        f.CloseAndDelete();
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
    // The buffered pair: written, read back, copied and skipped.
    const std::string data = Pattern(200000);
    using Chain = std::unique_ptr<TBaseStream, void (*)(TBaseStream*)>;
    Chain(OpenBufferedFile(path, true), FreeChain)->Write(data.data(), data.size());
    Chain r(OpenBufferedFile(path, false), FreeChain);
    EXPECT_EQ(CopyStream(*r, nullptr, 1000), 1000);
    TMemStream mem;
    EXPECT_EQ(CopyStream(*r, &mem, 1 << 30), 199000);
    EXPECT_EQ(mem.ToString(), data.substr(1000));
    EXPECT_TRUE(r->ExactIO);  // CopyStream leaves the source's flag alone
}

TEST(StreamClass, MessagesAndAtomicSave) {
    struct Thing : TStreamClass {
        const char* ClassName() const override { return "TThing"; }
    };
    struct Saver : TStreamClass {
        const char* ClassName() const override { return "TSaver"; }
        bool fail = false;
        void SaveToStream(TBaseStream& s) const override {
            s.Write("partial", 7);
            if (fail) throw EImageFileError("disk gone");
        }
    };
    Thing t;
    TMemStream m;
    EXPECT_EQ(Message<EImageFileError>([&] { t.SaveToStream(m); }), "TThing.SaveToStream not implemented");
    EXPECT_EQ(Message<EImageFileError>([&] { t.LoadFromStream(m); }), "TThing.LoadFromStream not implemented");
    Saver s;
    EXPECT_EQ(Message<EImageFileError>([&] { t.Assign(s); }), "Cannot assign TSaver to TThing");
    testutil::TempDir dir;
    const std::string path = dir.File("out.dat");
    testutil::WriteAll(path, "old content");
    s.fail = true;
    EXPECT_THROW(s.SaveToFile(path), EImageFileError);
    EXPECT_EQ(testutil::ReadAll(path), "old content");  // a failed save keeps the old file
    s.fail = false;
    s.SaveToFile(path);
    EXPECT_EQ(testutil::ReadAll(path), "partial");
}

TEST(Checksums, AgainstZlib) {
    TAdler32 a;
    EXPECT_TRUE(CRC32("abc", 3) == 0x352441C2u && CRC32("", 0) == 0 && Adler32Value(a) == 1);
    const uint32_t stored = GetAdler32(a);
    EXPECT_EQ(std::memcmp(&stored, "\0\0\0\1", 4), 0);  // big-endian bytes in memory
    std::mt19937 rng(6);
    for (size_t n : {1, 7, 8, 5552, 5553, 100000}) {
        std::string d(n, '\0');
        for (auto& c : d) c = static_cast<char>(rng() % 3 ? 255 : rng());  // 0xFF bytes push the sums hardest
        const auto* p = reinterpret_cast<const Bytef*>(d.data());
        EXPECT_EQ(CRC32(d.data(), n), crc32(0, p, static_cast<uInt>(n))) << n;
        TAdler32 ad;
        size_t at = 0;
        while (at < n) {  // in uneven pieces, with single bytes between
            size_t k = std::min<size_t>(n - at, rng() % 7000);
            UpdateAdler32(ad, d.data() + at, k);
            at += k;
            if (at < n) UpdateAdler32Byte(ad, static_cast<uint8_t>(d[at++]));
        }
        EXPECT_EQ(Adler32Value(ad), adler32(1, p, static_cast<uInt>(n))) << n;
        uint32_t running = 0xFFFFFFFFu;
        for (size_t i = 0; i < n; i += 1000) running = UpdateCRC32(running, d.data() + i, std::min<size_t>(1000, n - i));
        EXPECT_EQ(~running, crc32(0, p, static_cast<uInt>(n)));
    }
    // The CRC stream counts what passes in either direction.
    TMemStream mem;
    TCRC32Stream crc(&mem);
    crc.Write("IEND", 4);
    EXPECT_EQ(crc.Value(), 0xAE426082u);  // the CRC every PNG file ends with
    crc.Reset();
    mem.Seek(0);
    char buf[8];
    crc.ExactIO = mem.ExactIO = false;
    EXPECT_TRUE(crc.Read(buf, 8) == 4 && crc.Value() == 0xAE426082u);
}

TEST(NativeStream, AdaptersBothWays) {
    // Qt reads and writes our memory stream.
    TMemStream mem;
    {
        TSeekableNativeStream dev(&mem);
        EXPECT_EQ(dev.write("abcdef", 6), 6);
        EXPECT_EQ(dev.size(), 6);
        EXPECT_TRUE(dev.seek(2));
        EXPECT_EQ(dev.read(3), QByteArray("cde"));
        EXPECT_EQ(dev.Seek(-1, 2), 5);
        EXPECT_EQ(dev.Seek(-2, 1), 3);
        EXPECT_EQ(Message<EStreamError>([&] { dev.Seek(0, 3); }), "Unknown seek origin");
        dev.SetSize(10);
        EXPECT_TRUE(mem.ToString() == std::string("abcdef\0\0\0\0", 10) && mem.GetPosition() == 3);
        dev.SetSize(2);
        EXPECT_TRUE(mem.ToString() == "ab" && mem.GetPosition() == 2 && !dev.seek(99));
        EXPECT_EQ(dev.errorString(), "Error moving stream pointer");
    }
    Source src("plain");
    TNativeStream seq(&src);
    EXPECT_TRUE(seq.isSequential() && !seq.seek(1));
    EXPECT_EQ(seq.errorString(), "Seeking not supported");
    EXPECT_EQ(seq.readAll(), QByteArray("plain"));
    // Our inflater reads from a QBuffer through the filter stream.
    const std::string text = Pattern(5000);
    uLongf len = compressBound(text.size());
    std::string z(len, '\0');
    compress2(reinterpret_cast<Bytef*>(z.data()), &len, reinterpret_cast<const Bytef*>(text.data()), text.size(), 9);
    QByteArray raw = QByteArray::fromStdString(z.substr(2, len - 2));  // without the zlib header
    QBuffer qbuf(&raw);
    qbuf.open(QIODevice::ReadWrite);
    TNativeFilterStream filter(&qbuf);
    EXPECT_EQ(filter.GetSize(), raw.size());
    TDeflateStream inflate(&filter, 0);
    std::string out(text.size(), '\0');
    EXPECT_TRUE(inflate.Read(out.data(), out.size()) == text.size() && out == text);
    uint8_t adler[4];
    EXPECT_EQ(inflate.ReadUnusedInput(adler, 4), 4u);  // the zlib trailer follows the deflate data
    TAdler32 a;
    UpdateAdler32(a, text.data(), text.size());
    const uint32_t want = GetAdler32(a);
    EXPECT_EQ(std::memcmp(adler, &want, 4), 0);
    filter.Seek(3);
    filter.Truncate();
    EXPECT_EQ(raw.size(), 3);
}
