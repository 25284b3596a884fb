#include "platform/save_picture.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include "imagefile/LinarBitmap.h"
#include "support/test_util.h"

namespace {

QImage Sample() {
    QImage image(37, 21, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 6, y * 12, (x + y) * 4));
    return image;
}

}  // namespace

// Each extension gets its own format (magic bytes), case ignored; lossless formats
// read back equal; unknown extensions write a bitmap.
TEST(SavePicture, FormatFollowsTheExtension) {
    testutil::TempDir dir;
    const QImage image = Sample();
    struct Case {
        const char* name;
        std::string magic;
        bool lossless;
    } cases[] = {{"a.png", "\x89PNG", true},   {"b.JPG", "\xFF\xD8\xFF", false}, {"c.jpeg", "\xFF\xD8\xFF", false},
                 {"d.bmp", "BM", true},         {"e.gif", "BM", true},            {"noext", "BM", true}};
    for (const Case& c : cases) {
        std::string error;
        const std::string path = dir.File(c.name);
        ASSERT_TRUE(SavePicture(image, path, error)) << c.name << ": " << error;
        EXPECT_EQ(testutil::ReadAll(path).substr(0, c.magic.size()), c.magic) << c.name;
        if (c.lossless) {
            QImage back(QString::fromStdString(path));
            ASSERT_FALSE(back.isNull()) << c.name;
            EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), image) << c.name;
        }
    }
}

// A failed save reports why and leaves the old file as it was.
TEST(SavePicture, FailureKeepsTheOldFile) {
    testutil::TempDir dir;
    std::string error;
    EXPECT_FALSE(SavePicture(Sample(), dir.File("missing/x.png"), error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(SavePicture(QImage(), dir.File("y.png"), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(testutil::ReadAll(dir.File("y.png")).size() > 0);
}

// PNG goes through the image library's writer: IHDR (24 bit), one IDAT whose zlib
// stream starts 78 DA, IEND; transparent areas become white.
TEST(SavePicture, PngThroughTheImageLibrary) {
    testutil::TempDir dir;
    QImage image(5, 4, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixel(1, 1, qRgb(10, 20, 30));
    std::string error;
    ASSERT_TRUE(SavePicture(image, dir.File("t.PNG"), error)) << error;
    const std::string bytes = testutil::ReadAll(dir.File("t.PNG"));
    ASSERT_GT(bytes.size(), 57u);
    EXPECT_EQ(bytes.substr(12, 4), "IHDR");
    EXPECT_EQ(bytes[8 + 8 + 9], 2);  // colour type RGB
    EXPECT_EQ(bytes.substr(37, 6), "IDAT\x78\xDA");
    EXPECT_EQ(bytes.substr(bytes.size() - 8, 4), "IEND");
    const QImage back(QString::fromStdString(dir.File("t.PNG")));
    EXPECT_EQ(back.pixel(1, 1), qRgb(10, 20, 30));
    EXPECT_EQ(back.pixel(4, 3), qRgb(255, 255, 255));
}

// The dialogs' picture filter is the image library's save filter, type for type.
TEST(SavePicture, DialogFilterIsTheLibrarysSaveFilter) {
    std::string qt;
    const std::string vcl = imagefile::kSavePictureFilter;
    size_t at = 0;
    for (int k = 0; at < vcl.size(); ++k) {
        const size_t bar = vcl.find('|', at), next = vcl.find('|', bar + 1);
        qt += (k ? ";;" : "") + vcl.substr(at, bar - at);
        at = next == std::string::npos ? vcl.size() : next + 1;
    }
    EXPECT_EQ(kPictureSaveFilter, qt);
    EXPECT_STREQ(PictureExtension(2), ".jpg");
}
