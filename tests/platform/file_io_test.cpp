#include "platform/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/test_util.h"

using namespace fileio;

TEST(FileIo, SplitLinesEveryLineEnd) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n"), (V{"a"}));
    EXPECT_EQ(SplitLines("a\n\n"), (V{"a", ""}));
    EXPECT_EQ(SplitLines("\r\n\r\n"), (V{"", ""}));
    EXPECT_EQ(SplitLines("\n\r"), (V{"", ""}));  // LF then a lone CR: two empty lines
    EXPECT_EQ(SplitLines(""), V{});
    EXPECT_EQ(JoinLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
}

TEST(FileIo, PathHelpers) {
    EXPECT_EQ(ExtractFileName("/a/b/c.avi"), "c.avi");
    EXPECT_EQ(ExtractFilePath("/a/b/c.avi"), "/a/b/");
    EXPECT_EQ(ExtractFileDir("/a/b/c.avi"), "/a/b");
    EXPECT_EQ(ExtractFileExt("/a/b.d/c"), "");
    EXPECT_EQ(ExtractFileExt("/a/b/c.tar.AVI"), ".AVI");
    EXPECT_EQ(ChangeFileExt("/a/b/c.avi", ".avs"), "/a/b/c.avs");
    EXPECT_EQ(ChangeFileExt("/a.b/c", ".avs"), "/a.b/c.avs");
    EXPECT_EQ(ExtractFilePath("c.avi"), "");
}

TEST(FileIo, AtomicWriteReplacesOrLeavesTheOldFile) {
    testutil::TempDir dir;
    std::string path = dir.File("out.csv"), err;
    ASSERT_TRUE(WriteFileAtomic(path, "first", err)) << err;
    ASSERT_TRUE(WriteFileAtomic(path, "second", err)) << err;
    std::string back;
    ASSERT_TRUE(ReadFile(path, back, err));
    EXPECT_EQ(back, "second");

    // A folder that cannot be written: the write fails, the old file stays, no temporary is left.
    if (::geteuid() != 0) {
        ::chmod(dir.Path().c_str(), 0555);
        EXPECT_FALSE(WriteFileAtomic(path, "third", err));
        EXPECT_NE(err.find(path), std::string::npos);
        ::chmod(dir.Path().c_str(), 0755);
        ASSERT_TRUE(ReadFile(path, back, err));
        EXPECT_EQ(back, "second");
    }
    EXPECT_FALSE(WriteFileAtomic(dir.File("missing/x.csv"), "x", err));
    EXPECT_FALSE(FileExists(dir.File("missing/x.csv")));
}

// A file written in pieces appears only whole: until Commit the old file stays,
// and a writer that goes away uncommitted leaves no temporary behind.
TEST(FileIo, StreamingWriterPutsTheFileInPlaceOnlyOnCommit) {
    testutil::TempDir dir;
    const std::string path = dir.File("tvm.wav");
    std::string err;
    testutil::WriteAll(path, "earlier");
    ::chmod(path.c_str(), 0640);
    const auto entries = [&] {
        std::string listing;
        testutil::Run("ls -A '" + dir.Path() + "'", &listing);
        return listing;
    };
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(path, err)) << err;
        ASSERT_TRUE(w.Write("....data", 8, err) && w.Write("tail", 4, err));
        EXPECT_EQ(w.Size(), 12u);
        EXPECT_EQ(testutil::ReadAll(path), "earlier");
    }
    EXPECT_EQ(entries(), "tvm.wav\n");
    EXPECT_EQ(testutil::ReadAll(path), "earlier");

    AtomicFileWriter w;
    ASSERT_TRUE(w.Open(path, err)) << err;
    ASSERT_TRUE(w.Write("....data+tail", 13, err));
    ASSERT_TRUE(w.Truncate(8, err) && w.WriteAt(0, "HEAD", 4, err) && w.Write("!", 1, err));
    EXPECT_EQ(w.Size(), 9u);
    ASSERT_TRUE(w.Commit(err)) << err;
    EXPECT_FALSE(w.IsOpen());
    EXPECT_EQ(testutil::ReadAll(path), "HEADdata!");
    EXPECT_EQ(entries(), "tvm.wav\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);  // the replaced file's mode
    // Nothing more goes through a committed writer; a missing folder opens nothing.
    EXPECT_FALSE(w.Write("x", 1, err) || w.Commit(err));
    EXPECT_FALSE(w.Open(dir.File("missing/x.wav"), err));
    EXPECT_NE(err.find("missing/x.wav"), std::string::npos) << err;
}

TEST(FileIo, ReadRefusesMissingFoldersAndOversizedFiles) {
    testutil::TempDir dir;
    std::string out, err;
    EXPECT_FALSE(ReadFile(dir.File("nope"), out, err));
    EXPECT_NE(err.find("nope"), std::string::npos);
    EXPECT_FALSE(ReadFile(dir.Path(), out, err));
    testutil::WriteAll(dir.File("big"), std::string(100, 'x'));
    EXPECT_FALSE(ReadFile(dir.File("big"), out, err, 99));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(ReadFile(dir.File("big"), out, err, 100));
}

// A FIFO is refused at once (a blocking open would wait for a writer; the alarm
// turns that into a failure).
TEST(FileIo, FifoIsRefusedWithoutWaiting) {
    testutil::TempDir dir;
    const std::string fifo = dir.File("pipe.csv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ::alarm(20);
    std::string out, err1, err2;
    std::vector<std::string> lines;
    EXPECT_TRUE(!ReadFile(fifo, out, err1) && !ReadLines(fifo, lines, err2));
    ::alarm(0);
    EXPECT_TRUE(err1 == "Not a regular file: " + fifo && err2 == err1) << err1 << " / " << err2;
}

// Saving refuses a read-only file (also for root), writes through a symbolic link
// to the file it names and keeps that file's mode.
TEST(FileIo, AtomicSaveRespectsReadOnlyLinksAndMode) {
    testutil::TempDir dir;
    const std::string ro = dir.File("ro.csv"), real = dir.File("real.csv"), link = dir.File("link.csv");
    testutil::WriteAll(ro, "keep");
    testutil::WriteAll(real, "old");
    ::chmod(ro.c_str(), 0444);
    ::chmod(real.c_str(), 0640);
    ASSERT_EQ(::symlink("real.csv", link.c_str()), 0);
    std::string err;
    EXPECT_FALSE(WriteFileAtomic(ro, "new", err));
    EXPECT_TRUE(err == "Read-only file: " + ro && testutil::ReadAll(ro) == "keep") << err;
    ASSERT_TRUE(WriteFileAtomic(link, "through the link", err)) << err;
    struct stat l {}, r {};
    EXPECT_TRUE(::lstat(link.c_str(), &l) == 0 && S_ISLNK(l.st_mode) && ::stat(real.c_str(), &r) == 0 && (r.st_mode & 07777) == 0640);
    EXPECT_EQ(testutil::ReadAll(real), "through the link");
}

// A link whose target does not exist yet is written through, creating the target;
// the link stays a link (also along a chain). A loop of links is refused.
TEST(FileIo, AtomicSaveThroughDanglingLinks) {
    testutil::TempDir dir;
    ::mkdir(dir.File("sub").c_str(), 0755);
    const std::string link = dir.File("link.csv"), chain = dir.File("chain.png"), loop = dir.File("loop.csv");
    ASSERT_EQ(::symlink("sub/new.csv", link.c_str()), 0);
    ASSERT_EQ(::symlink("link.csv", chain.c_str()), 0);
    ASSERT_EQ(::symlink("loop.csv", loop.c_str()), 0);
    std::string err, target;
    ASSERT_TRUE(ResolveSaveTarget(chain, target, err)) << err;
    EXPECT_EQ(target, dir.File("sub/new.csv"));
    ASSERT_TRUE(WriteFileAtomic(link, "first", err)) << err;
    ASSERT_TRUE(WriteFileAtomic(chain, "second", err)) << err;
    struct stat l {}, c {};
    EXPECT_TRUE(::lstat(link.c_str(), &l) == 0 && S_ISLNK(l.st_mode) && ::lstat(chain.c_str(), &c) == 0 && S_ISLNK(c.st_mode));
    EXPECT_EQ(testutil::ReadAll(dir.File("sub/new.csv")), "second");
    // An absolute target in a folder that does not exist: refused, nothing created.
    ASSERT_EQ(::symlink(dir.File("none/x.csv").c_str(), dir.File("far.csv").c_str()), 0);
    EXPECT_FALSE(WriteFileAtomic(dir.File("far.csv"), "x", err));
    EXPECT_TRUE(::lstat(dir.File("far.csv").c_str(), &l) == 0 && S_ISLNK(l.st_mode));
    EXPECT_FALSE(WriteFileAtomic(loop, "x", err));
    EXPECT_EQ(err, "Cannot resolve " + loop + ": Too many levels of symbolic links");
    EXPECT_TRUE(::lstat(loop.c_str(), &l) == 0 && S_ISLNK(l.st_mode));
}
