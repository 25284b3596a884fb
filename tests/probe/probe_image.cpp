// Subcommands on the image file library's pictures and loaders:
//   image-load FILE OUT.pnm [--alpha A.pgm] [--palette] [--min-width W --min-height H] [--plane N]
//       loads by FILE's extension; prints "loader=CLASS width=W height=H format=F"
//       (PNG adds " gamma=G transparent=T", JPEG " full=WxH", HIPS " planes=P"); writes P6 for formats 3, 6, 7 and
//       P5 (maxval 65535) for format 5; --alpha keeps alpha and writes it as P5 (255
//       everywhere when the file has none); --palette prints 256 lines "i r g b";
//       --plane N answers the HIPS plane question with N (asked as with progress
//       shown; "cancel" cancels it, which loads nothing and prints "cancelled");
//       --icon-index N --transparent RRGGBB are the icon selection window's choice
//       (the image, 0-based, and the transparent colour; the colour also for a file
//       of one image); icons and cursors add " hotspot=X,Y".
//   image-save ... [--hotspot X,Y]   a cursor's hot spot
//   icon-list FILE         the selection window's lines ("Icon 32 x 32 8 bit"), a
//       cursor's with " hotspot=X,Y"
//   image-save IN.pnm OUT [--palette P.ppm] [--to 3|5|6|7] [--gray] [--filter-mode N] [--lossy N]
//              [--quality Q] [--target-size B]
//       P6 gives a 24-bit picture, 8-bit P5 an 8-bit one with the grey palette or
//       the 256 x 1 P6 palette, 16-bit P5 16-bit grey; saved by OUT's extension.
//   image-convert IN OUT [--to F] [--gray] [--filter-mode N] [--lossy N] [--quality Q] [--target-size B]
//       (JPEG saves print "compressions=N")
//   image-loader NAME      "load=CLASS save=CLASS" for NAME's extension
//   image-colors FILE      "colors=N gray=0|1"
//   save-road IN.pnm NAME INDEX   the picture windows' save road: the name written or "nothing saved"
#include <QImage>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "imagefile/BitmapConversion.h"
#include "imagefile/ColorMapper.h"
#include "imagefile/HIPSLoader.h"
#include "imagefile/ICOLoader.h"
#include "imagefile/JPEGLoader.h"
#include "imagefile/LinarBitmap.h"
#include "imagefile/PNGLoader.h"
#include "platform/file_io.h"
#include "platform/numtext.h"
#include "probe.h"

using namespace imagefile;

namespace {

// The whole number given for `option`; any other text ends the subcommand with a
// usage error (the callers turn the exception into one).
int IntArg(const std::string& option, const std::string& text) {
    const auto n = numtext::ParseInt32(text);
    if (!n) throw std::invalid_argument(option + " takes a whole number, not \"" + text + "\"");
    return *n;
}

// Reads a binary P5 or P6 file (maxval up to 65535).
bool ReadPnm(const std::string& path, int& kind, int& w, int& h, int& maxval, std::string& pixels, std::string& error) {
    std::string data;
    if (!fileio::ReadFile(path, data, error)) return false;
    size_t pos = 0;
    auto token = [&]() -> std::string {
        while (pos < data.size()) {
            if (data[pos] == '#')
                while (pos < data.size() && data[pos] != '\n') ++pos;
            else if (std::isspace(static_cast<unsigned char>(data[pos])))
                ++pos;
            else
                break;
        }
        size_t start = pos;
        while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
        return data.substr(start, pos - start);
    };
    const std::string magic = token();
    if (magic != "P5" && magic != "P6") return error = path + ": not a binary PGM or PPM file", false;
    kind = magic[1] - '0';
    try {
        w = std::stoi(token());
        h = std::stoi(token());
        maxval = std::stoi(token());
    } catch (...) {
        return error = path + ": bad PNM header", false;
    }
    ++pos;
    const int64_t need = int64_t{w} * h * (kind == 6 ? 3 : 1) * (maxval > 255 ? 2 : 1);
    if (w < 1 || h < 1 || maxval < 1 || maxval > 65535 || int64_t(data.size() - std::min(pos, data.size())) < need)
        return error = path + ": bad PNM data", false;
    pixels = data.substr(pos, static_cast<size_t>(need));
    return true;
}

bool WritePnm(const std::string& path, int kind, int w, int h, int maxval, const std::string& pixels) {
    std::string out = "P" + std::to_string(kind) + "\n" + std::to_string(w) + " " + std::to_string(h) + "\n" +
                      std::to_string(maxval) + "\n" + pixels;
    std::string error;
    return fileio::WriteFileAtomic(path, out, error);
}

// The picture as P6 (formats 3, 6, 7) or 16-bit P5 (format 5).
bool WritePicture(const std::string& path, const TLinearBitmap& b) {
    std::string px;
    if (b.PixelFormat == pf16bit) {
        px.resize(static_cast<size_t>(b.Width) * b.Height * 2);
        for (int64_t i = 0; i < int64_t{b.Width} * b.Height; ++i)
            px[2 * i] = static_cast<char>(b.Map[2 * i + 1]), px[2 * i + 1] = static_cast<char>(b.Map[2 * i]);
        return WritePnm(path, 5, b.Width, b.Height, 65535, px);
    }
    px.resize(static_cast<size_t>(b.Width) * b.Height * 3);
    for (int64_t i = 0; i < int64_t{b.Width} * b.Height; ++i) {
        const uint8_t* s = b.PixelFormat == pf8bit ? b.Palette + 3 * b.Map[i] : b.Map + i * b.PixelSize;
        px[3 * i] = static_cast<char>(s[2]), px[3 * i + 1] = static_cast<char>(s[1]), px[3 * i + 2] = static_cast<char>(s[0]);
    }
    return WritePnm(path, 6, b.Width, b.Height, 255, px);
}

bool ReadPicture(const std::string& path, const std::string& palettePath, TLinearBitmap& b, std::string& error) {
    int kind, w, h, maxval;
    std::string px;
    if (!ReadPnm(path, kind, w, h, maxval, px, error)) return false;
    const auto* s = reinterpret_cast<const uint8_t*>(px.data());
    if (kind == 6) {
        if (maxval > 255) return error = "16-bit PPM is not taken", false;
        b.New(w, h, pf24bit);
        for (int64_t i = 0; i < int64_t{w} * h; ++i)
            b.Map[3 * i] = s[3 * i + 2], b.Map[3 * i + 1] = s[3 * i + 1], b.Map[3 * i + 2] = s[3 * i];
    } else if (maxval > 255) {
        b.New(w, h, pf16bit);
        for (int64_t i = 0; i < int64_t{w} * h; ++i) b.Map[2 * i] = s[2 * i + 1], b.Map[2 * i + 1] = s[2 * i];
    } else {
        b.New(w, h, pf8bit);
        std::memcpy(b.Map, s, static_cast<size_t>(w) * h);
        std::memcpy(b.Palette, GrayPalette, 768);
        if (!palettePath.empty()) {
            int pk, pw, ph, pm;
            std::string pal;
            if (!ReadPnm(palettePath, pk, pw, ph, pm, pal, error)) return false;
            if (pk != 6 || pw != 256 || ph != 1 || pm != 255) return error = "the palette must be a 256 x 1 P6 file", false;
            for (int i = 0; i < 256; ++i)
                b.Palette[3 * i] = pal[3 * i + 2], b.Palette[3 * i + 1] = pal[3 * i + 1], b.Palette[3 * i + 2] = pal[3 * i];
        }
    }
    return true;
}

struct SaveOptions {
    int to = 0;
    bool gray = false;
    int filterMode = -1000;
    int lossy = -1000;
    int quality = 0;
    int targetSize = 0;
};

// Takes the options shared by image-save and image-convert; false on an unknown one.
bool TakeOption(const std::vector<std::string>& a, size_t& i, SaveOptions& o) {
    const bool hasValue = i + 1 < a.size();
    if (a[i] == "--to" && hasValue) o.to = IntArg(a[i], a[i + 1]), ++i;
    else if (a[i] == "--gray") o.gray = true;
    else if (a[i] == "--filter-mode" && hasValue) o.filterMode = IntArg(a[i], a[i + 1]), ++i;
    else if (a[i] == "--lossy" && hasValue) o.lossy = IntArg(a[i], a[i + 1]), ++i;
    else if (a[i] == "--quality" && hasValue) o.quality = IntArg(a[i], a[i + 1]), ++i;
    else if (a[i] == "--target-size" && hasValue) o.targetSize = IntArg(a[i], a[i + 1]), ++i;
    else return false;
    return true;
}

void SaveWith(TLinearBitmap& b, const std::string& out, const SaveOptions& o) {
    if (o.to) b.SetPixelFormat(o.to);
    if (o.gray) ConvertToGrayscale(b);
    TPNGLoader& png = PNGLoader();
    if (o.filterMode != -1000) png.FilterMode = o.filterMode;
    if (o.lossy != -1000) png.LossyLevel = o.lossy;
    TJPEGLoader& jpeg = JPEGLoader();
    jpeg.Quality = o.quality;
    jpeg.TargetSize = o.targetSize;
    jpeg.LastCompressions = 0;
    b.SaveToFile(out);
    if (jpeg.LastCompressions) std::printf("compressions=%d\n", jpeg.LastCompressions);
}

int ImageLoad(const std::vector<std::string>& a) {
    if (a.size() < 2) return ProbeFail("usage: image-load FILE OUT.pnm [--alpha A.pgm] [--palette] [--min-width W --min-height H]");
    std::string alphaPath;
    bool palette = false;
    TJPEGLoader& jpeg = JPEGLoader();
    try {
        for (size_t i = 2; i < a.size(); ++i) {
            if (a[i] == "--alpha" && i + 1 < a.size()) alphaPath = a[++i];
            else if (a[i] == "--palette") palette = true;
            else if (a[i] == "--min-width" && i + 1 < a.size()) jpeg.MinWidth = IntArg(a[i], a[i + 1]), ++i;
            else if (a[i] == "--min-height" && i + 1 < a.size()) jpeg.MinHeight = IntArg(a[i], a[i + 1]), ++i;
            else if (a[i] == "--plane" && i + 1 < a.size()) {
                const std::string answer = a[++i];
                LoaderProgress = [](int) {};
                HIPSLoader().InputQuery = [answer](const std::string&, const std::string&, const std::string&) {
                    return answer == "cancel" ? std::optional<std::string>() : std::optional<std::string>(answer);
                };
            } else if (a[i] == "--icon-index" && i + 1 < a.size()) {
                const int index = IntArg(a[i], a[i + 1]);
                ++i;
                ICOLoader().SelectIcon = [index](TIconList&, int& chosen, uint32_t&) {
                    chosen = index;
                    return true;
                };
            } else if (a[i] == "--transparent" && i + 1 < a.size()) {
                const std::string& hex = a[++i];
                const bool digits =
                    !hex.empty() && hex.size() <= 6 && hex.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
                if (!digits) return ProbeFail("--transparent takes RRGGBB in hexadecimal, not \"" + hex + "\"");
                const uint32_t rgb = static_cast<uint32_t>(*numtext::ParseInt32("$" + hex));
                ICOLoader().TransparentColor = (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
            } else return ProbeFail("unknown option: " + a[i]);
        }
    } catch (const std::invalid_argument& e) {
        return ProbeFail(e.what());
    }
    TPNGLoader& png = PNGLoader();
    png.KeepAlpha = !alphaPath.empty();
    TLinearBitmap b;
    try {
        TBitmapLoader* loader = b.LoadFromFile(a[0]);
        if (!b.Present) {
            std::printf("cancelled\n");
            return 0;
        }
        std::printf("loader=%s width=%d height=%d format=%d", loader->ClassName(), b.Width, b.Height, b.PixelFormat);
        if (loader == &png) std::printf(" gamma=%g transparent=%d", png.Gamma, png.TransparentColor);
        if (loader == &jpeg) std::printf(" full=%dx%d", jpeg.FullWidth, jpeg.FullHeight);
        if (loader == &HIPSLoader()) std::printf(" planes=%d", HIPSLoader().PlaneCount);
        if (loader == &ICOLoader()) std::printf(" hotspot=%d,%d", ICOLoader().HotSpotX, ICOLoader().HotSpotY);
        std::printf("\n");
        if (palette)
            for (int i = 0; i < 256; ++i) {
                const uint8_t* p = b.Palette ? b.Palette + 3 * i : GrayPalette + 3 * i;
                std::printf("%d %d %d %d\n", i, p[2], p[1], p[0]);
            }
        if (!WritePicture(a[1], b)) return ProbeFail("cannot write " + a[1]);
        if (!alphaPath.empty()) {
            std::string alpha(static_cast<size_t>(b.Width) * b.Height, '\xFF');
            if (loader == &png && png.AlphaChannel)
                std::memcpy(alpha.data(), png.AlphaChannel->Map, alpha.size());
            else if (loader == &png && !png.AlphaTable.empty() && b.PixelFormat == pf8bit)
                for (size_t i = 0; i < alpha.size(); ++i) alpha[i] = static_cast<char>(png.AlphaTable[b.Map[i]]);
            if (!WritePnm(alphaPath, 5, b.Width, b.Height, 255, alpha)) return ProbeFail("cannot write " + alphaPath);
        }
    } catch (const std::exception& e) {
        return ProbeFail(e.what());
    }
    return 0;
}

int ImageSave(const std::vector<std::string>& a) {
    if (a.size() < 2) return ProbeFail("usage: image-save IN.pnm OUT [--palette P.ppm] [--to F] [--gray] [--filter-mode N] [--lossy N] [--quality Q] [--target-size B]");
    std::string palettePath;
    SaveOptions o;
    try {
        for (size_t i = 2; i < a.size(); ++i) {
            if (a[i] == "--palette" && i + 1 < a.size()) palettePath = a[++i];
            else if (a[i] == "--hotspot" && i + 1 < a.size()) {
                const std::string v = a[++i];
                const size_t comma = v.find(',');
                if (comma == std::string::npos) return ProbeFail("--hotspot takes X,Y");
                ICOLoader().HotSpotX = IntArg("--hotspot", v.substr(0, comma));
                ICOLoader().HotSpotY = IntArg("--hotspot", v.substr(comma + 1));
            }
            else if (!TakeOption(a, i, o)) return ProbeFail("unknown option: " + a[i]);
        }
        TLinearBitmap b;
        std::string error;
        if (!ReadPicture(a[0], palettePath, b, error)) return ProbeFail(error);
        SaveWith(b, a[1], o);
    } catch (const std::exception& e) {
        return ProbeFail(e.what());
    }
    return 0;
}

int ImageConvert(const std::vector<std::string>& a) {
    if (a.size() < 2) return ProbeFail("usage: image-convert IN OUT [--to F] [--gray] [--filter-mode N] [--lossy N] [--quality Q] [--target-size B]");
    SaveOptions o;
    try {
        for (size_t i = 2; i < a.size(); ++i)
            if (!TakeOption(a, i, o)) return ProbeFail("unknown option: " + a[i]);
        TLinearBitmap b;
        b.LoadFromFile(a[0]);
        SaveWith(b, a[1], o);
    } catch (const std::exception& e) {
        return ProbeFail(e.what());
    }
    return 0;
}

int ImageLoader(const std::vector<std::string>& a) {
    if (a.size() != 1) return ProbeFail("usage: image-loader NAME");
    try {
        const std::string ext = GetFileExt(a[0]);
        const char* load = BitmapLoaders().FindLoader(ext)->ClassName();
        const char* save = BitmapLoaders().FindSaver(ext)->ClassName();
        std::printf("load=%s save=%s\n", load, save);
    } catch (const std::exception& e) {
        return ProbeFail(e.what());
    }
    return 0;
}

int ImageColors(const std::vector<std::string>& a) {
    if (a.size() != 1) return ProbeFail("usage: image-colors FILE");
    try {
        TLinearBitmap b;
        b.LoadFromFile(a[0]);
        std::printf("colors=%d gray=%d\n", CountColors(b), b.IsGrayScale() ? 1 : 0);
    } catch (const std::exception& e) {
        return ProbeFail(e.what());
    }
    return 0;
}

int SaveRoad(const std::vector<std::string>& a) {
    if (a.size() != 3) return ProbeFail("usage: save-road IN.pnm NAME INDEX");
    try {
        TLinearBitmap b;
        std::string error;
        if (!ReadPicture(a[0], "", b, error)) return ProbeFail(error);
        QImage picture;
        b.AssignTo(picture);
        const std::string written = SavePictureRoad(picture, a[1], IntArg("INDEX", a[2]));
        std::printf("%s\n", written.empty() ? "nothing saved" : written.c_str());
    } catch (const std::exception& e) {
        return ProbeFail(e.what());
    }
    return 0;
}

int IconListCommand(const std::vector<std::string>& a) {
    if (a.size() != 1) return ProbeFail("usage: icon-list FILE");
    try {
        TFileStream file(a[0], TFileStream::fmRead | TFileStream::fmShareRead);
        TIconList list;
        list.LoadFromStream(file);
        for (int i = 0; i < list.Count(); ++i) {
            std::printf("%s", list.Describe(i).c_str());
            if (list.FileType == 2) std::printf(" hotspot=%d,%d", list.Image(i).HotSpotX, list.Image(i).HotSpotY);
            std::printf("\n");
        }
    } catch (const std::exception& e) {
        return ProbeFail(e.what());
    }
    return 0;
}

ProbeCommand c1("image-load",
                "FILE OUT.pnm [--alpha A.pgm] [--palette] [--min-width W --min-height H] [--plane N] [--icon-index N] "
                "[--transparent RRGGBB]",
                ImageLoad);
ProbeCommand c2("image-save",
                "IN.pnm OUT [--palette P.ppm] [--to 3|5|6|7] [--gray] [--filter-mode N] [--lossy N] [--quality Q] "
                "[--target-size B] [--hotspot X,Y]",
                ImageSave);
ProbeCommand c3("image-convert", "IN OUT [--to F] [--gray] [--filter-mode N] [--lossy N] [--quality Q] [--target-size B]",
                ImageConvert);
ProbeCommand c4("image-loader", "NAME", ImageLoader);
ProbeCommand c5("image-colors", "FILE", ImageColors);
ProbeCommand c6("save-road", "IN.pnm NAME INDEX", SaveRoad);
ProbeCommand c7("icon-list", "FILE", IconListCommand);

}  // namespace
