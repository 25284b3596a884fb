#include "video/picture_convert.h"

#include <cstring>
#include <utility>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace video {

namespace {
// The ffmpeg tool's default flags, fixed: the same picture on every run.
constexpr int kSwsFlags = SWS_BICUBIC;
}  // namespace

DecodedPicture::~DecodedPicture() { Release(); }

DecodedPicture::DecodedPicture(DecodedPicture&& other) noexcept
    : frame_(std::exchange(other.frame_, nullptr)), width_(other.width_), height_(other.height_),
      name_(std::move(other.name_)) {}

DecodedPicture& DecodedPicture::operator=(DecodedPicture&& other) noexcept {
    if (this != &other) {
        Release();
        frame_ = std::exchange(other.frame_, nullptr);
        width_ = other.width_;
        height_ = other.height_;
        name_ = std::move(other.name_);
    }
    return *this;
}

void DecodedPicture::Release() {
    if (frame_) av_frame_free(&frame_);
}

struct PictureConverter::Impl {
    int threads = 1;
    SwsContext* sws = nullptr;
    AVFrame* dstFrame = nullptr;  // out's memory as the conversion's target
    // What the conversion context was set up for.
    int swsW = 0, swsH = 0, swsFmt = -1, swsSpace = -1, swsRange = -1, swsDstW = 0, swsDstH = 0;

    ~Impl() {
        if (sws) sws_freeContext(sws);
        if (dstFrame) av_frame_free(&dstFrame);
    }

    SwsContext* NewContext(const AVFrame* f, int width, int height) const {
        SwsContext* c = sws_alloc_context();
        if (!c) return nullptr;
        const std::pair<const char*, int64_t> options[] = {
            {"srcw", f->width},  {"srch", f->height},          {"src_format", f->format},
            {"dstw", width},     {"dsth", height},             {"dst_format", AV_PIX_FMT_BGR24},
            {"sws_flags", kSwsFlags}, {"threads", threads}};
        for (const auto& [name, value] : options) {
            if (av_opt_set_int(c, name, value, 0) < 0) {
                sws_freeContext(c);
                return nullptr;
            }
        }
        if (sws_init_context(c, nullptr, nullptr) < 0) {
            sws_freeContext(c);
            return nullptr;
        }
        return c;
    }

    // f converted into out's memory (the frame API is what spreads the rows over
    // the conversion threads).
    bool ScaleInto(const AVFrame* f, Bitmap24& out) {
        if (!dstFrame) dstFrame = av_frame_alloc();
        if (!dstFrame) return false;
        // Out's memory, lent without being freed by the library.
        AVBufferRef* lent = av_buffer_create(out.Bits(), out.ByteSize(), [](void*, uint8_t*) {}, nullptr, 0);
        if (!lent) return false;
        dstFrame->buf[0] = lent;
        dstFrame->data[0] = out.Bits();
        dstFrame->linesize[0] = out.Stride();
        dstFrame->width = out.Width();
        dstFrame->height = out.Height();
        dstFrame->format = AV_PIX_FMT_BGR24;
        const int r = sws_scale_frame(sws, dstFrame, f);
        av_frame_unref(dstFrame);
        return r >= 0;
    }

    bool Convert(const AVFrame* f, int width, int height, const std::string& name, Bitmap24& out, std::string& error) {
        if (!f || f->width <= 0 || f->height <= 0 || f->format < 0) {
            error = "A frame of " + name + " has no picture.";
            return false;
        }
        if (out.Width() != width || out.Height() != height) {
            if (!out.Resize(width, height)) {
                error = "Out of memory for a frame of " + name + ".";
                return false;
            }
        }
        int space = f->colorspace;
        if (space == AVCOL_SPC_UNSPECIFIED || space == AVCOL_SPC_RGB || space == AVCOL_SPC_RESERVED ||
            space > AVCOL_SPC_BT2020_CL)
            space = f->height > 576 ? SWS_CS_ITU709 : SWS_CS_ITU601;
        const AVPixFmtDescriptor* pd = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
        int range = (f->color_range == AVCOL_RANGE_JPEG) ? 1 : 0;
        if (pd && std::strncmp(pd->name, "yuvj", 4) == 0) range = 1;
        if (!sws || swsW != f->width || swsH != f->height || swsFmt != f->format || swsSpace != space ||
            swsRange != range || swsDstW != width || swsDstH != height) {
            if (sws) sws_freeContext(sws);
            sws = NewContext(f, width, height);
            if (!sws) {
                swsFmt = -1;
                error = "Cannot convert the pixel format " + std::string(pd ? pd->name : "?") + " of " + name + ".";
                return false;
            }
            const int* coeffs = sws_getCoefficients(space);
            sws_setColorspaceDetails(sws, coeffs, range, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
            swsW = f->width;
            swsH = f->height;
            swsFmt = f->format;
            swsSpace = space;
            swsRange = range;
            swsDstW = width;
            swsDstH = height;
        }
        if (!ScaleInto(f, out)) {
            error = "Could not convert a frame of " + name + ".";
            return false;
        }
        return true;
    }
};

PictureConverter::PictureConverter(int threads) : d_(std::make_unique<Impl>()) { d_->threads = threads < 1 ? 1 : threads; }
PictureConverter::~PictureConverter() = default;

bool PictureConverter::Convert(const DecodedPicture& picture, Bitmap24& out, std::string& error) {
    return d_->Convert(picture.frame_, picture.width_, picture.height_, picture.name_, out, error);
}

bool PictureConverter::Convert(const AVFrame* f, int width, int height, const std::string& name, Bitmap24& out,
                               std::string& error) {
    return d_->Convert(f, width, height, name, out, error);
}

}  // namespace video
