#include "imagefile/Metafile.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imagefile/DIBTools.h"
#include "imagefile/indexed_picture.h"

namespace imagefile {

namespace {

const char* const kNotAMetafile = "Not an enhanced or placeable Windows metafile";
const char* const kRecordPastEnd = "Metafile record runs past the end of the file";
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmfSignature = 0x464D4520;
constexpr uint32_t kSrcCopy = 0x00CC0020;
constexpr int kMaxObjects = 65536;

inline uint16_t LE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline int16_t S16(const uint8_t* p) { return static_cast<int16_t>(LE16(p)); }
inline uint32_t LE32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
inline int32_t S32(const uint8_t* p) { return static_cast<int32_t>(LE32(p)); }

void Put16(std::string& s, uint32_t v) { s += static_cast<char>(v), s += static_cast<char>(v >> 8); }
void Put32(std::string& s, uint32_t v) { Put16(s, v & 0xFFFF), Put16(s, v >> 16); }

// ---- playback state ----

struct Pen {
    int style = 0;  // 0 solid ... 5 null
    double width = 0;
    uint32_t color = 0;  // 0x00BBGGRR
};
struct Brush {
    int style = 0;  // 0 solid, 1 null, 2 hatched
    uint32_t color = 0xFFFFFF;
    int hatch = 0;
};
struct Object {
    enum Kind { None, PenObject, BrushObject, Other } kind = None;
    Pen pen;
    Brush brush;
};

struct DCState {
    Pen pen;
    Brush brush;
    uint32_t textColor = 0, bkColor = 0xFFFFFF;
    int bkMode = 2, fillMode = 1, mapMode = 1;
    double winOrgX = 0, winOrgY = 0, winExtX = 1, winExtY = 1;
    double vpOrgX = 0, vpOrgY = 0, vpExtX = 1, vpExtY = 1;
    double posX = 0, posY = 0;
};

QColor ToQColor(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// Which slots of the WMF object table are free. A new object takes the lowest free
// slot; three levels of 64-bit words (a bit above set while any bit below it is)
// find it in constant time however full the table is.
class FreeSlots {
public:
    static constexpr int kSlots = kMaxObjects;
    FreeSlots() {
        std::fill(std::begin(words_), std::end(words_), ~uint64_t{0});
        std::fill(std::begin(groups_), std::end(groups_), ~uint64_t{0});
    }
    // The lowest free slot, or -1 when every slot is taken.
    int Lowest() const {
        if (!top_) return -1;
        const int g = std::countr_zero(top_);
        const int w = g * 64 + std::countr_zero(groups_[g]);
        return w * 64 + std::countr_zero(words_[w]);
    }
    void Take(int slot) {
        const int w = slot >> 6, g = w >> 6;
        words_[w] &= ~(uint64_t{1} << (slot & 63));
        if (words_[w]) return;
        groups_[g] &= ~(uint64_t{1} << (w & 63));
        if (!groups_[g]) top_ &= ~(uint64_t{1} << g);
    }
    void Free(int slot) {
        const int w = slot >> 6, g = w >> 6;
        words_[w] |= uint64_t{1} << (slot & 63);
        groups_[g] |= uint64_t{1} << (w & 63);
        top_ |= uint64_t{1} << g;
    }

private:
    uint64_t words_[kSlots / 64];
    uint64_t groups_[kSlots / 4096];
    uint64_t top_ = (uint64_t{1} << (kSlots / 4096)) - 1;
};
static_assert(FreeSlots::kSlots % 4096 == 0 && FreeSlots::kSlots / 4096 <= 64);

// Whether a bitmap in a record is decoded: the record's data must be able to hold
// the pixels its header declares (uncompressed rows, or run-length pairs of at most
// 255 pixels each), and the bitmap must fit a quarter of the size cap (as LoadDIB
// counts it). Gives the bitmap's width and height.
bool BitmapFits(const uint8_t* bmi, size_t bmiSize, size_t bitsSize, int64_t& w, int64_t& h) {
    if (bmiSize < 12) return false;
    int bits;
    uint32_t compression = 0;
    if (LE32(bmi) == 12) {
        w = S16(bmi + 4), h = S16(bmi + 6), bits = LE16(bmi + 10);
    } else {
        if (bmiSize < 40) return false;
        w = S32(bmi + 4), h = S32(bmi + 8), bits = LE16(bmi + 14), compression = LE32(bmi + 16);
    }
    h = h < 0 ? -h : h;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (w < 1 || h < 1 || w * h * (bits <= 8 ? 1 : 3) > kMaxBitmapBytes / 4) return false;
    if (compression == 1 || compression == 2) return w * h <= 255 * static_cast<int64_t>(bitsSize / 2);
    return (w * bits + 31) / 32 * 4 * (h - 1) + (w * bits + 7) / 8 <= static_cast<int64_t>(bitsSize);
}

// Plays records onto a picture, or only measures them. Every drawing operation
// first spends the pixels it may touch (its box clipped to the picture, a
// stroke's length times the pen, a bitmap's decoded pixels); past the budget the
// playing stops with an error. Without an image nothing is painted or decoded, so
// a measuring pass costs time in proportion to the file alone.
class Player {
public:
    Player(QImage* image, TLinearBitmap* canvas, int64_t budget) : canvas_(canvas), budget_(budget) {
        if (image) {
            painter_.begin(image);
            painter_.setRenderHint(QPainter::Antialiasing, false);
            painter_.setRenderHint(QPainter::TextAntialiasing, false);
            painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
        }
        // Text needs the font database, which exists only with an application.
        if (QGuiApplication::instance() != nullptr) {
            font_ = std::make_unique<QFont>();
            font_->setPixelSize(12);
            font_->setStyleStrategy(QFont::NoAntialias);
            if (image) painter_.setFont(*font_);
        }
        stock_[0] = Brush{0, 0xFFFFFF}, stock_[1] = Brush{0, 0xC0C0C0}, stock_[2] = Brush{0, 0x808080};
        stock_[3] = Brush{0, 0x404040}, stock_[4] = Brush{0, 0}, stock_[5] = Brush{1, 0};
    }

    // Reference-device units to picture pixels (EMF), or the window's logical
    // units straight to the picture (WMF, whose window maps onto the picture).
    double baseScaleX = 1, baseScaleY = 1, baseX = 0, baseY = 0;
    double devPerMmX = 96 / 25.4, devPerMmY = 96 / 25.4;
    bool windowToPicture = false;  // WMF
    int pictureW = 1, pictureH = 1;
    DCState s;

    void UpdateTransform() {
        double ax = 1, bx = 0, ay = 1, by = 0;  // logical to reference device
        if (windowToPicture) {
            const double ex = s.winExtX ? s.winExtX : 1, ey = s.winExtY ? s.winExtY : 1;
            ax_ = pictureW / ex, bx_ = -s.winOrgX * ax_;
            ay_ = pictureH / ey, by_ = -s.winOrgY * ay_;
            return;
        }
        switch (s.mapMode) {
            case 2: case 3: case 4: case 5: case 6: {
                // Metric and English modes: fixed units, y upwards.
                const double perUnitMm = s.mapMode == 2 ? 0.1 : s.mapMode == 3 ? 0.01 : s.mapMode == 4 ? 0.254
                                        : s.mapMode == 5 ? 0.0254 : 25.4 / 1440;
                ax = perUnitMm * devPerMmX, ay = -perUnitMm * devPerMmY;
                break;
            }
            case 7: case 8: {
                ax = s.winExtX ? s.vpExtX / s.winExtX : 1, ay = s.winExtY ? s.vpExtY / s.winExtY : 1;
                if (s.mapMode == 7) {  // isotropic: the smaller scale on both axes
                    const double m = std::min(std::fabs(ax), std::fabs(ay));
                    ax = std::copysign(m, ax), ay = std::copysign(m, ay);
                }
                break;
            }
            default: break;
        }
        bx = s.vpOrgX - s.winOrgX * ax, by = s.vpOrgY - s.winOrgY * ay;
        ax_ = ax * baseScaleX, bx_ = bx * baseScaleX + baseX;
        ay_ = ay * baseScaleY, by_ = by * baseScaleY + baseY;
    }

    QPointF Map(double x, double y) const { return {ax_ * x + bx_, ay_ * y + by_}; }
    // Far-off points are pulled in to a range where Qt's integer geometry cannot
    // overflow; they lie outside the picture either way.
    static int Clamp(double v) {
        constexpr double kLimit = 1 << 24;
        return static_cast<int>(std::lround(std::isnan(v) ? 0 : std::clamp(v, -kLimit, kLimit)));
    }
    QPoint MapI(double x, double y) const { return {Clamp(ax_ * x + bx_), Clamp(ay_ * y + by_)}; }

    void ApplyPenBrush(bool fill) {
        if (s.pen.style == 5) {
            painter_.setPen(Qt::NoPen);
        } else {
            const double w = s.pen.width * std::fabs(ax_);
            QPen pen(ToQColor(s.pen.color), w <= 1.5 ? 0 : std::round(w));
            static const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                                  Qt::DashDotDotLine};
            pen.setStyle(s.pen.style >= 0 && s.pen.style < 5 ? styles[s.pen.style] : Qt::SolidLine);
            painter_.setPen(pen);
        }
        if (!fill || s.brush.style == 1) {
            painter_.setBrush(Qt::NoBrush);
        } else if (s.brush.style == 2) {
            static const Qt::BrushStyle hatches[] = {Qt::HorPattern, Qt::VerPattern, Qt::FDiagPattern,
                                                     Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
            painter_.setBrush(QBrush(ToQColor(s.brush.color), hatches[std::clamp(s.brush.hatch, 0, 5)]));
        } else {
            painter_.setBrush(ToQColor(s.brush.color));
        }
    }

    // A box from two corners: the fill covers left..right-1, top..bottom-1.
    QRect Box(double l, double t, double r, double b) const {
        QPoint p = MapI(l, t), q = MapI(r, b);
        return QRect(QPoint(std::min(p.x(), q.x()), std::min(p.y(), q.y())),
                     QPoint(std::max(p.x(), q.x()) - 1, std::max(p.y(), q.y()) - 1));
    }
    void Rectangle(double l, double t, double r, double b) {
        const QRect box = Box(l, t, r, b);
        if (box.isEmpty() || !Shape(box)) return;
        ApplyPenBrush(true);
        // Qt's outline of a rectangle reaches one pixel past its fill.
        const int in = s.pen.style == 5 ? 0 : 1;
        painter_.drawRect(box.adjusted(0, 0, -in, -in));
    }
    void Ellipse(double l, double t, double r, double b) {
        const QRect box = Box(l, t, r, b);
        if (box.isEmpty() || !Shape(box)) return;
        ApplyPenBrush(true);
        painter_.drawEllipse(box);
    }
    void Line(double x, double y) {
        const QPoint from = MapI(s.posX, s.posY), to = MapI(x, y);
        s.posX = x, s.posY = y;
        if (s.pen.style == 5) return;
        Spend(Stroke(from, to, PenPixels()));
        if (!painter_.isActive()) return;
        ApplyPenBrush(false);
        painter_.drawLine(from, to);
    }
    void Polygons(const std::vector<std::vector<QPoint>>& polys, bool closed) {
        // The fill's box, the edges the fill crosses and the pen strokes.
        const int pen = s.pen.style == 5 ? 0 : PenPixels();
        const bool filled = closed && s.brush.style != 1;
        int64_t cost = 0;
        QRect box;
        for (const auto& poly : polys) {
            cost += static_cast<int64_t>(poly.size());
            for (size_t i = 0; i < poly.size(); ++i) {
                const bool last = i + 1 == poly.size();
                if (last && !closed) break;
                cost += Stroke(poly[i], poly[last ? 0 : i + 1], pen + (filled ? 1 : 0));
            }
            if (filled)
                for (const QPoint& pt : poly) box |= QRect(pt, QSize(1, 1));
        }
        Spend(cost + Area(box));
        if (!painter_.isActive()) return;
        ApplyPenBrush(closed);
        if (closed) {
            QPainterPath path;
            path.setFillRule(s.fillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
            for (const auto& poly : polys)
                if (!poly.empty()) path.addPolygon(QPolygonF(QPolygon(QList<QPoint>(poly.begin(), poly.end())))), path.closeSubpath();
            painter_.drawPath(path);
        } else {
            for (const auto& poly : polys)
                if (poly.size() > 1) painter_.drawPolyline(poly.data(), static_cast<int>(poly.size()));
        }
    }
    void Text(double x, double y, const QString& text) {
        if (text.isEmpty() || !font_) return;
        const QPoint at = MapI(x, y);
        const QFontMetrics m(*font_);
        const QRect box(at, QSize(m.horizontalAdvance(text), m.height()));
        Spend(Area(box) + text.size());
        if (!painter_.isActive()) return;
        if (s.bkMode == 2) painter_.fillRect(box, ToQColor(s.bkColor));
        painter_.setPen(ToQColor(s.textColor));
        painter_.drawText(at.x(), at.y() + m.ascent(), text);
    }
    // A packed or split DIB drawn into the logical rectangle; the source rectangle
    // in the DIB's own coordinates (from its bottom row when `fromBottom`).
    void Bitmap(const uint8_t* bmi, size_t bmiSize, const uint8_t* bits, size_t bitsSize, double x, double y, double cx,
                double cy, int sx, int sy, int scx, int scy, bool fromBottom) {
        int64_t bitmapW, bitmapH;
        if (!BitmapFits(bmi, bmiSize, bitsSize, bitmapW, bitmapH)) return;
        const QPoint p = MapI(x, y), q = MapI(x + cx, y + cy);
        const QRect target(QPoint(std::min(p.x(), q.x()), std::min(p.y(), q.y())),
                           QSize(std::abs(q.x() - p.x()), std::abs(q.y() - p.y())));
        if (target.isEmpty() || !target.intersects(QRect(0, 0, pictureW, pictureH))) return;
        Spend(2 * bitmapW * bitmapH + Area(target));
        if (!painter_.isActive()) return;
        // A bitmap inside is not the picture a road opens.
        const TPictureLimit whole(kMaxBitmapBytes);
        TMemStream mem;
        {
            std::string head = "BM";
            Put32(head, static_cast<uint32_t>(14 + bmiSize + bitsSize));
            Put32(head, 0);
            Put32(head, static_cast<uint32_t>(14 + bmiSize));
            mem.Write(head.data(), head.size());
            mem.Write(bmi, bmiSize);
            mem.Write(bits, bitsSize);
            mem.Seek(0);
        }
        std::unique_ptr<TUniDIB> dib;
        TDIBFileInfo info;
        try {
            if (LoadDIB(mem, dib, &info, kMaxBitmapBytes / 4) != 0) return;
        } catch (const ELinearBitmap&) {
            return;  // a bitmap over the cap is left out
        }
        mem.Clear();
        const int bw = dib->Width(), bh = dib->Height();
        if (fromBottom) sy = static_cast<int>(std::clamp<int64_t>(int64_t{bh} - sy - scy, -(1 << 24), 1 << 24));
        // The part of the source inside the bitmap.
        const QRect inside = QRect(0, 0, bw, bh).intersected(QRect(std::clamp(sx, -(1 << 24), 1 << 24),
                                                                   std::clamp(sy, -(1 << 24), 1 << 24),
                                                                   std::clamp(scx, 0, 1 << 24), std::clamp(scy, 0, 1 << 24)));
        if (inside.isEmpty()) return;
        const bool flipX = q.x() < p.x(), flipY = q.y() < p.y();
        const TDIBRows rows(*dib, info.Masks);
        std::vector<uint8_t> row(static_cast<size_t>(bw) * 3);
        if (target.size() == inside.size() && !flipX && !flipY && canvas_) {
            // One to one: the rows go straight into the picture.
            const QRect clip = target.intersected(QRect(0, 0, canvas_->Width, canvas_->Height));
            for (int y = clip.top(); y <= clip.bottom(); ++y) {
                rows.Row(inside.top() + y - target.top(), row.data());
                std::memcpy(canvas_->ScanLine(y) + 3 * clip.left(), row.data() + 3 * (inside.left() + clip.left() - target.left()),
                            static_cast<size_t>(clip.width()) * 3);
            }
            return;
        }
        // Stretched or mirrored: the source part as a picture of its own.
        TLinearBitmap part;
        try {
            part.New(inside.width(), inside.height(), pf24bit);
        } catch (const ELinearBitmap&) {
            return;
        }
        for (int y = 0; y < part.Height; ++y) {
            rows.Row(inside.top() + y, row.data());
            std::memcpy(part.ScanLine(y), row.data() + 3 * inside.left(), static_cast<size_t>(part.BytesPerLine));
        }
        dib.reset();
        QImage source(part.Map, part.Width, part.Height, part.BytesPerLine, QImage::Format_BGR888);
        if (flipX || flipY) source = source.mirrored(flipX, flipY);
        if (!source.isNull()) painter_.drawImage(target, source);
    }

    // Objects.
    std::vector<Object> objects;
    Brush stock_[6];
    std::vector<DCState> saved;

    void Select(const Object& o) {
        if (o.kind == Object::PenObject) s.pen = o.pen;
        if (o.kind == Object::BrushObject) s.brush = o.brush;
    }
    void SelectStock(uint32_t index) {
        if (index <= 5) s.brush = stock_[index];
        else if (index == 6) s.pen = Pen{0, 0, 0xFFFFFF};
        else if (index == 7) s.pen = Pen{0, 0, 0};
        else if (index == 8) s.pen = Pen{5, 0, 0};
    }
    // WMF: a new object in the lowest free slot (none when the table is full).
    void CreateObject(const Object& o) {
        const int slot = free_.Lowest();
        if (slot < 0) return;
        free_.Take(slot);
        if (static_cast<size_t>(slot) >= objects.size()) objects.resize(static_cast<size_t>(slot) + 1);
        objects[static_cast<size_t>(slot)] = o;
    }
    void DeleteObject(uint16_t slot) {
        if (slot >= objects.size()) return;
        objects[slot] = Object();
        free_.Free(slot);
    }
    void Save() {
        if (saved.size() < 4096) saved.push_back(s);
    }
    void Restore(int n) {
        // Negative: that many levels back; positive: the level of that number.
        const int64_t level = n < 0 ? static_cast<int64_t>(saved.size()) + n : n - 1;
        if (level < 0 || level >= static_cast<int64_t>(saved.size())) return;
        s = saved[static_cast<size_t>(level)];
        saved.resize(static_cast<size_t>(level));
        UpdateTransform();
    }

private:
    void Spend(int64_t pixels) {
        spent_ += pixels;
        if (spent_ > budget_)
            throw ELinearBitmap("Metafile too costly to draw: its records would paint more than " + std::to_string(budget_) +
                                " pixels");
    }
    int64_t Area(const QRect& r) const {
        const QRect c = r.intersected(QRect(0, 0, pictureW, pictureH));
        return c.isEmpty() ? 0 : int64_t{c.width()} * c.height();
    }
    // The pen's width in pixels, at least 1.
    int PenPixels() const {
        const double w = s.pen.width * std::fabs(ax_);
        if (!(w > 1.5)) return 1;
        return w >= (1 << 20) ? 1 << 20 : static_cast<int>(std::lround(w));
    }
    // A stroke of `pen` pixels along a segment whose ends are pulled into the
    // picture (or as far out as the pen reaches).
    int64_t Stroke(QPoint a, QPoint b, int pen) const {
        if (pen <= 0) return 0;
        auto cx = [&](int v) { return static_cast<int64_t>(std::clamp(v, -pen - 1, pictureW + pen + 1)); };
        auto cy = [&](int v) { return static_cast<int64_t>(std::clamp(v, -pen - 1, pictureH + pen + 1)); };
        return (std::abs(cx(a.x()) - cx(b.x())) + std::abs(cy(a.y()) - cy(b.y())) + 1) * pen;
    }
    // A filled and outlined box: spends its pixels; false when only measuring.
    bool Shape(const QRect& box) {
        if (s.pen.style == 5 && s.brush.style == 1) return painter_.isActive();  // nothing is painted
        const int pen = s.pen.style == 5 ? 0 : PenPixels();
        Spend(Area(box.adjusted(-pen, -pen, pen, pen)));
        return painter_.isActive();
    }

    TLinearBitmap* canvas_;  // the picture under the painter, for one-to-one bitmaps
    QPainter painter_;
    std::unique_ptr<QFont> font_;
    FreeSlots free_;
    int64_t budget_, spent_ = 0;
    double ax_ = 1, bx_ = 0, ay_ = 1, by_ = 0;
};

// ---- EMF ----

struct Reader {
    const uint8_t* p;
    size_t n;
    bool Has(size_t at, size_t count) const { return at <= n && count <= n - at; }
};

void PlayEnhanced(const std::string& data, Player& pl) {
    const auto* f = reinterpret_cast<const uint8_t*>(data.data());
    const size_t size = data.size();
    const int32_t frameL = S32(f + 24), frameT = S32(f + 28);
    const int32_t devX = S32(f + 72), devY = S32(f + 76), mmX = S32(f + 80), mmY = S32(f + 84);
    if (devX > 0 && devY > 0 && mmX > 0 && mmY > 0) pl.devPerMmX = double(devX) / mmX, pl.devPerMmY = double(devY) / mmY;
    // The frame in reference-device pixels maps onto the picture.
    const double fx0 = frameL / 100.0 * pl.devPerMmX, fy0 = frameT / 100.0 * pl.devPerMmY;
    const double fx1 = S32(f + 32) / 100.0 * pl.devPerMmX, fy1 = S32(f + 36) / 100.0 * pl.devPerMmY;
    pl.baseScaleX = fx1 > fx0 ? pl.pictureW / (fx1 - fx0) : 1;
    pl.baseScaleY = fy1 > fy0 ? pl.pictureH / (fy1 - fy0) : 1;
    pl.baseX = -fx0 * pl.baseScaleX, pl.baseY = -fy0 * pl.baseScaleY;
    const uint32_t handles = std::min<uint32_t>(LE16(f + 56), kMaxObjects);
    pl.objects.assign(std::max<uint32_t>(handles, 1), Object());
    pl.UpdateTransform();

    for (size_t at = 0; at + 8 <= size;) {
        const uint32_t type = LE32(f + at), length = LE32(f + at + 4);
        const uint8_t* r = f + at;
        const Reader rec{r, length};
        at += length;
        auto i32 = [&](size_t o) { return rec.Has(o, 4) ? S32(r + o) : 0; };
        auto u32 = [&](size_t o) { return rec.Has(o, 4) ? LE32(r + o) : 0u; };
        switch (type) {
            case 14: return;  // EOF
            case 9: pl.s.winExtX = i32(8), pl.s.winExtY = i32(12), pl.UpdateTransform(); break;
            case 10: pl.s.winOrgX = i32(8), pl.s.winOrgY = i32(12), pl.UpdateTransform(); break;
            case 11: pl.s.vpExtX = i32(8), pl.s.vpExtY = i32(12), pl.UpdateTransform(); break;
            case 12: pl.s.vpOrgX = i32(8), pl.s.vpOrgY = i32(12), pl.UpdateTransform(); break;
            case 17: pl.s.mapMode = i32(8), pl.UpdateTransform(); break;
            case 18: pl.s.bkMode = i32(8); break;
            case 19: pl.s.fillMode = i32(8); break;
            case 24: pl.s.textColor = u32(8) & 0xFFFFFF; break;
            case 25: pl.s.bkColor = u32(8) & 0xFFFFFF; break;
            case 27: pl.s.posX = i32(8), pl.s.posY = i32(12); break;
            case 54: pl.Line(i32(8), i32(12)); break;
            case 33: pl.Save(); break;
            case 34: pl.Restore(i32(8)); break;
            case 43: pl.Rectangle(i32(8), i32(12), i32(16), i32(20)); break;
            case 42: pl.Ellipse(i32(8), i32(12), i32(16), i32(20)); break;
            case 37: {
                const uint32_t ih = u32(8);
                if (ih & 0x80000000u) pl.SelectStock(ih & 0x7FFFFFFF);
                else if (ih < pl.objects.size()) pl.Select(pl.objects[ih]);
                break;
            }
            case 40:
                if (u32(8) < pl.objects.size()) pl.objects[u32(8)] = Object();
                break;
            case 38: case 39: case 95: case 82: case 49: case 93: case 94: {
                const uint32_t ih = u32(8);
                if (ih >= pl.objects.size() || ih == 0) break;
                Object o;
                if (type == 38) o.kind = Object::PenObject, o.pen = Pen{i32(12) & 0x0F, double(i32(16)), u32(24) & 0xFFFFFF};
                else if (type == 95) o.kind = Object::PenObject, o.pen = Pen{i32(28) & 0x0F, double(i32(32)), u32(40) & 0xFFFFFF};
                else if (type == 39) o.kind = Object::BrushObject, o.brush = Brush{i32(12), u32(16) & 0xFFFFFF, i32(20)};
                else o.kind = Object::Other;
                pl.objects[ih] = o;
                break;
            }
            case 3: case 4: case 86: case 87: case 8: case 91: case 90: case 7: {
                const bool poly16 = type >= 86;
                const size_t pt = poly16 ? 4 : 8;
                const bool multi = type == 8 || type == 91 || type == 7 || type == 90;
                std::vector<std::vector<QPoint>> polys;
                size_t o = 24;
                std::vector<uint32_t> counts;
                const uint32_t total = u32(multi ? 28 : 24);
                if (multi) {
                    const uint32_t n = u32(24);
                    o = 32;
                    if (!rec.Has(o, size_t{n} * 4)) break;
                    for (uint32_t k = 0; k < n; ++k) counts.push_back(LE32(r + o + 4 * k));
                    o += size_t{n} * 4;
                } else {
                    counts.push_back(total);
                    o = 28;
                }
                if (!rec.Has(o, size_t{total} * pt)) break;
                uint64_t used = 0;
                for (uint32_t c : counts) {
                    if (used + c > total) break;
                    std::vector<QPoint> poly;
                    poly.reserve(c);
                    for (uint32_t k = 0; k < c; ++k, o += pt)
                        poly.push_back(poly16 ? pl.MapI(S16(r + o), S16(r + o + 2)) : pl.MapI(S32(r + o), S32(r + o + 4)));
                    used += c;
                    polys.push_back(std::move(poly));
                }
                pl.Polygons(polys, type == 3 || type == 86 || type == 8 || type == 91);
                break;
            }
            case 83: case 84: {  // EXTTEXTOUTA / W
                const int32_t x = i32(36), y = i32(40);
                const uint32_t count = u32(44), offset = u32(48);
                const size_t unit = type == 84 ? 2 : 1;
                if (count > 65536 || !rec.Has(offset, size_t{count} * unit)) break;
                const QString text = type == 84 ? QString::fromUtf16(reinterpret_cast<const char16_t*>(r + offset), count)
                                                : QString::fromLatin1(reinterpret_cast<const char*>(r + offset), count);
                pl.Text(x, y, text);
                break;
            }
            case 81: {  // STRETCHDIBITS
                const uint32_t offBmi = u32(48), cbBmi = u32(52), offBits = u32(56), cbBits = u32(60);
                if (!rec.Has(offBmi, cbBmi) || !rec.Has(offBits, cbBits) || length < 80) break;
                pl.Bitmap(r + offBmi, cbBmi, r + offBits, cbBits, i32(24), i32(28), i32(72), i32(76), i32(32), i32(36),
                          i32(40), i32(44), true);
                break;
            }
            case 80: {  // SETDIBITSTODEVICE
                const uint32_t offBmi = u32(48), cbBmi = u32(52), offBits = u32(56), cbBits = u32(60);
                if (!rec.Has(offBmi, cbBmi) || !rec.Has(offBits, cbBits) || length < 76) break;
                pl.Bitmap(r + offBmi, cbBmi, r + offBits, cbBits, i32(24), i32(28), i32(40), i32(44), i32(32), i32(36),
                          i32(40), i32(44), true);
                break;
            }
            case 76: case 77: {  // BITBLT, STRETCHBLT
                const size_t base = 100;
                const uint32_t offBmi = u32(84), cbBmi = u32(88), offBits = u32(92), cbBits = u32(96);
                if (length < base || cbBmi == 0 || !rec.Has(offBmi, cbBmi) || !rec.Has(offBits, cbBits)) break;
                const int32_t cx = i32(32), cy = i32(36);
                const int32_t scx = type == 77 && length >= 108 ? i32(100) : cx, scy = type == 77 && length >= 108 ? i32(104) : cy;
                pl.Bitmap(r + offBmi, cbBmi, r + offBits, cbBits, i32(24), i32(28), cx, cy, i32(44), i32(48), scx, scy,
                          false);
                break;
            }
            default: break;
        }
    }
}

// ---- WMF ----

// A packed DIB's header and colour table size, or 0 when it makes no sense.
size_t PackedBmiSize(const uint8_t* p, size_t n) {
    if (n < 12) return 0;
    const uint32_t header = LE32(p);
    if (header == 12) {
        const int bits = LE16(p + 10);
        const size_t size = 12 + (bits <= 8 ? 3u << bits : 0);
        return size <= n ? size : 0;
    }
    if (header < 40 || header > 124 || n < 40) return 0;
    const int bits = LE16(p + 14);
    const uint32_t compression = LE32(p + 16), used = LE32(p + 32);
    size_t colours = used ? std::min<uint32_t>(used, 256) : (bits <= 8 ? 1u << bits : 0);
    size_t size = header + 4 * colours + (header == 40 && compression == 3 ? 12 : 0);
    return size <= n ? size : 0;
}

void PlayPlaceable(const std::string& data, Player& pl, int16_t left, int16_t top, int16_t right, int16_t bottom) {
    const auto* f = reinterpret_cast<const uint8_t*>(data.data());
    const size_t size = data.size();
    pl.windowToPicture = true;
    pl.s.winOrgX = left, pl.s.winOrgY = top, pl.s.winExtX = right - left, pl.s.winExtY = bottom - top;
    pl.UpdateTransform();
    const size_t headerWords = LE16(f + 22 + 2);
    for (size_t at = 22 + 2 * headerWords; at + 6 <= size;) {
        const uint64_t words = LE32(f + at);
        const uint16_t fn = LE16(f + at + 4);
        const uint8_t* r = f + at + 6;
        const Reader rec{r, static_cast<size_t>(words * 2 - 6)};
        at += static_cast<size_t>(words * 2);
        auto w = [&](size_t k) { return rec.Has(2 * k, 2) ? S16(r + 2 * k) : int16_t(0); };
        auto colour = [&](size_t k) { return rec.Has(2 * k, 4) ? LE32(r + 2 * k) & 0xFFFFFF : 0u; };
        auto create = [&](const Object& o) { pl.CreateObject(o); };
        switch (fn) {
            case 0x0000: return;
            case 0x001E: pl.Save(); break;
            case 0x0127: pl.Restore(w(0)); break;
            case 0x0102: pl.s.bkMode = w(0); break;
            case 0x0103: pl.s.mapMode = w(0); break;
            case 0x0106: pl.s.fillMode = w(0); break;
            case 0x0201: pl.s.bkColor = colour(0); break;
            case 0x0209: pl.s.textColor = colour(0); break;
            case 0x020B: pl.s.winOrgY = w(0), pl.s.winOrgX = w(1), pl.UpdateTransform(); break;
            case 0x020C: pl.s.winExtY = w(0), pl.s.winExtX = w(1), pl.UpdateTransform(); break;
            case 0x0214: pl.s.posY = w(0), pl.s.posX = w(1); break;
            case 0x0213: pl.Line(w(1), w(0)); break;
            case 0x041B: pl.Rectangle(w(3), w(2), w(1), w(0)); break;
            case 0x0418: pl.Ellipse(w(3), w(2), w(1), w(0)); break;
            case 0x0324: case 0x0325: case 0x0538: {
                std::vector<std::vector<QPoint>> polys;
                std::vector<int> counts;
                size_t k = 0;
                if (fn == 0x0538) {
                    const int n = w(0);
                    for (k = 1; k <= size_t(std::max(0, n)); ++k) counts.push_back(std::max<int>(0, w(k)));
                } else {
                    counts.push_back(std::max<int>(0, w(0)));
                    k = 1;
                }
                for (int c : counts) {
                    if (!rec.Has(2 * k, size_t(c) * 4)) break;
                    std::vector<QPoint> poly;
                    for (int i = 0; i < c; ++i, k += 2) poly.push_back(pl.MapI(w(k), w(k + 1)));
                    polys.push_back(std::move(poly));
                }
                pl.Polygons(polys, fn != 0x0325);
                break;
            }
            case 0x012D: {
                const uint16_t i = static_cast<uint16_t>(w(0));
                if (i < pl.objects.size()) pl.Select(pl.objects[i]);
                break;
            }
            case 0x01F0: pl.DeleteObject(static_cast<uint16_t>(w(0))); break;
            case 0x02FA: {
                Object o;
                o.kind = Object::PenObject;
                o.pen = Pen{w(0) & 0x0F, double(w(1)), colour(3)};
                create(o);
                break;
            }
            case 0x02FC: {
                Object o;
                o.kind = Object::BrushObject;
                o.brush = Brush{w(0), colour(1), w(3)};
                create(o);
                break;
            }
            case 0x02FB: case 0x00F7: case 0x01F9: case 0x0142: case 0x06FF: {
                Object o;
                o.kind = Object::Other;
                create(o);
                break;
            }
            case 0x0521: {  // TEXTOUT: count, string, y, x
                const int count = std::max<int>(0, w(0));
                const size_t words = (size_t(count) + 1) / 2;
                if (!rec.Has(2, size_t(count)) || !rec.Has(2 + 2 * words, 4)) break;
                pl.Text(w(2 + words), w(1 + words), QString::fromLatin1(reinterpret_cast<const char*>(r + 2), count));
                break;
            }
            case 0x0A32: {  // EXTTEXTOUT: y, x, count, options, [rect], string
                const int count = std::max<int>(0, w(2));
                const size_t offset = 8 + ((w(3) & 0x6) ? 8 : 0);
                if (!rec.Has(offset, size_t(count))) break;
                pl.Text(w(1), w(0), QString::fromLatin1(reinterpret_cast<const char*>(r + offset), count));
                break;
            }
            case 0x0F43: case 0x0B41: case 0x0940: {
                // STRETCHDIB: rop, usage, source h, w, y, x, destination h, w, y, x, DIB;
                // DIBSTRETCHBLT: the same without usage; DIBBITBLT: rop, source y, x,
                // height, width, destination y, x.
                const size_t params = fn == 0x0F43 ? 22 : fn == 0x0B41 ? 20 : 16;
                if (!rec.Has(0, params)) break;
                const uint8_t* dib = r + params;
                const size_t dibSize = rec.n - params;
                const size_t bmi = PackedBmiSize(dib, dibSize);
                if (!bmi) break;  // the form without a bitmap fills with the brush: not drawn
                const size_t k = fn == 0x0F43 ? 3 : 2;
                int sx, sy, scx, scy, dx, dy, dcx, dcy;
                if (fn == 0x0940) {
                    sy = w(2), sx = w(3), dcy = scy = w(4), dcx = scx = w(5), dy = w(6), dx = w(7);
                } else {
                    scy = w(k), scx = w(k + 1), sy = w(k + 2), sx = w(k + 3), dcy = w(k + 4), dcx = w(k + 5), dy = w(k + 6),
                    dx = w(k + 7);
                }
                pl.Bitmap(dib, bmi, dib + bmi, dibSize - bmi, dx, dy, dcx, dcy, sx, sy, scx, scy, fn == 0x0F43);
                break;
            }
            default: break;
        }
    }
}

}  // namespace

void TMetafile::LoadFromStream(TBaseStream& stream) {
    {
        TMemStream mem;
        if (CopyStream(stream, &mem, kMaxBridgedStream + 1) > kMaxBridgedStream)
            throw ELinearBitmap("Metafile larger than 100 MB");
        data_ = mem.ToString();
    }
    const auto* f = reinterpret_cast<const uint8_t*>(data_.data());
    const size_t size = data_.size();
    records_ = 0;
    if (size >= 88 && LE32(f) == 1 && LE32(f + 40) == kEmfSignature) {
        enhanced_ = true;
        for (size_t at = 0; at < size;) {
            if (size - at < 8) throw ELinearBitmap(kRecordPastEnd);
            const uint32_t type = LE32(f + at), length = LE32(f + at + 4);
            if (length < 8 || length > size - at) throw ELinearBitmap(kRecordPastEnd);
            at += length;
            ++records_;
            if (type == 14) break;
        }
        const double w = (S32(f + 32) - double(S32(f + 24))) * 96 / 2540, h = (S32(f + 36) - double(S32(f + 28))) * 96 / 2540;
        if (!(w >= 0.5 && h >= 0.5 && w < 1e9 && h < 1e9)) throw ELinearBitmap(kInvalidBitmapSize);
        width_ = static_cast<int>(std::lround(w)), height_ = static_cast<int>(std::lround(h));
        return;
    }
    if (size >= 22 + 18 && LE32(f) == kPlaceableKey) {
        enhanced_ = false;
        const int inch = LE16(f + 14);
        const double w = (double(S16(f + 10)) - S16(f + 6)) * 96 / std::max(inch, 1);
        const double h = (double(S16(f + 12)) - S16(f + 8)) * 96 / std::max(inch, 1);
        if (inch == 0 || !(w >= 0.5 && h >= 0.5)) throw ELinearBitmap(kInvalidBitmapSize);
        const size_t headerWords = LE16(f + 22 + 2);
        if (headerWords < 9 || 22 + 2 * headerWords > size) throw ELinearBitmap(kRecordPastEnd);
        for (size_t at = 22 + 2 * headerWords; at < size;) {
            if (size - at < 6) throw ELinearBitmap(kRecordPastEnd);
            const uint64_t words = LE32(f + at);
            if (words < 3 || words * 2 > size - at) throw ELinearBitmap(kRecordPastEnd);
            const uint16_t fn = LE16(f + at + 4);
            at += static_cast<size_t>(words * 2);
            ++records_;
            if (fn == 0) break;
        }
        width_ = static_cast<int>(std::lround(w)), height_ = static_cast<int>(std::lround(h));
        return;
    }
    throw ELinearBitmap(kNotAMetafile);
}

int64_t TMetafile::PaintBudget() const { return 16 * int64_t{width_} * height_ + (int64_t{1} << 28); }

void TMetafile::Play(QImage* image, TLinearBitmap* canvas) const {
    Player player(image, canvas, PaintBudget());
    player.pictureW = width_, player.pictureH = height_;
    const auto* f = reinterpret_cast<const uint8_t*>(data_.data());
    if (enhanced_) PlayEnhanced(data_, player);
    else PlayPlaceable(data_, player, S16(f + 6), S16(f + 8), S16(f + 10), S16(f + 12));
}

void TMetafile::Draw(TLinearBitmap& bitmap, int64_t maxPictureBytes) const {
    CheckPictureBudget(width_, height_, 3, maxPictureBytes);
    // A measuring pass first: a file that paints more than its budget is refused
    // before the picture is allocated.
    Play(nullptr, nullptr);
    TLinearBitmap out;
    out.New(width_, height_, pf24bit);
    std::memset(out.Map, 0xFF, static_cast<size_t>(out.Size));
    {
        // The painter draws straight into the picture's rows: no second buffer.
        QImage view(out.Map, out.Width, out.Height, out.BytesPerLine, QImage::Format_BGR888);
        Play(&view, &out);
    }
    bitmap.TakeOver(out);
}

namespace {

// The DIB a picture is written as: 8 bit with its palette, every other format 24
// bit (16-bit grey by the high byte, 32 bit by its first three bytes).
struct DibLayout {
    int bits;
    size_t stride, bmiSize, bitsSize;
};

DibLayout LayoutOf(const TLinearBitmap& picture) {
    if (!picture.Present) throw ELinearBitmap(kInvalidBitmapSize);
    const int f = picture.PixelFormat;
    if (f != pf8bit && f != pf16bit && f != pf24bit && f != pf32bit) throw ELinearBitmap(kUnsupportedPixelFormat);
    DibLayout d;
    d.bits = f == pf8bit ? 8 : 24;
    d.stride = (size_t(picture.Width) * d.bits + 31) / 32 * 4;
    d.bmiSize = 40 + (d.bits == 8 ? 1024 : 0);
    d.bitsSize = d.stride * size_t(picture.Height);
    return d;
}

// A file the reader would refuse is not written at all.
void CheckReadBack(const TLinearBitmap& picture, size_t fileSize) {
    if (fileSize > static_cast<size_t>(kMaxBridgedStream))
        throw ELinearBitmap("Picture too large for a metafile: " + std::to_string(picture.Width) + " x " +
                            std::to_string(picture.Height) + " pixels make a file over 100 MB, which could not be read back");
}

// The information header, the palette for 8 bit and the bottom-up rows padded to 4
// bytes, converted row by row.
void AppendPackedDib(std::string& d, const TLinearBitmap& picture, const DibLayout& layout) {
    const int w = picture.Width, h = picture.Height;
    Put32(d, 40), Put32(d, static_cast<uint32_t>(w)), Put32(d, static_cast<uint32_t>(h)), Put16(d, 1), Put16(d, layout.bits);
    Put32(d, 0), Put32(d, static_cast<uint32_t>(layout.bitsSize)), Put32(d, 0), Put32(d, 0);
    Put32(d, layout.bits == 8 ? 256 : 0), Put32(d, 0);
    if (layout.bits == 8)
        for (int i = 0; i < 256; ++i) d.append(reinterpret_cast<const char*>(picture.Palette + 3 * i), 3), d += '\0';
    for (int y = h - 1; y >= 0; --y) {
        const size_t at = d.size();
        d.append(layout.stride, '\0');
        auto* row = reinterpret_cast<uint8_t*>(d.data() + at);
        const uint8_t* s = picture.ScanLine(y);
        switch (picture.PixelFormat) {
            case pf8bit: case pf24bit: std::memcpy(row, s, static_cast<size_t>(picture.BytesPerLine)); break;
            case pf16bit:
                for (int x = 0; x < w; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = s[2 * x + 1];
                break;
            default:
                for (int x = 0; x < w; ++x) std::memcpy(row + 3 * x, s + 4 * x, 3);
                break;
        }
    }
}

}  // namespace

std::string TMetafile::MakeEnhanced(const TLinearBitmap& picture) {
    const DibLayout dib = LayoutOf(picture);
    const int w = picture.Width, h = picture.Height;
    const size_t stretchSize = 80 + dib.bmiSize + dib.bitsSize;
    const size_t total = 108 + 12 + stretchSize + 20;
    CheckReadBack(picture, total);
    std::string f;
    f.reserve(total);
    // Header: bounds in pixels, frame in 0.01 mm at 96 pixels per inch, a 96 dpi
    // reference device of 960 pixels to 254 mm.
    Put32(f, 1), Put32(f, 108);
    Put32(f, 0), Put32(f, 0), Put32(f, static_cast<uint32_t>(w - 1)), Put32(f, static_cast<uint32_t>(h - 1));
    Put32(f, 0), Put32(f, 0), Put32(f, static_cast<uint32_t>(std::lround(w * 2540.0 / 96))),
        Put32(f, static_cast<uint32_t>(std::lround(h * 2540.0 / 96)));
    Put32(f, kEmfSignature), Put32(f, 0x10000), Put32(f, static_cast<uint32_t>(total)), Put32(f, 4);
    Put16(f, 1), Put16(f, 0), Put32(f, 0), Put32(f, 0), Put32(f, 0);
    Put32(f, 960), Put32(f, 960), Put32(f, 254), Put32(f, 254);
    Put32(f, 0), Put32(f, 0), Put32(f, 0), Put32(f, 254000), Put32(f, 254000);
    Put32(f, 21), Put32(f, 12), Put32(f, 3);  // SETSTRETCHBLTMODE 3
    Put32(f, 81), Put32(f, static_cast<uint32_t>(stretchSize));
    Put32(f, 0), Put32(f, 0), Put32(f, static_cast<uint32_t>(w - 1)), Put32(f, static_cast<uint32_t>(h - 1));
    Put32(f, 0), Put32(f, 0), Put32(f, 0), Put32(f, 0), Put32(f, static_cast<uint32_t>(w)), Put32(f, static_cast<uint32_t>(h));
    Put32(f, 80), Put32(f, static_cast<uint32_t>(dib.bmiSize)), Put32(f, static_cast<uint32_t>(80 + dib.bmiSize)),
        Put32(f, static_cast<uint32_t>(dib.bitsSize));
    Put32(f, 0), Put32(f, kSrcCopy), Put32(f, static_cast<uint32_t>(w)), Put32(f, static_cast<uint32_t>(h));
    AppendPackedDib(f, picture, dib);
    Put32(f, 14), Put32(f, 20), Put32(f, 0), Put32(f, 16), Put32(f, 20);  // EOF
    return f;
}

std::string TMetafile::MakePlaceable(const TLinearBitmap& picture) {
    const DibLayout dib = LayoutOf(picture);
    const int w = picture.Width, h = picture.Height;
    if (w > 32767 || h > 32767) throw ELinearBitmap("Picture too large for a Windows metafile: at most 32,767 pixels a side");
    const size_t dibSize = dib.bmiSize + dib.bitsSize;
    const size_t stretchWords = 3 + 11 + dibSize / 2;
    const size_t recordBytes = 10 + 10 + 8 + 2 * stretchWords + 6;
    const size_t total = 22 + 18 + recordBytes;
    CheckReadBack(picture, total);
    std::string f;
    f.reserve(total);
    Put32(f, kPlaceableKey), Put16(f, 0);
    Put16(f, 0), Put16(f, 0), Put16(f, static_cast<uint32_t>(w)), Put16(f, static_cast<uint32_t>(h));
    Put16(f, 96), Put32(f, 0);
    uint16_t sum = 0;
    for (int i = 0; i < 10; ++i) sum ^= LE16(reinterpret_cast<const uint8_t*>(f.data()) + 2 * i);
    Put16(f, sum);
    Put16(f, 1), Put16(f, 9), Put16(f, 0x300);
    Put32(f, static_cast<uint32_t>(9 + recordBytes / 2));
    Put16(f, 0), Put32(f, static_cast<uint32_t>(stretchWords)), Put16(f, 0);
    auto record = [&](uint32_t words, uint16_t fn) { Put32(f, words), Put16(f, fn); };
    record(5, 0x020B), Put16(f, 0), Put16(f, 0);  // window origin (y, x)
    record(5, 0x020C), Put16(f, static_cast<uint32_t>(h)), Put16(f, static_cast<uint32_t>(w));
    record(4, 0x0107), Put16(f, 3);  // stretch mode 3
    record(static_cast<uint32_t>(stretchWords), 0x0F43);
    Put32(f, kSrcCopy), Put16(f, 0);
    Put16(f, static_cast<uint32_t>(h)), Put16(f, static_cast<uint32_t>(w)), Put16(f, 0), Put16(f, 0);
    Put16(f, static_cast<uint32_t>(h)), Put16(f, static_cast<uint32_t>(w)), Put16(f, 0), Put16(f, 0);
    AppendPackedDib(f, picture, dib);
    record(3, 0x0000);
    return f;
}

}  // namespace imagefile
