#include "web/SciZipFile.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <sstream>

#include "support/test_util.h"

namespace fs = std::filesystem;

namespace {

// Archives built byte by byte, including ones no zip tool writes (hostile names, lying sizes).
struct Entry {
    std::string name, data;
    uint16_t method = 8, flags = 0;  // method 0 stored, 8 deflated, others store the data as is
    bool descriptor = false, descriptorSignature = true;  // sizes and CRC after the data
    std::optional<uint32_t> crc, compressedSize, uncompressedSize;
    std::optional<std::string> payload;  // replaces the compressed bytes
};

void Le(std::string& s, int bytes, std::initializer_list<uint32_t> values) {
    for (uint32_t v : values)
        for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i));
}

std::string Deflate(const std::string& data) {  // raw deflate, as zip entries hold it
    z_stream s{};
    deflateInit2(&s, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, data.size()), '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

std::string BuildZip(const std::vector<Entry>& entries, const std::string& comment = "") {
    std::string out, central;
    for (const Entry& e : entries) {
        const std::string payload = e.payload ? *e.payload : e.method == 8 ? Deflate(e.data) : e.data;
        const uint32_t crc = e.crc ? *e.crc : crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), e.data.size());
        const uint32_t csize = e.compressedSize.value_or(payload.size()), usize = e.uncompressedSize.value_or(e.data.size());
        const uint32_t flags = e.flags | (e.descriptor ? 8 : 0), offset = out.size(), d = e.descriptor;
        Le(out, 4, {0x04034B50});
        Le(out, 2, {20, flags, e.method, 0x6000, 0x5A81});  // 2025-04-01 12:00
        Le(out, 4, {d ? 0 : crc, d ? 0 : csize, d ? 0 : usize});
        Le(out, 2, {uint32_t(e.name.size()), 0});
        out += e.name + payload;
        if (d && e.descriptorSignature) Le(out, 4, {0x08074B50});
        if (d) Le(out, 4, {crc, csize, usize});
        Le(central, 4, {0x02014B50});
        Le(central, 2, {0x031E, 20, flags, e.method, 0x6000, 0x5A81});
        Le(central, 4, {crc, csize, usize});
        Le(central, 2, {uint32_t(e.name.size()), 0, 0, 0, 0});
        Le(central, 4, {0100644u << 16, offset});
        central += e.name;
    }
    const uint32_t at = out.size(), n = entries.size();
    out += central;
    Le(out, 4, {0x06054B50});
    Le(out, 2, {0, 0, n, n});
    Le(out, 4, {uint32_t(central.size()), at});
    Le(out, 2, {uint32_t(comment.size())});
    return out + comment;
}

// Every file and folder below `root`: relative path -> contents ("<dir>" for folders).
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> tree;
    if (fs::exists(root))
        for (const auto& e : fs::recursive_directory_iterator(root))
            tree[fs::relative(e.path(), root).string()] = e.is_directory() ? "<dir>" : testutil::ReadAll(e.path().string());
    return tree;
}

TZipFile Load(const std::string& bytes) {
    std::istringstream in(bytes);
    TZipFile zip;
    zip.LoadFromStream(in);
    return zip;
}

template <typename Fn>
std::string ErrorOf(Fn fn) {
    try {
        fn();
    } catch (const EZipFileError& e) {
        return e.what();
    }
    return "<no error>";
}

}  // namespace

// Archives of the zip tool, deflated and stored, to a file and through a pipe (data
// descriptors), unpack to the tree unzip makes; the probe lists and unpacks the same way.
TEST(ZipTool, ExtractsLikeUnzipAndProbe) {
    if (!testutil::HaveProgram("zip") || !testutil::HaveProgram("unzip")) GTEST_SKIP() << "zip/unzip missing";
    testutil::TempDir dir;
    const std::string src = dir.File("src");
    fs::create_directories(src + "/pkg/sub/deep");
    fs::create_directories(src + "/pkg/emptydir");
    testutil::WriteAll(src + "/pkg/readme.txt", "Tevorin update\r\n");
    testutil::WriteAll(src + "/pkg/empty.dat", "");
    std::mt19937 rng(7);
    std::string noise(70000, '\0'), text;
    for (char& c : noise) c = static_cast<char>(rng());
    for (int i = 0; i < 5000; ++i) text += "line " + std::to_string(i % 37) + "\n";
    testutil::WriteAll(src + "/pkg/sub/noise.bin", noise);
    testutil::WriteAll(src + "/pkg/sub/deep/table.csv", text);
    for (std::string kind : {"deflated", "stored", "streamed", "streamed-stored"}) {
        SCOPED_TRACE(kind);
        const std::string archive = dir.File(kind + ".zip"), ours = dir.File("ours-" + kind), theirs = dir.File("t-" + kind);
        const bool streamed = kind.rfind("streamed", 0) == 0;
        const std::string zip = std::string("zip -q ") + (kind.find("stored") != std::string::npos ? "-0 " : "") + "-r ";
        ASSERT_EQ(testutil::Run("cd " + src + " && " + zip + (streamed ? "- pkg | cat > " + archive : archive + " pkg")), 0);
        TZipFile z;
        z.LoadFromFile(archive);
        std::string names, unzipNames, probeNames;
        bool anyDescriptor = false;
        for (int i = 0; i < z.Count(); ++i) names += z.Name(i) + "\n", anyDescriptor |= (z.LocalFile(i).Flags & 8) != 0;
        ASSERT_EQ(testutil::Run("unzip -Z1 " + archive, &unzipNames), 0);
        ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-probe") + " zip-list " + archive, &probeNames), 0);
        EXPECT_TRUE(names == unzipNames && probeNames == unzipNames && anyDescriptor == streamed) << names << probeNames;
        EXPECT_EQ(ExtractZipToFolder(archive, ours), ours + "/" + kind + "/");
        ASSERT_EQ(testutil::Run("unzip -q " + archive + " -d " + theirs), 0);
        EXPECT_EQ(Tree(theirs).size(), 8u);
        EXPECT_EQ(Tree(ours + "/" + kind), Tree(theirs));
    }
    std::string out;
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-probe") + " unzip " + dir.File("stored.zip") + " " + dir.File("p"), &out), 0);
    EXPECT_EQ(out, dir.File("p") + "/stored/\n");
    EXPECT_EQ(testutil::ReadAll(dir.File("p/stored/pkg/readme.txt")), "Tevorin update\r\n");
    testutil::WriteAll(dir.File("bad.zip"), "<html>Not Found</html>");
    EXPECT_EQ(testutil::Run(testutil::BinFile("tevorin-probe") + " zip-list " + dir.File("bad.zip") + " 2>/dev/null"), 2);
    // Encrypted and Zip64 archives are refused by name, the Zip64 one before any folder is made.
    testutil::WriteAll(dir.File("a.txt"), "secret text");
    ASSERT_EQ(testutil::Run("cd " + dir.Path() + " && zip -q -P pw enc.zip a.txt && zip -q -fz z64.zip a.txt"), 0);
    TZipFile enc;
    enc.LoadFromFile(dir.File("enc.zip"));
    EXPECT_EQ(ErrorOf([&] { enc.GetUncompressed(0); }), "Encrypted entry \"a.txt\" is not supported.");
    EXPECT_EQ(ErrorOf([&] { ExtractZipToFolder(dir.File("z64.zip"), dir.File("out")); }),
              "Zip64 archives are not supported.\r\n" + dir.File("z64.zip"));
    EXPECT_FALSE(fs::exists(dir.File("out")));
}

TEST(ZipRead, EntriesDescriptorsAndCrcErrors) {
    EXPECT_TRUE(ZipCRC32("") == 0 && ZipCRC32("123456789") == 0xCBF43926u && ZipCRC32(std::string(32, '\0')) == 0x190A55ADu);
    const std::string text = "The measured light curve\n" + std::string(300, 'x'), payload = Deflate(text);
    TZipFile zip = Load(BuildZip({{.name = "a.txt", .data = text}, {.name = "s.txt", .data = "stored", .method = 0}}));
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_TRUE(zip.GetUncompressed(0) == text && zip.GetUncompressed(1) == "stored" && zip.EndRecord().EntriesTotal == 2);
    for (int bad : {2, -1}) EXPECT_EQ(ErrorOf([&] { zip.GetUncompressed(bad); }), "Index out of range.");
    EXPECT_EQ(ErrorOf([&] { zip.Name(2); }), "Index out of range.");
    for (bool signature : {true, false}) {  // sizes from the central directory
        auto d = [&](std::string n, std::string data, uint16_t m) {
            return Entry{.name = n, .data = data, .method = m, .descriptor = true, .descriptorSignature = signature};
        };
        TZipFile z = Load(BuildZip({d("a.bin", text + payload, 8), d("b.txt", "stored", 0), d("c.txt", "x", 8)}));
        ASSERT_EQ(z.Count(), 3);
        EXPECT_EQ(z.GetUncompressed(0) + z.GetUncompressed(1) + z.GetUncompressed(2), text + payload + "storedx");
        EXPECT_EQ(z.LocalFile(0).UncompressedSize, text.size() + payload.size());
    }
    std::string unknown = BuildZip({{.name = "a.bin", .data = text, .descriptor = true}});
    unknown[unknown.size() - 22 - 5 - 4] = 9;  // the central entry points elsewhere
    EXPECT_EQ(ErrorOf([&] { Load(unknown); }), "No central directory entry for \"a.bin\".");

    // A changed bit anywhere in the data is a CRC error naming the entry, unless it
    // only touched the padding after the last block.
    int errors = 0;
    for (size_t i = 0; i < payload.size() * 8; ++i) {
        std::string bad = payload;
        bad[i / 8] = static_cast<char>(bad[i / 8] ^ (1 << (i % 8)));
        try {
            EXPECT_EQ(Load(BuildZip({{.name = "a.txt", .data = text, .payload = bad}})).GetUncompressed(0), text) << i;
        } catch (const EZipFileCRCError& e) {
            EXPECT_STREQ(e.what(), "CRC Error in \"a.txt\".");
            ++errors;
        }
    }
    EXPECT_GT(errors, static_cast<int>(payload.size() * 8) - 8);
    const std::vector<Entry> crcErrors = {
        {.name = "s.txt", .data = "stored", .method = 0, .crc = 1234},
        {.name = "e.txt", .data = "", .uncompressedSize = 10, .payload = payload.substr(0, 4)},  // empty data's CRC
        {.name = "l.txt", .data = text.substr(0, 20), .payload = payload},  // longer than the stored size
    };
    for (const Entry& e : crcErrors) EXPECT_THROW(Load(BuildZip({e})).GetUncompressed(0), EZipFileCRCError) << e.name;
}

TEST(ZipRead, DamagedForeignAndLyingFilesAreClearErrors) {
    const std::string good = BuildZip({{.name = "a.txt", .data = "alpha alpha alpha"}, {.name = "b/", .method = 0}}, "note");
    for (size_t n = 0; n < good.size(); ++n)  // never a silently shorter list
        EXPECT_NE(ErrorOf([&] { Load(good.substr(0, n)); }), "<no error>") << "cut at " << n;
    EXPECT_EQ(ErrorOf([&] { Load("<html><body>404 Not Found</body></html>"); }), "Not a zip archive.");
    EXPECT_EQ(Load(BuildZip({})).Count(), 0);
    EXPECT_EQ(ErrorOf([&] { Load(good + "trailing bytes"); }), "<no error>");
    const struct {
        Entry entry;
        std::string error;
    } cases[] = {  // claimed sizes the data cannot hold never reach an allocation
        {{.name = "a.txt", .data = "abc", .compressedSize = 100000}, "Entry \"a.txt\" is truncated."},
        {{.name = "a.txt", .data = "abc", .uncompressedSize = 0xFFFFFFF0}, "Entry \"a.txt\" is larger than 256 MiB."},
        {{.name = "a.txt", .data = "abc", .uncompressedSize = 200 << 20}, "Entry \"a.txt\" claims more data than it holds."},
        {{.name = "s", .data = "abc", .method = 0, .uncompressedSize = 4}, "Entry \"s\" claims more data than it holds."},
        {{.name = "a.txt", .data = "abc", .compressedSize = 0xFFFFFFFF}, "Zip64 archives are not supported."},
        {{.name = "a.bz", .data = "BZh9", .method = 12}, "Compression method 12 of \"a.bz\" is not supported."},
        {{.name = "k", .data = "abc", .flags = 1}, "Encrypted entry \"k\" is not supported."},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorOf([&] { Load(BuildZip({c.entry})).GetUncompressed(0); }), c.error);
    testutil::TempDir dir;
    TZipFile zip;
    EXPECT_NE(ErrorOf([&] { zip.LoadFromFile(dir.File("missing.zip")); }).find(dir.File("missing.zip")), std::string::npos);
    testutil::WriteAll(dir.File("cut.zip"), good.substr(0, good.size() - 3));
    EXPECT_EQ(ErrorOf([&] { zip.LoadFromFile(dir.File("cut.zip")); }), "Truncated zip archive.\r\n" + dir.File("cut.zip"));
    EXPECT_EQ(zip.Count(), 0);
}

TEST(ZipExtract, FoldersSeparatorsAndReplacedFiles) {
    testutil::TempDir dir;
    const std::string archive = dir.File("update.v2.zip"), base = dir.File("prog/update.v2");
    testutil::WriteAll(archive, BuildZip({{.name = "sub/"}, {.name = "sub/a.txt", .data = "new"},
                                          {.name = "win\\b.txt", .data = "backslash", .method = 0},
                                          {.name = "a..b/./c.txt", .data = "dots"}, {.name = "x/y/", .method = 0}}));
    fs::create_directories(base + "/sub");
    testutil::WriteAll(base + "/sub/a.txt", "old contents that were longer");
    EXPECT_EQ(ExtractZipToFolder(archive, dir.File("prog") + "/"), base + "/");
    EXPECT_EQ(Tree(base), (std::map<std::string, std::string>{{"sub", "<dir>"}, {"sub/a.txt", "new"}, {"win", "<dir>"},
                                                              {"win/b.txt", "backslash"}, {"a..b", "<dir>"},
                                                              {"a..b/c.txt", "dots"}, {"x", "<dir>"}, {"x/y", "<dir>"}}));
}

// Refused before anything is written: the folder holds nothing but the archive afterwards.
TEST(ZipExtract, HostileArchivesWriteNothing) {
    const std::string nul("a\0b", 3);
    for (const std::string& name : std::vector<std::string>{"../x", "/abs", "C:\\x", "c:x", "\\x", "a/../../x", "sub\\..\\..\\x", "ok/..", nul}) {
        testutil::TempDir dir;
        testutil::WriteAll(dir.File("e.zip"), BuildZip({{.name = "first.txt", .data = "harmless"}, {.name = name, .data = "pwn"}}));
        const std::string error = ErrorOf([&] { ExtractZipToFolder(dir.File("e.zip"), dir.File("out")); });
        EXPECT_EQ(error.rfind("Unsafe entry name \"" + (name == nul ? "a?b" : name) + "\" (", 0), 0u) << error;
        EXPECT_EQ(Tree(dir.Path()).size(), 1u) << error;
    }
    const std::string q(150000, 'q'), cut = BuildZip({{.name = "a.txt", .data = "abc"}, {.name = "b.txt", .data = "def"}});
    const std::pair<std::string, std::string> refused[] = {
        {BuildZip({{.name = "a", .uncompressedSize = 140 << 20, .payload = q}, {.name = "b", .uncompressedSize = 140 << 20, .payload = q}}),
         "Archive unpacks to more than 256 MiB."},
        {BuildZip({{.name = "a.txt", .data = "abc"}, {.name = "b.txt", .data = "abc", .method = 14}}),
         "Compression method 14 of \"b.txt\" is not supported."},
        {cut.substr(0, 40), ""},  // any load error, before a folder is made
    };
    for (const auto& [bytes, error] : refused) {
        testutil::TempDir dir;
        testutil::WriteAll(dir.File("e.zip"), bytes);
        const std::string got = ErrorOf([&] { ExtractZipToFolder(dir.File("e.zip"), dir.File("out")); });
        EXPECT_TRUE(got != "<no error>" && got.substr(0, error.size()) == error) << got;
        EXPECT_EQ(Tree(dir.Path()).size(), 1u) << error;
    }
    // Errors found only while unpacking (a bad CRC, an entry named ".", a file then a
    // folder of the same name) leave nothing behind, not even the new target folder.
    const std::pair<std::vector<Entry>, std::string> late[] = {
        {{{.name = "a.txt", .data = "alpha"}, {.name = "b.txt", .data = "bravo", .crc = 42}, {.name = "c.txt", .data = "charlie"}},
         "CRC Error in \"b.txt\"."},
        {{{.name = "a.txt", .data = "alpha"}, {.name = ".", .data = "dot"}}, ""},
        {{{.name = "a", .data = "file"}, {.name = "a/b", .data = "below a file"}}, ""},
    };
    for (const auto& [entries, error] : late) {
        testutil::TempDir dir;
        testutil::WriteAll(dir.File("pkg.zip"), BuildZip(entries));
        const std::string got = ErrorOf([&] { ExtractZipToFolder(dir.File("pkg.zip"), dir.File("out/new")); });
        EXPECT_TRUE(got != "<no error>" && got.substr(0, error.size()) == error) << got;
        EXPECT_EQ(Tree(dir.Path()).size(), 1u) << got;
    }
    // An archive named "..zip" or "...zip" would unpack into the target or its parent.
    for (const std::string name : {"..zip", "...zip", ".zip"}) {
        testutil::TempDir dir;
        fs::create_directories(dir.File("out"));
        testutil::WriteAll(dir.File(name), BuildZip({{.name = "x.txt", .data = "x"}}));
        const std::string got = ErrorOf([&] { ExtractZipToFolder(dir.File(name), dir.File("out")); });
        EXPECT_EQ(got.rfind("Unsafe folder name \"", 0), 0u) << got;
        EXPECT_EQ(Tree(dir.Path()).size(), 2u) << got;
    }
}

// A link where the result folder, or a folder below it, is expected: refused, and
// nothing is written where the link points.
TEST(ZipExtract, ALinkInPlaceOfAFolderIsNotFollowed) {
    testutil::TempDir dir, outside;
    testutil::WriteAll(outside.File("kept.txt"), "kept");
    testutil::WriteAll(dir.File("pkg.zip"), BuildZip({{.name = "sub/"}, {.name = "sub/a.txt", .data = "new"}}));
    fs::create_directories(dir.File("out"));
    fs::create_directory_symlink(outside.Path(), dir.File("out/pkg"));
    const std::string got = ErrorOf([&] { ExtractZipToFolder(dir.File("pkg.zip"), dir.File("out")); });
    EXPECT_EQ(got, "\"" + dir.File("out/pkg/") + "\" is not a folder (a link); nothing was unpacked into it.");
    EXPECT_EQ(Tree(outside.Path()), (std::map<std::string, std::string>{{"kept.txt", "kept"}}));
    EXPECT_TRUE(fs::is_symlink(dir.File("out/pkg")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("out")), fs::directory_iterator()), 1);

    // A real result folder whose subfolder is a link.
    fs::remove(dir.File("out/pkg"));
    fs::create_directories(dir.File("out/pkg"));
    fs::create_directory_symlink(outside.Path(), dir.File("out/pkg/sub"));
    EXPECT_EQ(ErrorOf([&] { ExtractZipToFolder(dir.File("pkg.zip"), dir.File("out")); }),
              "\"" + dir.File("out/pkg/sub") + "\" is not a folder (a link); nothing was unpacked into it.");
    EXPECT_EQ(Tree(outside.Path()), (std::map<std::string, std::string>{{"kept.txt", "kept"}}));
}
