#pragma once
// Windows metafiles without Windows: enhanced metafiles (EMF) and placeable
// Windows metafiles (WMF), read, played onto a picture and written.
//
// Reading keeps the file's records; the picture size is the EMF frame (0.01 mm
// units) or the WMF bounding box (its units per inch) at 96 pixels per inch.
// Playing draws onto white with QPainter, without antialiasing: window and
// viewport origin and extent, map mode, save and restore DC, pens (solid and
// dashed, null), solid, hatched and null brushes, stock objects, select and delete
// object, background and text colour and mode, fill mode, move/line, rectangle,
// ellipse, polygon, polyline, polypolygon, text output with the default font (only
// where a Qt application exists: the font database needs one), and
// the DIB records (EMF STRETCHDIBITS, BITBLT, STRETCHBLT, SETDIBITSTODEVICE; WMF
// STRETCHDIB, DIBSTRETCHBLT, DIBBITBLT), whose bitmaps LoadDIB decodes; every
// other record is skipped. A bitmap is drawn by nearest pixels into its
// destination rectangle rounded to whole pixels, so a record covering the picture
// reproduces its bitmap exactly.
//
// Failures raise ELinearBitmap naming the problem: a file that is neither kind
// ("Not an enhanced or placeable Windows metafile"), a record running past the end
// of the file ("Metafile record runs past the end of the file"), a file over
// 100 MB, a picture over the size cap, records that would paint more than
// PaintBudget pixels ("Metafile too costly to draw: ..."). Bitmaps inside records
// are bounded by a quarter of the size cap and by their record: a run-length
// bitmap declaring more pixels than its data can code (255 per two bytes) is left
// out unread.
//
// Work is bounded by the file and the picture: a measuring pass, which paints and
// decodes nothing, adds up what every drawing record may touch (its box clipped to
// the picture, a stroke's length times the pen, a bitmap's pixels) and refuses
// the file before the picture is allocated; the WMF object table (65,536 slots)
// finds the lowest free slot in constant time.
//
// Writing: an EMF of the header, SETSTRETCHBLTMODE 3, one STRETCHDIBITS of the
// picture (8 bit with its palette, else 24 bit) and EOF, or a placeable WMF (96
// units per inch) with window origin and extent, stretch mode 3, one STRETCHDIB
// and EOF; both read back at exactly their size and pixels. A picture whose file
// would pass the reader's 100 MB is refused before anything is built.
#include <cstdint>
#include <string>

class QImage;

#include "imagefile/LinarBitmap.h"

namespace imagefile {

class TMetafile {
public:
    // Reads the whole stream.
    void LoadFromStream(TBaseStream& stream);
    bool Enhanced() const { return enhanced_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int RecordCount() const { return records_; }
    // Plays the records onto a white 24-bit picture of Width x Height.
    void Draw(TLinearBitmap& bitmap, int64_t maxPictureBytes = kMaxBitmapBytes) const;
    // The pixels the records may paint in all: sixteen times the picture and 256 M
    // more (a small picture of many records).
    int64_t PaintBudget() const;

    // The picture as a metafile (formats 3 and 6; others through 24 bit).
    static std::string MakeEnhanced(const TLinearBitmap& picture);
    static std::string MakePlaceable(const TLinearBitmap& picture);

private:
    // Without an image the records are only measured against the budget.
    void Play(QImage* image, TLinearBitmap* canvas) const;
    std::string data_;
    bool enhanced_ = false;
    int width_ = 0, height_ = 0;
    int records_ = 0;
};

}  // namespace imagefile
