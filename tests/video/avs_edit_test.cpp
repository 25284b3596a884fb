// The script editor: its file road (line ends, refusals, atomic saves) and the
// window's File menu and opener, offscreen with scripted dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dialogs.h"
#include "support/test_util.h"
#include "video/AvsEdit1.h"
#include "video/avs_edit.h"

namespace {

using testutil::ReadAll;
using testutil::WriteAll;

TEST(AvsEditFile, LinesRoundTripWithCrLfAndOtherEndsBecomeCrLf) {
    testutil::TempDir dir;
    struct Case {
        const char* bytes;
        const char* text;   // as the editor shows it
        const char* saved;  // what a save of that text writes
    } cases[] = {
        {"AVISource(\"a.avi\")\r\nConvertToRGB24()\r\n", "AVISource(\"a.avi\")\nConvertToRGB24()\n",
         "AVISource(\"a.avi\")\r\nConvertToRGB24()\r\n"},
        {"a\r\n\r\n", "a\n\n", "a\r\n\r\n"},       // a blank last line stays
        {"a\nb", "a\nb", "a\r\nb\r\n"},            // the last line gets its line end
        {"a\rb\r", "a\nb\n", "a\r\nb\r\n"},        // old Mac line ends
        {"", "", ""},
        {"\xe9t\xe9\r\n", "\xe9t\xe9\n", "\xe9t\xe9\r\n"},  // single-byte text kept as bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::string path = dir.File("s.avs");
        WriteAll(path, c.bytes);
        std::string text = "old", error;
        ASSERT_TRUE(avsedit::LoadScript(path, text, error)) << error;
        EXPECT_EQ(text, c.text);
        ASSERT_TRUE(avsedit::SaveScript(path, text, error)) << error;
        EXPECT_EQ(ReadAll(path), c.saved);
    }
}

TEST(AvsEditFile, UnreadableAndHugeFilesAreRefusedAndTheTextKept) {
    testutil::TempDir dir;
    std::string text = "kept", error;
    EXPECT_FALSE(avsedit::LoadScript(dir.File("missing.avs"), text, error));
    EXPECT_FALSE(avsedit::LoadScript(dir.Path(), text, error));  // a folder
    const std::string fifo = dir.File("fifo.avs");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(avsedit::LoadScript(fifo, text, error));  // refused at once, no writer awaited
    const std::string huge = dir.File("huge.avs");
    WriteAll(huge, "");
    std::filesystem::resize_file(huge, avsedit::kMaxScriptBytes + 1);
    EXPECT_FALSE(avsedit::LoadScript(huge, text, error));
    EXPECT_NE(error.find("huge.avs"), std::string::npos) << error;
    EXPECT_EQ(text, "kept");
    // Exactly at the limit still reads.
    std::filesystem::resize_file(huge, avsedit::kMaxScriptBytes);
    EXPECT_TRUE(avsedit::LoadScript(huge, text, error)) << error;
    EXPECT_EQ(text.size(), avsedit::kMaxScriptBytes);
}

TEST(AvsEditFile, AFailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
    testutil::TempDir dir;
    const std::string path = dir.File("ro.avs");
    WriteAll(path, "old\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    std::string error;
    EXPECT_FALSE(avsedit::SaveScript(path, "new\n", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadAll(path), "old\r\n");
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
    EXPECT_EQ(files, 1u);
    EXPECT_EQ(avsedit::CouldNotSaveText(path, "x"), "Could not save .AVS file.\r\n" + path + "\r\nx");
}

TEST(AvsEditFile, NamesQuestionsAndTheFileBeingEdited) {
    EXPECT_EQ(avsedit::SaveAsName("/d/x.txt"), "/d/x.avs");
    EXPECT_EQ(avsedit::SaveAsName("/d/x"), "/d/x.avs");
    EXPECT_EQ(avsedit::SaveAsName("/d.e/x.y.AVS"), "/d.e/x.y.avs");
    EXPECT_EQ(avsedit::CouldNotOpenText("a.avs"), "Could not open .AVS file.\r\na.avs");
    EXPECT_EQ(avsedit::ReplaceQuestion("/d/x.avs"), "x.avs already exists. Replace it?");
    testutil::TempDir dir;
    const std::string a = dir.File("a.avs"), b = dir.File("b.avs"), link = dir.File("l.avs");
    WriteAll(a, "a");
    WriteAll(b, "b");
    std::filesystem::create_symlink(a, link);
    EXPECT_FALSE(avsedit::ReplacesAnotherFile(dir.File("new.avs"), a));  // nothing to replace
    EXPECT_FALSE(avsedit::ReplacesAnotherFile(a, a));
    EXPECT_FALSE(avsedit::ReplacesAnotherFile(dir.Path() + "/./a.avs", a));
    EXPECT_FALSE(avsedit::ReplacesAnotherFile(link, a));  // the same file through a link
    EXPECT_TRUE(avsedit::ReplacesAnotherFile(b, a));
}

class AvsEditWindow : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs.Install();
        OpenDialog3 = {};
        WriteAll(dir.File("a.avs"), "AVISource(\"a.avi\")\r\n");
        WriteAll(dir.File("b.avs"), "AVISource(\"b.avi\")\r\n");
    }
    void TearDown() override {
        if (AvsEdit) delete AvsEdit;
        QApplication::processEvents();
    }
    TAvsEdit* Open(const std::string& name) {
        dialogs.fileAnswers.push_back(dir.File(name));
        return OpenAvsEditor(dir.Path(), nullptr);
    }
    testutil::TempDir dir;
    ScriptedDialogs dialogs;
};

TEST_F(AvsEditWindow, SaveWritesTheScriptLastOpenedAndLeavesTheFirstAlone) {
    TAvsEdit* e = Open("a.avs");
    ASSERT_TRUE(e);
    EXPECT_TRUE(AvsEditOpen);
    EXPECT_EQ(e->windowTitle(), "AvsEdit");
    EXPECT_EQ(e->Memo1->toPlainText(), "AVISource(\"a.avi\")\n");
    EXPECT_EQ(dialogs.shown.back().folder, dir.Path());
    EXPECT_EQ(dialogs.shown.back().filter, "AviSynth File (*.avs)");
    dialogs.fileAnswers.push_back(dir.File("b.avs"));
    e->OpenAVSFile1->trigger();
    EXPECT_EQ(dialogs.shown.back().folder, dir.Path());  // the script dialog's folder
    EXPECT_EQ(e->Memo1->toPlainText(), "AVISource(\"b.avi\")\n");
    e->Memo1->setPlainText("AVISource(\"b.avi\")\nTrim(0, 9)");
    e->SaveAVSFile1->trigger();
    EXPECT_EQ(ReadAll(dir.File("b.avs")), "AVISource(\"b.avi\")\r\nTrim(0, 9)\r\n");
    EXPECT_EQ(ReadAll(dir.File("a.avs")), "AVISource(\"a.avi\")\r\n");
    e->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(AvsEditOpen);
    EXPECT_EQ(AvsEdit, nullptr);
}

TEST_F(AvsEditWindow, SaveAsAppliesAvsAndAsksBeforeReplacingAnotherFile) {
    TAvsEdit* e = Open("a.avs");
    ASSERT_TRUE(e);
    e->Memo1->setPlainText("Version()");
    dialogs.fileAnswers.push_back(dir.File("x.txt"));
    e->Saveas1->trigger();
    EXPECT_EQ(ReadAll(dir.File("x.avs")), "Version()\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.txt")));
    EXPECT_EQ(e->ScriptPath(), dir.File("x.avs"));
    // Onto b.avs: asked, No keeps it; Yes replaces it.
    const size_t questions = dialogs.Texts("yesno").size() + dialogs.Texts("confirmation").size();
    dialogs.yesNoAnswers.push_back(false);
    dialogs.fileAnswers.push_back(dir.File("b.txt"));
    e->Saveas1->trigger();
    ASSERT_EQ(dialogs.Texts("yesno").size() + dialogs.Texts("confirmation").size(), questions + 1);
    EXPECT_EQ(dialogs.shown.back().text, "b.avs already exists. Replace it?");
    EXPECT_EQ(ReadAll(dir.File("b.avs")), "AVISource(\"b.avi\")\r\n");
    EXPECT_EQ(e->ScriptPath(), dir.File("x.avs"));
    dialogs.yesNoAnswers.push_back(true);
    dialogs.fileAnswers.push_back(dir.File("b.avs"));
    e->Saveas1->trigger();
    EXPECT_EQ(ReadAll(dir.File("b.avs")), "Version()\r\n");
    // Saving as the file being edited asks nothing.
    const size_t shown = dialogs.shown.size();
    dialogs.fileAnswers.push_back(dir.File("b.avs"));
    e->Saveas1->trigger();
    EXPECT_EQ(dialogs.shown.size(), shown + 1);  // the file dialog only
    EXPECT_EQ(ReadAll(dir.File("a.avs")), "AVISource(\"a.avi\")\r\n");
}

// Scripts are single-byte text: every byte a script may hold survives an open and
// a save untouched, and a Latin-1 path reads as such in the memo.
TEST_F(AvsEditWindow, AnUntouchedScriptSavesBackByteForByte) {
    std::string bytes = "AVISource(\"d:\\vid\xe9o\\a.avi\")\r\n";
    for (int b = 0x80; b <= 0xFF; ++b) bytes += static_cast<char>(b);
    bytes += "\r\n\tTrim(0, 9) # \xa0\xad\xff\r\n\r\n";
    for (int b = 0x01; b < 0x20; ++b)
        if (b != '\r' && b != '\n') bytes += static_cast<char>(b);
    bytes += "\x7f\r\n";
    WriteAll(dir.File("latin.avs"), bytes);
    TAvsEdit* e = Open("latin.avs");
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->Memo1->toPlainText().startsWith(QString::fromUtf8("AVISource(\"d:\\vid\u00e9o\\a.avi\")\n")));
    e->SaveAVSFile1->trigger();
    EXPECT_EQ(dialogs.Texts("error").size(), 0u);
    EXPECT_EQ(ReadAll(dir.File("latin.avs")), bytes);
    // "Save as" writes the same bytes.
    dialogs.fileAnswers.push_back(dir.File("copy.avs"));
    e->Saveas1->trigger();
    EXPECT_EQ(ReadAll(dir.File("copy.avs")), bytes);
    // A typed character that has no single byte is refused; the file stays as it was.
    e->Memo1->appendPlainText(QString::fromUtf8("# \u20ac"));
    e->SaveAVSFile1->trigger();
    ASSERT_EQ(dialogs.Texts("error").size(), 1u);
    EXPECT_EQ(dialogs.Texts("error").back(), "Could not save .AVS file.\r\n" + dir.File("copy.avs") +
                                                 "\r\nLine 7 holds a character that a single-byte script cannot hold.");
    EXPECT_EQ(ReadAll(dir.File("copy.avs")), bytes);
}

TEST_F(AvsEditWindow, MissingOrUnreadableScriptsGiveTheBoxAndKeepTheMemo) {
    // From the main menu: no editor, the name without its folder.
    EXPECT_EQ(Open("missing.avs"), nullptr);
    EXPECT_FALSE(AvsEditOpen);
    ASSERT_EQ(dialogs.Texts("error").size(), 1u);
    EXPECT_EQ(dialogs.Texts("error").back(), "Could not open .AVS file.\r\nmissing.avs");
    // Cancelled: nothing at all.
    EXPECT_EQ(OpenAvsEditor(dir.Path(), nullptr), nullptr);
    EXPECT_EQ(dialogs.Texts("error").size(), 1u);
    // In the editor: the full name; the memo and the file it saves to are kept.
    TAvsEdit* e = Open("a.avs");
    ASSERT_TRUE(e);
    e->Memo1->setPlainText("edited");
    const std::string huge = dir.File("huge.avs");
    WriteAll(huge, "");
    std::filesystem::resize_file(huge, avsedit::kMaxScriptBytes + 1);
    for (const std::string& path : {dir.File("gone.avs"), huge}) {
        dialogs.fileAnswers.push_back(path);
        e->OpenAVSFile1->trigger();
        EXPECT_EQ(dialogs.Texts("error").back(), "Could not open .AVS file.\r\n" + path);
        EXPECT_EQ(e->Memo1->toPlainText(), "edited");
    }
    e->SaveAVSFile1->trigger();
    EXPECT_EQ(ReadAll(dir.File("a.avs")), "edited\r\n");
    // A save that fails says so and keeps the old file.
    ASSERT_EQ(::chmod(dir.File("a.avs").c_str(), 0444), 0);
    e->Memo1->setPlainText("lost?");
    e->SaveAVSFile1->trigger();
    EXPECT_EQ(dialogs.Texts("error").back().rfind("Could not save .AVS file.\r\n" + dir.File("a.avs") + "\r\n", 0), 0u);
    EXPECT_EQ(ReadAll(dir.File("a.avs")), "edited\r\n");
}

}  // namespace
