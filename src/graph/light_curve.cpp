#include "graph/light_curve.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/file_io.h"
#include "platform/numtext.h"

GraphView Graph;

namespace {

// Fixed colours (0x00BBGGRR).
constexpr uint32_t kLineColours[7] = {0, 0xFF8888, 0x00FFFF, 0xFF88FF, 0xFF0000, 0x00AAFF, 0xFF00FF};
constexpr uint32_t kMarkerColours[4] = {0, 0xFF0000, 0x00AAFF, 0xFF00FF};
constexpr uint32_t kSelectedRed = 0x0000FF;
constexpr uint32_t kLevelGreen = 0x55BB22;
constexpr uint32_t kMagenta = 0xFF00FF;
constexpr uint32_t kNavy = 0x800000;
constexpr uint32_t kAqua = 0xFFFF00;
constexpr uint32_t kBlue = 0xFF0000;
const QColor kButtonFace(240, 240, 240);

constexpr double kPixelLimit = 30000.0;
// Values beyond this count as empty, as text that is not a number does: far past
// any measurement, and the sliders' factors and the range of two such values
// stay finite, so one bad row cannot take the scale of the others with it.
constexpr double kPlotValueLimit = 1e300;

int ClampRound(double v) {
    if (!(v > -kPixelLimit)) return v != v ? 0 : static_cast<int>(-kPixelLimit);
    if (v > kPixelLimit) return static_cast<int>(kPixelLimit);
    return static_cast<int>(std::nearbyint(v));
}

// Fields 1..n of a row: the positions of the commas are found once.
struct FieldScanner {
    std::string_view line;
    std::string_view Field(int n) const {
        size_t start = 0;
        for (int f = 1; f < n; ++f) {
            size_t comma = line.find(',', start);
            if (comma == std::string_view::npos) return {};
            start = comma + 1;
        }
        size_t end = line.find(',', start);
        return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    }
};

Cell ReadCell(std::string_view text) {
    if (text.empty()) return {CellKind::FieldEmpty, 0.0};
    auto v = numtext::ParseFloat(text);
    if (!v || !(std::fabs(*v) <= kPlotValueLimit)) return {CellKind::FieldEmpty, 0.0};
    return {CellKind::Number, *v};
}

QFont GraphFont(int points, bool bold = false) {
    QFont f("DejaVu Sans");
    // 96 dots per inch, as the class library's fonts are sized on screen.
    f.setPixelSize(std::max(1, (points * 96 + 36) / 72));
    f.setBold(bold);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

// Text with its top-left corner at (x, y), black on white; returns its width.
int TextOut(QPainter& p, int x, int y, const std::string& text, const QColor& colour = Qt::black) {
    const QString s = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    QFontMetrics fm(p.font());
    const int w = fm.horizontalAdvance(s);
    if (w > 0) {
        p.fillRect(QRect(x, y, w, fm.height()), Qt::white);
        p.setPen(colour);
        p.drawText(QPoint(x, y + fm.ascent()), s);
    }
    return w;
}

void SetColours(QPainter& p, uint32_t pen, uint32_t brush) {
    p.setPen(TColorToQColor(pen));
    p.setBrush(TColorToQColor(brush));
}

// Marker colours, set on the painter only when they change (most markers of a
// curve share them).
struct MarkerColours {
    QPainter& p;
    uint32_t pen = ~0u, brush = ~0u;
    void Set(uint32_t newPen, uint32_t newBrush) {
        if (newPen != pen) p.setPen(TColorToQColor(pen = newPen));
        if (newBrush != brush) p.setBrush(TColorToQColor(brush = newBrush));
    }
    void Forget() { pen = brush = ~0u; }
};

void Ellipse(QPainter& p, int x, int y, int r) { p.drawEllipse(QRect(x - r, y - r, 2 * r, 2 * r)); }

void Cross(QPainter& p, int x, int y, int arm) {
    p.setPen(TColorToQColor(kMagenta));
    p.drawLine(x - arm, y, x + arm, y);
    p.drawLine(x, y - arm, x, y + arm);
}

std::string IntegerText(double v) {
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.0f", v);
    return buf;
}

}  // namespace

QColor TColorToQColor(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

int FirstDataLineOf(uint8_t formatVersion) { return formatVersion >= 1 ? 7 : 4; }
int PlotColumnBaseOf(uint8_t formatVersion) { return formatVersion >= 1 ? 11 : 5; }

int RowToX(const GraphView& g, double i) { return ClampRound(i * g.XScale) + g.PlotMarginLeft; }
int ValueToY(const GraphView& g, int h, double v) { return h - g.PlotMarginBottom - ClampRound(v * g.YScale + g.YOffset); }

void ObjectDrawOrder(int currentObject, int order[3]) {
    static const int kOrders[4][3] = {{3, 2, 1}, {3, 2, 1}, {3, 1, 2}, {2, 1, 3}};
    const int* o = kOrders[(currentObject >= 1 && currentObject <= 3) ? currentObject : 1];
    std::copy(o, o + 3, order);
}

// ---------------------------------------------------------------- the parsed table

void GraphTable::Update(const std::vector<std::string>& lines, uint64_t generation, uint8_t formatVersion, int) {
    if (source_ == &lines && generation_ == generation && lineCount_ == lines.size() && format_ == formatVersion) return;
    const size_t first = static_cast<size_t>(FirstDataLineOf(formatVersion) - 1);
    const int base = PlotColumnBaseOf(formatVersion);
    // Appending keeps the rows parsed so far.
    size_t from = 0;
    if (source_ == &lines && generation_ == generation && format_ == formatVersion && lineCount_ < lines.size())
        from = frameLabel_.size();
    const size_t rows = lines.size() > first ? lines.size() - first : 0;
    cells_.resize(rows * 3);
    frameLabel_.resize(rows);
    for (size_t r = from; r < rows; ++r) {
        const std::string& line = lines[first + r];
        Cell* c = &cells_[r * 3];
        int64_t& label = frameLabel_[r];
        label = kNoLabel;
        if (line.empty()) {
            c[0] = c[1] = c[2] = Cell{};
            continue;
        }
        // One pass over the commas up to the last field read.
        std::string_view fields[4];  // field 1, base, base + 1, base + 2
        {
            const std::string_view row(line);
            size_t start = 0;
            for (int f = 1; f <= base + 2; ++f) {
                const size_t comma = row.find(',', start);
                const std::string_view text = row.substr(start, comma == std::string_view::npos ? row.npos : comma - start);
                if (f == 1) fields[0] = text;
                else if (f >= base) fields[f - base + 1] = text;
                if (comma == std::string_view::npos) break;
                start = comma + 1;
            }
        }
        for (int k = 0; k < 3; ++k) c[k] = ReadCell(fields[k + 1]);
        const std::string_view f1 = fields[0];
        if (!f1.empty() && f1.back() == '0') {
            auto v = numtext::ParseFloat(f1);
            if (v && std::isfinite(*v) && std::fabs(*v) < 9e15) {
                const int64_t n = numtext::RoundHalfEven(*v);
                if (n % 10 == 0) label = n;
            }
        }
    }
    for (int k = 0; k < 3; ++k) {
        double mn = 0, mx = 0;
        for (size_t r = 0; r < rows; ++r) {
            const Cell& c = cells_[r * 3 + static_cast<size_t>(k)];
            if (c.kind != CellKind::Number) continue;
            mn = std::min(mn, c.value);
            mx = std::max(mx, c.value);
        }
        min_[k] = mn;
        max_[k] = mx;
    }
    source_ = &lines;
    generation_ = generation;
    lineCount_ = lines.size();
    format_ = formatVersion;
}

namespace {
const Cell kEmptyLine{};
}

// ---------------------------------------------------------------- drawing

void LightCurveGraph::UpdateTable(const GraphInputs& in, const GraphView& g) {
    static const std::vector<std::string> kNone;
    table_.Update(in.lines ? *in.lines : kNone, in.generation, in.formatVersion, g.DataRowCount);
}

void LightCurveGraph::GetMinMax(const GraphInputs& in, double& mn, double& mx) {
    mn = 0.0;
    mx = 0.0;
    const bool all = in.formatVersion == 1 || in.formatVersion == 2;
    for (int k = 1; k <= 3; ++k) {
        if (!in.objectShown[k - 1] || (k > 1 && !all)) continue;
        mn = std::min(mn, table_.Min(k));
        mx = std::max(mx, table_.Max(k));
    }
}

void LightCurveGraph::HRatioCalc(GraphView& g, const GraphInputs& in, int image1Width, WidthChoice& width,
                                 ScrollRange& scroll) {
    g.FirstDataLine = FirstDataLineOf(in.formatVersion);
    const size_t lineCount = in.lines ? in.lines->size() : 0;
    if (lineCount < static_cast<size_t>(g.FirstDataLine)) return;
    if (g.XScaleBase == 0) g.XScaleBase = 1.0;
    const int rows = std::max(1, g.DataRowCount);
    const double plotWidth = g.PlotImageWidth - g.PlotMarginLeft - g.PlotMarginRight;
    if (g.NarrowLayoutSet) {
        width.enabled = false;
    } else {
        const bool overflow = plotWidth < 2 * g.XScaleBase * rows;
        if (overflow) {
            width.enabled = true;
            if (!g.FieldMode && g.IntegrationMarking) {
                width.itemIndex = 0;
                g.EntireView = 0;
            }
        } else {
            width.itemIndex = 0;
            g.EntireView = 0;
            width.enabled = false;
        }
    }
    g.FitXScale = plotWidth / rows;
    if (width.itemIndex == 1 && width.enabled) {
        if (!g.FieldMode) g.XScale = g.FitXScale >= 2 ? 2 * g.XScaleBase : g.FitXScale;
        else g.XScale = g.FitXScale >= 1 ? g.XScaleBase : g.FitXScale;
    } else {
        g.XScale = 2 * g.XScaleBase;
    }
    if (g.XScale == 0) g.XScale = 2 * g.XScaleBase;
    const double shown = (image1Width - g.PlotMarginRight - g.PlotMarginLeft) / g.XScale;
    g.ShownFrameCount = static_cast<int>(std::clamp(std::nearbyint(shown), -2e9, 2e9));
    if (width.itemIndex == 1) {
        g.FirstShownFrame = 0;
        scroll.position = 0;
        scroll.maximum = 0;
        return;
    }
    if ((g.RecentreOnWidthChange || g.RecentreOnLayoutChange || g.RecentreOnScaleChange) && g.SelectedFrame > 0 &&
        g.ShownFrameCount / 2 < g.SelectedFrame)
        g.FirstShownFrame = std::max(0, g.SelectedFrame - g.ShownFrameCount / 2);
    g.RecentreOnWidthChange = g.RecentreOnLayoutChange = g.RecentreOnScaleChange = 0;
    if (static_cast<int64_t>(g.FirstShownFrame) + g.ShownFrameCount > rows) g.FirstShownFrame = rows - g.ShownFrameCount;
    if (g.FirstShownFrame < 0) g.FirstShownFrame = 0;
    scroll.position = g.FirstShownFrame;
    scroll.maximum = std::max(0, rows - g.ShownFrameCount);
}

void LightCurveGraph::XAxisShow(GraphView& g, const GraphInputs& in, QImage& image) {
    const int h = image.height();
    const double m = std::max(std::fabs(g.GraphMax), std::fabs(g.GraphMin));
    // A backward run makes FrameStep negative; the grid keeps its size.
    const double f = std::max(1.0, std::fabs(static_cast<double>(in.frameStep)));
    double step = f * (m < 200 ? 10 : m < 2000 ? 100 : m < 20000 ? 1000 : m < 200000 ? 10000 : 100000);
    double first = 0, last = 0;
    for (;;) {
        first = std::nearbyint(g.GraphMin / step) * step;
        if (first < g.GraphMin) first += step;
        last = step * std::nearbyint(g.GraphMax / step);
        if (!((last - first) / step > 1000)) break;
        step *= 10;
    }
    g.YGridStep = static_cast<int>(std::min(step, 2e9));
    QPainter p(&image);
    p.setFont(GraphFont(8));
    const int right = g.PlotImageWidth - g.PlotMarginRight;
    for (int j = 0;; ++j) {
        const double v = first + j * step;
        if (!(v < last)) break;
        const int y = ValueToY(g, h, v);
        if (y <= g.PlotMarginTop) continue;
        if (v == 0) {
            p.setPen(Qt::black);
            p.drawLine(g.PlotMarginLeft, y, right, y);
        } else if (in.axisLines) {
            p.setPen(TColorToQColor(kAqua));
            p.drawLine(g.PlotMarginLeft, y, right, y);
        } else {
            p.setPen(Qt::black);
            p.drawLine(g.PlotMarginLeft - 8, y, g.PlotMarginLeft, y);
        }
        int x = g.PlotMarginLeft - (v == 0 ? 8 : v < 100 ? 12 : v < 1000 ? 20 : v < 10000 ? 28 : 36);
        if (v < 0) x -= 22;
        TextOut(p, x, y - 8, IntegerText(v));
    }
    p.setPen(Qt::black);
    p.drawLine(g.PlotMarginLeft, h - g.PlotMarginBottom, right, h - g.PlotMarginBottom);
}

void LightCurveGraph::YAxisShow(const GraphView& g, QImage& image) {
    QPainter p(&image);
    p.setPen(Qt::black);
    p.drawLine(g.PlotMarginLeft, g.PlotMarginTop, g.PlotMarginLeft, image.height() - g.PlotMarginBottom);
}

void LightCurveGraph::DrawObject(GraphView& g, const GraphInputs& in, QImage& image, int k) {
    const int h = image.height();
    const int n = std::min(g.DataRowCount, g.ShownFrameCount);
    g.SelectedMarkerX[k] = g.SelectedMarkerY[k] = -100;
    auto cellAt = [&](int i) -> const Cell& {
        const int64_t row = static_cast<int64_t>(g.FirstShownFrame) + i;
        return row >= 0 && row < table_.Rows() ? table_.At(static_cast<int>(row), k) : kEmptyLine;
    };
    QPainter p(&image);
    // The reading state carries from row to row: an empty line repeats the field
    // text of the row before it.
    bool hasText = false;
    double value = 0.0;
    if (in.dataLines) {
        p.setPen(TColorToQColor(kLineColours[in.hilight ? k + 3 : k]));
        QPolygon run;
        run.reserve(std::min(n, 100000));
        for (int i = 0; i < n; ++i) {
            const Cell& c = cellAt(i);
            value = 0.0;
            if (c.kind != CellKind::LineEmpty) {
                hasText = c.kind == CellKind::Number;
                if (hasText) value = c.value;
            }
            if (!hasText) continue;
            run.append(QPoint(RowToX(g, i), ValueToY(g, h, value)));
        }
        if (run.size() == 1) p.drawPoint(run[0]);
        else if (run.size() > 1) p.drawPolyline(run);
    }
    const int r = std::max(0, in.markerRadius);
    const int d = g.SelectedFrame - g.FirstShownFrame;
    const bool integration = !g.DiffractionMode && g.IntegrationMarking && g.IntegrationFrames >= 1;
    const bool labels = k == 1 && integration && g.ScaleLevel >= 7;
    const QFont normalFont = GraphFont(8);
    const QFont labelFont = GraphFont(g.ScaleLevel == 7 ? 7 : 9);
    MarkerColours colours{p};
    for (int i = 0; i < n; ++i) {
        const Cell& c = cellAt(i);
        if (c.kind != CellKind::LineEmpty) {
            hasText = c.kind == CellKind::Number;
            value = hasText ? c.value : 0.0;
        }
        if (!hasText) continue;
        const int row = g.FirstShownFrame + i;
        const int x = RowToX(g, i), y = ValueToY(g, h, value);
        if (g.DiffractionMode && d + g.StepRangeStart <= i && i <= d + g.StepRangeEnd) {
            Cross(p, x, y, 7);
            colours.Forget();
        }
        const bool inProcess = g.SelectArea && d + g.ProcessRangeStart <= i && i <= d + g.ProcessRangeEnd;
        if (row == g.SelectedFrame) {
            colours.Set(kSelectedRed, kSelectedRed);
            g.SelectedMarkerX[k] = x;
            g.SelectedMarkerY[k] = y;
        } else if (g.DiffractionMode && ((d + g.BeforeRangeStart <= i && i <= d + g.BeforeRangeEnd) ||
                                         (d + g.AfterRangeStart <= i && i <= d + g.AfterRangeEnd))) {
            colours.Set(kLevelGreen, kLevelGreen);
        } else if (integration && (row - g.IntegrationPhase) % g.IntegrationFrames == 0) {
            colours.Set(kNavy, kAqua);
        } else if (integration && (row - g.IntegrationPhase + 1) % g.IntegrationFrames == 0) {
            colours.Set(kNavy, kMagenta);
        } else {
            colours.Set(kMarkerColours[k], kMarkerColours[k]);
        }
        if (g.SelectArea && (row == g.SelectedFrame || inProcess)) colours.Set(colours.pen, 0xFFFFFF);
        if (r > 0) {
            Ellipse(p, x, y, r);
            if (inProcess) Ellipse(p, x, y, 2);
        } else if (in.makeDot && row == g.SelectedFrame) {
            Ellipse(p, x, y, 3);
        }
        if (labels) {
            const int frames = g.IntegrationFrames;
            const int mm = (row - g.IntegrationPhase) % frames;
            if (mm >= 0) {
                const int rel = row - g.IntegrationPhase + 1;
                const uint32_t colour = mm == 0 ? kBlue
                                        : rel % frames == 0 ? kMagenta
                                        : (rel + frames / 2) % frames == 0 ? kSelectedRed
                                                                           : 0;
                p.setFont(labelFont);
                TextOut(p, mm >= 9 ? x - 6 : x - 3, y + 12, std::to_string(mm + 1), TColorToQColor(colour));
                p.setFont(normalFont);
                colours.Forget();
            }
        }
        if (g.UpperLevelFixed && g.UpperFixedFrom - g.FirstShownFrame <= i && i <= g.UpperFixedTo - g.FirstShownFrame)
            Cross(p, x, y, 2), colours.Forget();
        if (g.LowerLevelFixed && g.LowerFixedFrom - g.FirstShownFrame <= i && i <= g.LowerFixedTo - g.FirstShownFrame)
            Cross(p, x, y, 2), colours.Forget();
    }
    if (g.SelectedMarkerX[k] != -100) {
        SetColours(p, kSelectedRed, kSelectedRed);
        Ellipse(p, g.SelectedMarkerX[k], g.SelectedMarkerY[k], 3);
    }
}

void LightCurveGraph::DrawFrameLabels(const GraphView& g, const GraphInputs& in, QImage& image) {
    const int base = image.height() - g.PlotMarginBottom;
    const int64_t f = std::max<int64_t>(1, std::abs(static_cast<int64_t>(in.frameStep)));
    const int64_t s = g.ShownFrameCount;
    QPainter p(&image);
    p.setFont(GraphFont(8));
    const int n = std::min(g.DataRowCount, g.ShownFrameCount);
    for (int i = 0; i < n; ++i) {
        const int64_t row = static_cast<int64_t>(g.FirstShownFrame) + i;
        if (row < 0 || row >= table_.Rows()) continue;
        const int64_t label = table_.FrameLabel(static_cast<int>(row));
        if (label == GraphTable::kNoLabel) continue;
        bool tick = false, number = false;
        if (f * 1000 >= s) {
            tick = true;
            number = label % (f * (in.frameRateInt == 25 ? 50 : 30)) == 0;
        } else {
            const int64_t every = f * 4000 >= s ? 100 : f * 10000 >= s ? 500 : s <= 20000 ? 1000 : 2000;
            tick = number = label % (f * every) == 0;
        }
        if (!tick) continue;
        const int x = RowToX(g, i);
        p.setPen(Qt::black);
        p.drawLine(x, base, x, base + 5);  // DrawFrameTick
        if (number) {
            const int shift = label < 10 ? 0 : label < 100 ? 4 : label < 1000 ? 8 : label < 10000 ? 12 : label < 100000 ? 16 : 20;
            TextOut(p, x - shift, base + 5, std::to_string(label));
        }
    }
}

std::string LightCurveGraph::TitleFirstText(const GraphView& g, const GraphInputs& in) {
    if (in.idTitle) return g.IdentificationText;
    return "Analyzed file name [ " + fileio::ExtractFileName(in.videoFileName) + "]";
}

std::string LightCurveGraph::TitleSecondText(const GraphView& g, const GraphInputs& in) {
    std::string t = in.psfPhotometry ? "/ PSF-" : "/ Aperture-";
    t += g.FieldMode ? "Field photometry / " : "Frame photometry / ";
    if (g.DiffractionMode && !g.MagnitudeCalculatorOpen)
        t += " Object: Distance=" + g.DistanceText + " Velocity=" + g.VelocityText;
    return t;
}

std::string LightCurveGraph::InformationText(const GraphView& g, const GraphInputs& in) {
    if (g.SelectedFrame < 0) return {};
    std::string field1;
    const size_t line = static_cast<size_t>(g.FirstDataLine - 1) + static_cast<size_t>(g.SelectedFrame);
    if (in.lines && line < in.lines->size()) field1 = std::string(FieldScanner{(*in.lines)[line]}.Field(1));
    std::string t = "Frame No." + field1;
    if (!in.hourText.empty())
        t += " / Frame Centre= " + in.hourText + "h" + in.minuteText + "m" + in.secondText + "s" + ",  Frame End= " +
             in.frameEndText + "s";
    if (g.DiffractionMode) {
        t += " / Event centre=";
        t += g.FieldMode ? "Field centre " : "Frame cnetre ";
        if (g.EventOffsetText.empty() || g.EventOffsetText[0] != '-') t += "+";
        t += g.EventOffsetText + "s" + " +/-" + g.EventErrorText + "s" + " / ContactAngle=" + g.ContactAngleText + "deg";
    }
    return t;
}

void LightCurveGraph::Tytleshow(GraphView& g, const GraphInputs& in, QImage& image) {
    QPainter p(&image);
    const std::string first = TitleFirstText(g, in), second = TitleSecondText(g, in);
    p.setFont(GraphFont(8, in.idTitle));
    const int w = TextOut(p, 8, 4, first);
    p.setFont(GraphFont(8));
    TextOut(p, 8 + w + 4, 4, second);
    g.TitleText = first + " " + second;
}

void LightCurveGraph::InformationShow(GraphView& g, const GraphInputs& in, QImage& image) {
    QPainter p(&image);
    p.setFont(GraphFont(8));
    g.InformationText = InformationText(g, in);
    // The whole line's strip, not only the new text's cells: a shorter line drawn
    // after a fit must not keep the tail of the one before.
    const int y = image.height() - 18;
    p.fillRect(QRect(0, y, image.width(), QFontMetrics(p.font()).height()), Qt::white);
    TextOut(p, 8, y, g.InformationText);
}

bool LightCurveGraph::PrepareView(GraphView& g, const GraphInputs& in, int imageWidth, int imageHeight,
                                  WidthChoice& width, ScrollRange& scroll) {
    g.FirstDataLine = FirstDataLineOf(in.formatVersion);
    UpdateTable(in, g);
    // 1-2: the range of the data; the sliders apply once to it.
    if (!in.fixMinMax) GetMinMax(in, g.RawGraphMin, g.RawGraphMax);
    if (g.RawGraphMax - g.RawGraphMin == 0) return false;
    // 3
    g.PlotColumnBase = PlotColumnBaseOf(in.formatVersion);
    // 4
    g.GraphMax = in.maxSlider * g.RawGraphMax / 10;
    g.GraphMin = -(in.minSlider * g.RawGraphMin / 10);
    const double plotHeight = imageHeight - g.PlotMarginTop - g.PlotMarginBottom;
    double range = g.GraphMax - g.GraphMin;
    if (!std::isfinite(range)) return false;  // sliders far outside their bars
    if (range == 0) range = 0.0001;
    g.YScale = plotHeight / range;
    g.YOffset = plotHeight - g.GraphMax * g.YScale;
    // 5
    HRatioCalc(g, in, imageWidth, width, scroll);
    return true;
}

GraphShowResult LightCurveGraph::GraphShow3(GraphView& g, const GraphInputs& in, QImage& image1, QImage* image2,
                                            WidthChoice& width, ScrollRange& scroll) {
    GraphShowResult result;
    if (!PrepareView(g, in, image1.width(), image1.height(), width, scroll)) return result;
    result.timeButtonsEnabled = !(g.DataRowCount < g.ShownFrameCount);
    // 6
    image1.fill(Qt::white);
    result.showImage2 = g.DiffractionMode != 0;
    if (image2) image2->fill(g.DiffractionMode ? QColor(Qt::white) : kButtonFace);
    // 7
    XAxisShow(g, in, image1);
    YAxisShow(g, image1);
    // 8
    int order[3];
    ObjectDrawOrder(in.currentObject, order);
    for (int k : order)
        if (in.objectShown[k - 1]) DrawObject(g, in, image1, k);
    // 9
    DrawFrameLabels(g, in, image1);
    // 10
    g.TitleText.clear();
    g.InformationText.clear();
    if (in.information) {
        Tytleshow(g, in, image1);
        InformationShow(g, in, image1);
    }
    result.drawn = true;
    return result;
}
