// The script written beside a video, to the character.
#include <gtest/gtest.h>

#include "measure/avs_writer.h"

TEST(AvsWriter, LinesToTheCharacter) {
    EXPECT_EQ(WriteAvsScript("/home/obs/2024 03 05/grazing star.avi", false),
              (std::vector<std::string>{"DirectShowSource(\"/home/obs/2024 03 05/grazing star.avi\" , "
                                        "pixel_type=\"RGB24\")"}));
    EXPECT_EQ(WriteAvsScript("/v/tape 1.avi", true),
              (std::vector<std::string>{
                  "DirectShowSource(\"/v/tape 1.avi\" , pixel_type=\"RGB24\")",
                  "DVInfo(\"tape 1.avi\", \"rec_time\", 50, 380, \"Gothic\", 30, 255*65536+255*256+255, "
                  "0*65536+0*256+0 ,\"%x\")",
                  "DVInfo(\"tape 1.avi\", \"rec_time\", 50, 410, \"Gothic\", 30, 255*65536+255*256+255, "
                  "0*65536+0*256+0 ,\"%X\")"}));
    // A double quote in a name cannot stand in "..."; it is written so that the
    // script still names the same file.
    const auto lines = WriteAvsScript("/v/the \"best\" night.avi", true);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "DirectShowSource(\"\"\"/v/the \"best\" night.avi\"\"\" , pixel_type=\"RGB24\")");
    EXPECT_EQ(lines[1].rfind("DVInfo(\"\"\"the \"best\" night.avi\"\"\", \"rec_time\", 50, 380, ", 0), 0u) << lines[1];
}
