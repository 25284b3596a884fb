#include "imagefile/JPEGLoader.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace imagefile {

const char* const kErrorInBitmapData = "Error in bitmap data";

namespace {

constexpr int kDefaultQuality = 90;
constexpr size_t kInputBuffer = 65536;

// libjpeg's fatal errors (and the end of data inside the image) jump back to the
// guarded call with libjpeg's message; libjpeg's own manager would call exit().
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
    bool eofSeen = false;
};

[[noreturn]] void ErrorExit(j_common_ptr c) {
    auto* e = reinterpret_cast<ErrorManager*>(c->err);
    (*c->err->format_message)(c, e->message);
    std::longjmp(e->jump, 1);
}

// The data ending is fatal when the image is not complete: the end came before
// the last row of blocks of a scan, or the decoder then wanted bits that were not
// there. (Reading ahead in the last row past a missing end marker is no loss.)
void EmitMessage(j_common_ptr c, int level) {
    if (level != -1 || !c->is_decompressor) return;
    auto* e = reinterpret_cast<ErrorManager*>(c->err);
    auto* d = reinterpret_cast<j_decompress_ptr>(c);
    if (c->err->msg_code == JWRN_JPEG_EOF) {
        e->eofSeen = true;
        if (d->total_iMCU_rows > 0 && d->input_iMCU_row + 1 < d->total_iMCU_rows) ErrorExit(c);
    } else if (c->err->msg_code == JWRN_HIT_MARKER && e->eofSeen) {
        c->err->msg_code = JWRN_JPEG_EOF;
        ErrorExit(c);
    }
}

void OutputMessage(j_common_ptr) {}

jpeg_error_mgr* SetUp(ErrorManager& e) {
    jpeg_std_error(&e.pub);
    e.pub.error_exit = ErrorExit;
    e.pub.emit_message = EmitMessage;
    e.pub.output_message = OutputMessage;
    return &e.pub;
}

// Runs f; false when libjpeg jumped out of it. f must hold no objects with
// destructors of its own across libjpeg calls.
template <typename F>
bool Guarded(ErrorManager& e, F&& f) {
    if (setjmp(e.jump)) return false;
    f();
    return true;
}

// Input straight from one of our streams.
struct Source {
    jpeg_source_mgr pub;
    TBaseStream* stream;
    std::vector<JOCTET> buffer;
    std::exception_ptr error;
    bool started = false;
};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr c) {
    auto* s = reinterpret_cast<Source*>(c->src);
    size_t n = 0;
    bool failed = false;
    try {
        n = s->stream->Read(s->buffer.data(), s->buffer.size());
    } catch (...) {
        s->error = std::current_exception();
        failed = true;
    }
    if (failed) ERREXIT(c, JERR_FILE_READ);
    if (n == 0) {
        if (!s->started) ERREXIT(c, JERR_INPUT_EMPTY);
        WARNMS(c, JWRN_JPEG_EOF);
        s->buffer[0] = 0xFF;
        s->buffer[1] = JPEG_EOI;
        n = 2;
    }
    s->started = true;
    s->pub.next_input_byte = s->buffer.data();
    s->pub.bytes_in_buffer = n;
    return TRUE;
}

void SkipInput(j_decompress_ptr c, long count) {
    auto* s = reinterpret_cast<Source*>(c->src);
    while (count > static_cast<long>(s->pub.bytes_in_buffer)) {
        count -= static_cast<long>(s->pub.bytes_in_buffer);
        FillInput(c);
    }
    if (count > 0) {
        s->pub.next_input_byte += count;
        s->pub.bytes_in_buffer -= static_cast<size_t>(count);
    }
}

// Output into a growing vector.
struct Destination {
    jpeg_destination_mgr pub;
    std::vector<JOCTET>* out;
};

void InitDestination(j_compress_ptr c) {
    auto* d = reinterpret_cast<Destination*>(c->dest);
    d->pub.next_output_byte = d->out->data();
    d->pub.free_in_buffer = d->out->size();
}

boolean EmptyOutput(j_compress_ptr c) {
    auto* d = reinterpret_cast<Destination*>(c->dest);
    const size_t used = d->out->size();
    bool failed = false;
    try {
        d->out->resize(used * 2);
    } catch (...) {
        failed = true;
    }
    if (failed) ERREXIT1(c, JERR_OUT_OF_MEMORY, 0);
    d->pub.next_output_byte = d->out->data() + used;
    d->pub.free_in_buffer = d->out->size() - used;
    return TRUE;
}

void TermDestination(j_compress_ptr c) {
    auto* d = reinterpret_cast<Destination*>(c->dest);
    d->out->resize(d->out->size() - d->pub.free_in_buffer);
}

struct Decompressor {
    jpeg_decompress_struct info;
    bool created = false;
    ~Decompressor() {
        if (created) jpeg_destroy_decompress(&info);
    }
};

struct Compressor {
    jpeg_compress_struct info;
    bool created = false;
    ~Compressor() {
        if (created) jpeg_destroy_compress(&info);
    }
};

// One compression of a 24-bit B,G,R picture.
std::vector<JOCTET> Compress(const TLinearBitmap& bgr, bool grey, int quality) {
    std::vector<JOCTET> out(std::max<size_t>(16384, static_cast<size_t>(bgr.Size) / 8));
    Compressor cj;
    ErrorManager err;
    Destination dest{};
    dest.out = &out;
    cj.info.err = SetUp(err);
    const bool ok = Guarded(err, [&] {
        jpeg_create_compress(&cj.info);
        cj.created = true;
        dest.pub.init_destination = InitDestination;
        dest.pub.empty_output_buffer = EmptyOutput;
        dest.pub.term_destination = TermDestination;
        cj.info.dest = &dest.pub;
        cj.info.image_width = static_cast<JDIMENSION>(bgr.Width);
        cj.info.image_height = static_cast<JDIMENSION>(bgr.Height);
        cj.info.input_components = 3;
        cj.info.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cj.info);
        jpeg_set_quality(&cj.info, quality, TRUE);
        if (grey) jpeg_set_colorspace(&cj.info, JCS_GRAYSCALE);
        jpeg_start_compress(&cj.info, TRUE);
        JSAMPROW rows[16];
        while (cj.info.next_scanline < cj.info.image_height) {
            const JDIMENSION first = cj.info.next_scanline;
            const JDIMENSION n = std::min<JDIMENSION>(16, cj.info.image_height - first);
            for (JDIMENSION i = 0; i < n; ++i) rows[i] = const_cast<JSAMPROW>(bgr.ScanLine(static_cast<int>(first + i)));
            jpeg_write_scanlines(&cj.info, rows, n);
        }
        jpeg_finish_compress(&cj.info);
    });
    if (!ok) throw ELinearBitmap(err.message);
    return out;
}

}  // namespace

std::string TJPEGLoader::GetLoadFilter() { return "Joint Picture Expert Group (*.jpg,*.jpeg,*.jpe)|*.jpg;*.jpeg;*.jpe"; }
std::string TJPEGLoader::GetSaveFilter() { return "Joint Picture Expert Group (*.jpg)|*.jpg"; }

void TJPEGLoader::LoadFromStream(TBaseStream& stream, const std::string&, TLinearBitmap& bitmap) {
    struct ExactIOOff {
        TBaseStream& s;
        bool was;
        explicit ExactIOOff(TBaseStream& st) : s(st), was(st.ExactIO) { s.SetExactIO(false); }
        ~ExactIOOff() { s.SetExactIO(was); }
    } exactOff(stream);
    Decompressor dj;
    ErrorManager err;
    Source src{};
    src.stream = &stream;
    src.buffer.resize(kInputBuffer);
    TLinearBitmap out;
    std::vector<JSAMPROW> rows;
    dj.info.err = SetUp(err);
    const int64_t cap = MaxPictureBytes;
    const bool ok = Guarded(err, [&] {
        jpeg_create_decompress(&dj.info);
        dj.created = true;
        src.pub.init_source = InitSource;
        src.pub.fill_input_buffer = FillInput;
        src.pub.skip_input_data = SkipInput;
        src.pub.resync_to_restart = jpeg_resync_to_restart;
        src.pub.term_source = TermSource;
        dj.info.src = &src.pub;
        jpeg_read_header(&dj.info, TRUE);
        FullWidth = static_cast<int32_t>(dj.info.image_width);
        FullHeight = static_cast<int32_t>(dj.info.image_height);
        const int64_t w = dj.info.image_width, h = dj.info.image_height;
        if (w < 1 || h < 1 || w * h * 3 > cap) throw ELinearBitmap(kInvalidBitmapSize);
        dj.info.dct_method = JDCT_ISLOW;
        dj.info.do_fancy_upsampling = TRUE;
        dj.info.scale_num = 1;
        dj.info.scale_denom = 1;
        jpeg_calc_output_dimensions(&dj.info);
        while (dj.info.scale_denom < 8 && static_cast<int64_t>(dj.info.output_width / 2) >= MinWidth &&
               static_cast<int64_t>(dj.info.output_height / 2) >= MinHeight) {
            dj.info.scale_denom *= 2;
            jpeg_calc_output_dimensions(&dj.info);
        }
        const bool grey = dj.info.jpeg_color_space == JCS_GRAYSCALE;
        // Before a progressive file's coefficients are read and held.
        CheckBitmapSize(dj.info.output_width, dj.info.output_height, grey ? 1 : 3);
        dj.info.out_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
        // Whole-image buffers (progressive files) beyond this fail instead of
        // allocating.
        dj.info.mem->max_memory_to_use = static_cast<long>(std::min<int64_t>(4 * cap + (64 << 20), LONG_MAX));
        jpeg_start_decompress(&dj.info);
        if (dj.info.output_width < 1 || dj.info.output_height < 1) throw ELinearBitmap(kErrorInBitmapData);
        out.New(static_cast<int>(dj.info.output_width), static_cast<int>(dj.info.output_height), grey ? pf8bit : pf24bit);
        if (grey) std::memcpy(out.Palette, GrayPalette, 768);
        rows.resize(out.Height);
        for (int y = 0; y < out.Height; ++y) rows[y] = out.ScanLine(y);
        while (dj.info.output_scanline < dj.info.output_height)
            jpeg_read_scanlines(&dj.info, rows.data() + dj.info.output_scanline,
                                dj.info.output_height - dj.info.output_scanline);
        jpeg_finish_decompress(&dj.info);
    });
    if (!ok) {
        if (src.error) std::rethrow_exception(src.error);
        throw ELinearBitmap(err.message);
    }
    if (!out.Present) throw ELinearBitmap(kErrorInBitmapData);
    bitmap.TakeOver(out);
}

void TJPEGLoader::SaveToStream(TBaseStream& stream, const std::string&, const TLinearBitmap& bitmap) {
    if (!bitmap.Present) throw ELinearBitmap(kInvalidBitmapSize);
    const bool grey = bitmap.IsGrayScale();
    TLinearBitmap converted;
    const TLinearBitmap* bgr = &bitmap;
    if (bitmap.PixelFormat != pf24bit) {
        converted.Assign(bitmap);
        converted.SetPixelFormat(pf24bit);
        bgr = &converted;
    }
    std::vector<JOCTET> data;
    LastCompressions = 0;
    if (TargetSize < 1) {
        data = Compress(*bgr, grey, Quality >= 1 ? Quality : kDefaultQuality);
        LastCompressions = 1;
    } else {
        if (Quality < 1) Quality = kDefaultQuality;
        int q = Quality, low = 1, high = q + 1;
        for (;;) {
            data = Compress(*bgr, grey, q);
            ++LastCompressions;
            const int64_t size = static_cast<int64_t>(data.size());
            if (size <= TargetSize) {
                if (size == TargetSize || q >= 100 || high == q + 1) break;
                low = q;
            } else {
                high = q;
                if (high < 2) break;
            }
            q = (low + high) / 2;
        }
    }
    stream.Write(data.data(), data.size());
}

}  // namespace imagefile
