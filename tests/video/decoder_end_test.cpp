// Random access just before the last key frame of a reordered stream: the key
// frame's picture comes out only when the codec is drained, without a time, and
// must not be taken for the wanted frame.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "support/test_util.h"
#include "video/decoder.h"

namespace {

TEST(DecoderLastKeyFrame, FramesBeforeTheLastKeyFrameComeRightOnAFreshDecoder) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    testutil::TempDir dir;
    const std::string file = dir.File("end.avi");
    ASSERT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(64, 48, "30000/1001", 2.002) +
                             " -c:v mpeg4 -bf 2 -g 15 -q:v 3 '" + file + "'"));
    const auto reference = vfix::ReferenceFrames(file, 64, 48);
    ASSERT_EQ(reference.size(), 60u);
    for (int n = 40; n < 60; ++n) {
        video::VideoDecoder dec;
        ASSERT_TRUE(dec.Open(file));
        Bitmap24 b;
        ASSERT_TRUE(dec.GetFrame(n, b)) << n;
        EXPECT_EQ(vfix::ReadCode(b), n);
        EXPECT_LE(vfix::MaxDifference(b, reference[n]), 3) << n;
    }
}

}  // namespace
