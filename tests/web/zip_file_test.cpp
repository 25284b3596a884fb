#include "web/SciZipFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <sstream>

#include "support/test_util.h"
#include "zip_builder.h"

namespace fs = std::filesystem;
using ziptest::BuildZip;
using ziptest::Entry;

namespace {

// Every file and folder below `root`: relative path -> contents ("<dir>" for folders).
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> tree;
    if (!fs::exists(root)) return tree;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        std::string rel = fs::relative(e.path(), root).string();
        tree[rel] = e.is_directory() ? "<dir>" : testutil::ReadAll(e.path().string());
    }
    return tree;
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

TZipFile Load(const std::string& bytes) {
    std::istringstream in(bytes);
    TZipFile zip;
    zip.LoadFromStream(in);
    return zip;
}

// The message of the EZipFileError that `fn` throws, or "<no error>".
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

TEST(ZipCrc, PublishedCheckValues) {
    EXPECT_EQ(ZipCRC32(""), 0u);
    EXPECT_EQ(ZipCRC32("123456789"), 0xCBF43926u);
    EXPECT_EQ(ZipCRC32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    EXPECT_EQ(ZipCRC32(std::string(32, '\0')), 0x190A55ADu);
}

// Archives written by the zip tool, deflated and stored, to a file and streamed
// through a pipe (sizes and CRC in data descriptors), unpack to the same tree as
// unzip makes of them.
TEST(ZipTool, ExtractsLikeUnzip) {
    if (!testutil::HaveProgram("zip") || !testutil::HaveProgram("unzip")) GTEST_SKIP() << "zip/unzip missing";
    testutil::TempDir dir;
    std::string src = dir.File("src");
    fs::create_directories(src + "/pkg/sub/deep");
    fs::create_directories(src + "/pkg/emptydir");
    testutil::WriteAll(src + "/pkg/readme.txt", "Tevorin update\r\n");
    testutil::WriteAll(src + "/pkg/empty.dat", "");
    testutil::WriteAll(src + "/pkg/sub/noise.bin", RandomBytes(70000, 7));
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "line " + std::to_string(i % 37) + "\n";
    testutil::WriteAll(src + "/pkg/sub/deep/table.csv", text);

    const struct {
        const char* name;
        const char* command;
        bool streamed;
    } kinds[] = {
        {"deflated", "zip -q -r ../A pkg", false},
        {"stored", "zip -q -0 -r ../A pkg", false},
        {"streamed", "zip -q -r - pkg | cat > ../A", true},
        {"streamed-stored", "zip -q -0 -r - pkg | cat > ../A", true},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.name);
        std::string archive = dir.File(std::string(k.name) + ".zip");
        std::string cmd = k.command;
        cmd.replace(cmd.find("../A"), 4, archive);
        ASSERT_EQ(testutil::Run("cd " + src + " && " + cmd), 0);

        TZipFile zip;
        zip.LoadFromFile(archive);
        std::string names, unzipNames;
        for (int i = 0; i < zip.Count(); ++i) names += zip.Name(i) + "\n";
        ASSERT_EQ(testutil::Run("unzip -Z1 " + archive, &unzipNames), 0);
        EXPECT_EQ(names, unzipNames);
        bool anyDescriptor = false;
        for (int i = 0; i < zip.Count(); ++i) anyDescriptor |= (zip.LocalFile(i).Flags & 8) != 0;
        EXPECT_EQ(anyDescriptor, k.streamed);

        std::string ours = dir.File(std::string("ours-") + k.name);
        std::string theirs = dir.File(std::string("theirs-") + k.name);
        EXPECT_EQ(ExtractZipToFolder(archive, ours), ours + "/" + k.name + "/");
        ASSERT_EQ(testutil::Run("unzip -q " + archive + " -d " + theirs), 0);
        auto expected = Tree(theirs);
        EXPECT_EQ(expected.size(), 8u);
        EXPECT_EQ(Tree(ours + "/" + k.name), expected);
    }
}

// The test-support program lists and unpacks as the library does.
TEST(ZipTool, ProbeListsAndUnpacks) {
    testutil::TempDir dir;
    std::string archive = dir.File("tevorin0998.zip");
    testutil::WriteAll(archive, BuildZip({{.name = "tevorin0998/"}, {.name = "tevorin0998/a.txt", .data = "alpha"}}));
    std::string probe = testutil::BinFile("tevorin-probe"), out;
    ASSERT_EQ(testutil::Run(probe + " zip-list " + archive, &out), 0);
    EXPECT_EQ(out, "tevorin0998/\ntevorin0998/a.txt\n");
    ASSERT_EQ(testutil::Run(probe + " unzip " + archive + " " + dir.File("prog"), &out), 0);
    EXPECT_EQ(out, dir.File("prog") + "/tevorin0998/\n");
    EXPECT_EQ(testutil::ReadAll(dir.File("prog/tevorin0998/tevorin0998/a.txt")), "alpha");
    testutil::WriteAll(dir.File("bad.zip"), "<html>Not Found</html>");
    EXPECT_EQ(testutil::Run(probe + " zip-list " + dir.File("bad.zip") + " 2>/dev/null"), 2);
}

TEST(ZipExtract, FoldersSeparatorsAndReplacedFiles) {
    testutil::TempDir dir;
    std::string archive = dir.File("update.v2.zip");
    testutil::WriteAll(archive, BuildZip({
                                    {.name = "sub/"},
                                    {.name = "sub/a.txt", .data = "new contents"},
                                    {.name = "win\\b.txt", .data = "backslash", .method = 0},
                                    {.name = "a..b/./c.txt", .data = "dots are fine"},
                                    {.name = "x/y/z/", .method = 0},
                                }));
    std::string base = dir.File("prog/update.v2");
    fs::create_directories(base + "/sub");
    testutil::WriteAll(base + "/sub/a.txt", "old contents that were longer");

    EXPECT_EQ(ExtractZipToFolder(archive, dir.File("prog") + "/"), base + "/");
    std::map<std::string, std::string> expected = {
        {"sub", "<dir>"},   {"sub/a.txt", "new contents"}, {"win", "<dir>"},   {"win/b.txt", "backslash"},
        {"a..b", "<dir>"},  {"a..b/c.txt", "dots are fine"}, {"x", "<dir>"}, {"x/y", "<dir>"},
        {"x/y/z", "<dir>"},
    };
    EXPECT_EQ(Tree(base), expected);
}

TEST(ZipRead, IndexAndCrcErrors) {
    std::string text = "The measured light curve\n" + std::string(300, 'x');
    std::string good = BuildZip({{.name = "a.txt", .data = text}, {.name = "s.txt", .data = "stored", .method = 0}});
    TZipFile zip = Load(good);
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_EQ(zip.GetUncompressed(0), text);
    EXPECT_EQ(zip.GetUncompressed(1), "stored");
    EXPECT_EQ(ErrorOf([&] { zip.GetUncompressed(2); }), "Index out of range.");
    EXPECT_EQ(ErrorOf([&] { zip.GetUncompressed(-1); }), "Index out of range.");
    EXPECT_EQ(ErrorOf([&] { zip.Name(2); }), "Index out of range.");
    EXPECT_EQ(zip.EndRecord().EntriesTotal, 2);
    EXPECT_EQ(zip.FileHeaders().size(), 2u);

    // A changed bit anywhere in the compressed data is a CRC error naming the
    // entry, unless it only touched the padding after the last block.
    std::string payload = ziptest::Deflate(text);
    int errors = 0;
    for (size_t i = 0; i < payload.size() * 8; ++i) {
        std::string bad = payload;
        bad[i / 8] = static_cast<char>(bad[i / 8] ^ (1 << (i % 8)));
        TZipFile z = Load(BuildZip({{.name = "a.txt", .data = text, .payload = bad}}));
        try {
            EXPECT_EQ(z.GetUncompressed(0), text) << "bit " << i;
        } catch (const EZipFileCRCError& e) {
            EXPECT_STREQ(e.what(), "CRC Error in \"a.txt\".");
            ++errors;
        }
    }
    EXPECT_GT(errors, static_cast<int>(payload.size() * 8) - 8);
    TZipFile wrongCrc = Load(BuildZip({{.name = "s.txt", .data = "stored", .method = 0, .crc = 1234}}));
    EXPECT_THROW(wrongCrc.GetUncompressed(0), EZipFileCRCError);

    // Data that inflates to nothing must not pass for an entry whose stored CRC
    // happens to be that of empty data.
    TZipFile emptyCrc = Load(
        BuildZip({{.name = "e.txt", .data = "", .uncompressedSize = 10, .payload = payload.substr(0, 4)}}));
    EXPECT_THROW(emptyCrc.GetUncompressed(0), EZipFileCRCError);
    // A stream longer than the stored size is refused, not cut.
    TZipFile longer = Load(BuildZip({{.name = "l.txt", .data = text.substr(0, 20), .payload = payload}}));
    EXPECT_THROW(longer.GetUncompressed(0), EZipFileCRCError);
}

TEST(ZipRead, DataDescriptorsTakeSizesFromTheCentralDirectory) {
    std::string big = RandomBytes(3000, 3);
    for (bool signature : {true, false}) {
        SCOPED_TRACE(signature);
        TZipFile zip = Load(BuildZip({
            {.name = "a.bin", .data = big, .descriptor = true, .descriptorSignature = signature},
            {.name = "b.txt", .data = "stored", .method = 0, .descriptor = true, .descriptorSignature = signature},
            {.name = "c.txt", .data = "x", .descriptor = true, .descriptorSignature = signature},
        }));
        ASSERT_EQ(zip.Count(), 3);
        EXPECT_EQ(zip.GetUncompressed(0), big);
        EXPECT_EQ(zip.GetUncompressed(1), "stored");
        EXPECT_EQ(zip.GetUncompressed(2), "x");
        EXPECT_EQ(zip.LocalFile(0).UncompressedSize, 3000u);
    }
    // A descriptor entry the central directory does not know.
    std::string bytes = BuildZip({{.name = "a.bin", .data = big, .descriptor = true}});
    size_t offsetField = bytes.size() - 22 - 5 - 4;  // offset of the local header in the one central entry
    bytes[offsetField] = 9;
    EXPECT_EQ(ErrorOf([&] { Load(bytes); }), "No central directory entry for \"a.bin\".");
}

TEST(ZipRead, DamagedAndForeignFilesAreClearErrors) {
    std::string good = BuildZip({{.name = "a.txt", .data = "alpha alpha alpha"}, {.name = "b/", .method = 0}}, "note");
    // Every cut of a valid archive is an error, never a silently shorter list.
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_NE(ErrorOf([&] { Load(good.substr(0, n)); }), "<no error>") << "cut at " << n;

    EXPECT_EQ(ErrorOf([&] { Load("<html><body>404 Not Found</body></html>"); }), "Not a zip archive.");
    EXPECT_EQ(Load(BuildZip({})).Count(), 0);
    EXPECT_EQ(ErrorOf([&] { Load(good + "trailing bytes"); }), "<no error>");

    // Claimed sizes that the data cannot hold never reach an allocation.
    EXPECT_EQ(ErrorOf([&] { Load(BuildZip({{.name = "a.txt", .data = "abc", .compressedSize = 100000}})); }),
              "Entry \"a.txt\" is truncated.");
    EXPECT_EQ(ErrorOf([&] {
                  Load(BuildZip({{.name = "a.txt", .data = "abc", .uncompressedSize = 0xFFFFFFF0}})).GetUncompressed(0);
              }),
              "Entry \"a.txt\" is larger than 256 MiB.");
    EXPECT_EQ(ErrorOf([&] {
                  Load(BuildZip({{.name = "a.txt", .data = "abc", .uncompressedSize = 200 << 20}})).GetUncompressed(0);
              }),
              "Entry \"a.txt\" claims more data than it holds.");
    EXPECT_EQ(ErrorOf([&] {
                  Load(BuildZip({{.name = "s", .data = "abc", .method = 0, .uncompressedSize = 4}})).GetUncompressed(0);
              }),
              "Entry \"s\" claims more data than it holds.");
    EXPECT_EQ(ErrorOf([&] { Load(BuildZip({{.name = "a.txt", .data = "abc", .compressedSize = 0xFFFFFFFF}})); }),
              "Zip64 archives are not supported.");

    // Methods other than stored and deflated, and encryption, are named.
    EXPECT_EQ(ErrorOf([&] { Load(BuildZip({{.name = "a.bz", .data = "BZh9", .method = 12}})).GetUncompressed(0); }),
              "Compression method 12 of \"a.bz\" is not supported.");
    EXPECT_EQ(ErrorOf([&] { Load(BuildZip({{.name = "k", .data = "abc", .flags = 1}})).GetUncompressed(0); }),
              "Encrypted entry \"k\" is not supported.");

    testutil::TempDir dir;
    TZipFile zip;
    EXPECT_NE(ErrorOf([&] { zip.LoadFromFile(dir.File("missing.zip")); }).find(dir.File("missing.zip")),
              std::string::npos);
    testutil::WriteAll(dir.File("cut.zip"), good.substr(0, good.size() - 3));
    EXPECT_EQ(ErrorOf([&] { zip.LoadFromFile(dir.File("cut.zip")); }), "Truncated zip archive.\r\n" + dir.File("cut.zip"));
    EXPECT_EQ(zip.Count(), 0);
}

TEST(ZipTool, EncryptedAndZip64ArchivesAreRefused) {
    if (!testutil::HaveProgram("zip")) GTEST_SKIP() << "zip missing";
    testutil::TempDir dir;
    testutil::WriteAll(dir.File("a.txt"), "secret text");
    ASSERT_EQ(testutil::Run("cd " + dir.Path() + " && zip -q -P pw enc.zip a.txt && zip -q -fz z64.zip a.txt"), 0);
    TZipFile enc;
    enc.LoadFromFile(dir.File("enc.zip"));
    EXPECT_EQ(ErrorOf([&] { enc.GetUncompressed(0); }), "Encrypted entry \"a.txt\" is not supported.");
    EXPECT_EQ(ErrorOf([&] { ExtractZipToFolder(dir.File("z64.zip"), dir.File("out")); }),
              "Zip64 archives are not supported.\r\n" + dir.File("z64.zip"));
    EXPECT_FALSE(fs::exists(dir.File("out")));
}

// Hostile archives are refused before anything is written: the folder of the
// test holds nothing but the archive afterwards.
TEST(ZipExtract, HostileArchivesWriteNothing) {
    const std::string nul("a\0b", 3);
    const struct {
        std::string name;
        std::string shown;
    } hostile[] = {
        {"../x", "../x"},           {"/abs", "/abs"},
        {"C:\\x", "C:\\x"},         {"c:x", "c:x"},
        {"\\x", "\\x"},             {"a/../../x", "a/../../x"},
        {"sub\\..\\..\\x", "sub\\..\\..\\x"}, {"ok/..", "ok/.."},
        {nul, "a?b"},
    };
    for (const auto& h : hostile) {
        SCOPED_TRACE(h.shown);
        testutil::TempDir dir;
        std::string archive = dir.File("evil.zip");
        testutil::WriteAll(archive, BuildZip({{.name = "first.txt", .data = "harmless"}, {.name = h.name, .data = "pwn"}}));
        std::string error = ErrorOf([&] { ExtractZipToFolder(archive, dir.File("out")); });
        EXPECT_EQ(error.rfind("Unsafe entry name \"" + h.shown + "\" (", 0), 0u) << error;
        EXPECT_EQ(Tree(dir.Path()), (std::map<std::string, std::string>{{"evil.zip", testutil::ReadAll(archive)}}));
    }

    const struct {
        const char* what;
        std::vector<Entry> entries;
        std::string error;
    } refused[] = {
        {"huge claimed size",
         {{.name = "a.txt", .data = "abc", .uncompressedSize = 0xFFFFFFF0}},
         "Entry \"a.txt\" is larger than 256 MiB."},
        {"total beyond the cap",
         {{.name = "a", .uncompressedSize = 140 << 20, .payload = std::string(150000, 'q')},
          {.name = "b", .uncompressedSize = 140 << 20, .payload = std::string(150000, 'q')}},
         "Archive unpacks to more than 256 MiB."},
        {"unsupported method later on",
         {{.name = "a.txt", .data = "abc"}, {.name = "b.txt", .data = "abc", .method = 14}},
         "Compression method 14 of \"b.txt\" is not supported."},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.what);
        testutil::TempDir dir;
        std::string archive = dir.File("big.zip");
        testutil::WriteAll(archive, BuildZip(r.entries));
        EXPECT_EQ(ErrorOf([&] { ExtractZipToFolder(archive, dir.File("out")); }), r.error);
        EXPECT_EQ(Tree(dir.Path()).size(), 1u);
    }

    // Truncated: the load fails before any folder is made.
    testutil::TempDir dir;
    std::string bytes = BuildZip({{.name = "a.txt", .data = "abc"}, {.name = "b.txt", .data = "def"}});
    testutil::WriteAll(dir.File("cut.zip"), bytes.substr(0, 40));
    EXPECT_NE(ErrorOf([&] { ExtractZipToFolder(dir.File("cut.zip"), dir.File("out")); }), "<no error>");
    EXPECT_EQ(Tree(dir.Path()).size(), 1u);
}

// A CRC mismatch stops the extraction at that entry: the files before it are
// in place, the damaged one never appears, and no temporary file is left.
TEST(ZipExtract, CrcErrorLeavesNoPartialFile) {
    testutil::TempDir dir;
    std::string archive = dir.File("pkg.zip");
    testutil::WriteAll(archive, BuildZip({{.name = "a.txt", .data = "alpha"},
                                          {.name = "b.txt", .data = "bravo", .crc = 42},
                                          {.name = "c.txt", .data = "charlie"}}));
    EXPECT_EQ(ErrorOf([&] { ExtractZipToFolder(archive, dir.File("out")); }), "CRC Error in \"b.txt\".");
    EXPECT_EQ(Tree(dir.File("out/pkg")), (std::map<std::string, std::string>{{"a.txt", "alpha"}}));
}
