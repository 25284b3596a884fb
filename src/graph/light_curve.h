#pragma once
// Drawing of the light-curve graph into a QImage: the intensity axis and grid, the
// curves and markers of objects A, B and C, level ranges, integration blocks,
// frame labels, the title and the information line. The window reads its controls
// into GraphInputs, calls GraphShow3 and shows the images; tests call the same
// routines on plain images and read pixels back.
//
// Values map to pixels through one mapping (RowToX, ValueToY) used by curves,
// markers, grid and clicks. Pixel coordinates are clamped to +-30,000 before any
// integer conversion, so hostile values cannot overflow.
#include <QColor>
#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

#include "graph/graph_view.h"

// What the drawing reads from the window's controls and the main window.
struct GraphInputs {
    const std::vector<std::string>* lines = nullptr;  // the results table
    uint64_t generation = 0;  // changes whenever lines change other than by appending
    uint8_t formatVersion = 2;
    bool objectShown[3] = {true, false, false};  // CheckBox4..6
    bool dataLines = true;    // CheckBox7 "Data"
    bool axisLines = true;    // CheckBox8 "Axis"
    bool information = true;  // CheckBox9
    bool hilight = false;     // CheckBox10
    bool makeDot = false;     // CheckBox11
    bool idTitle = true;      // CheckBox12 "ID"
    bool fixMinMax = false;   // the main window's "Fix Graph's Min & Max"
    int maxSlider = 10;       // ScrollBar2
    int minSlider = -10;      // ScrollBar3
    int markerRadius = 3;     // UpDown1
    int currentObject = 1;
    int frameStep = 1;
    int frameRateInt = 25;
    std::string videoFileName;
    bool psfPhotometry = false;
    // The main window's time edits Edit24..Edit27.
    std::string hourText, minuteText, secondText, frameEndText;
};

// The Width choice (RadioGroup1) and the graph's ScrollBar1 as the drawing sets them.
struct WidthChoice {
    bool enabled = true;
    int itemIndex = 1;  // 0 "Part", 1 "Entire"
};
struct ScrollRange {
    int position = 0;
    int maximum = 0;
};

// What a drawing leaves for the window's controls.
struct GraphShowResult {
    bool drawn = false;          // false: nothing drawn, the image kept its content
    bool timeButtonsEnabled = false;
    bool showImage2 = false;     // ChartImg2 visible (diffraction mode)
};

// Colours as the class library writes them (0x00BBGGRR).
QColor TColorToQColor(uint32_t tcolor);

// One value of the table as the graph reads it.
enum class CellKind : uint8_t { LineEmpty, FieldEmpty, Number };
struct Cell {
    CellKind kind = CellKind::LineEmpty;
    double value = 0.0;
};

// The table's data rows parsed once per table generation: the three plotted
// values and the frame label of every row. A field that is not a finite number
// counts as empty.
class GraphTable {
public:
    // Parses again only when the lines, their count, generation or format changed.
    void Update(const std::vector<std::string>& lines, uint64_t generation, uint8_t formatVersion, int rowCount);
    int Rows() const { return static_cast<int>(frameLabel_.size()); }
    const Cell& At(int row, int k) const { return cells_[static_cast<size_t>(row) * 3 + static_cast<size_t>(k - 1)]; }
    // The frame number under the plot: field 1 ends in "0" and rounds to a
    // multiple of 10; otherwise kNoLabel.
    static constexpr int64_t kNoLabel = INT64_MIN;
    int64_t FrameLabel(int row) const { return frameLabel_[static_cast<size_t>(row)]; }
    // Smallest and largest value of object k, both starting from 0.
    double Min(int k) const { return min_[k - 1]; }
    double Max(int k) const { return max_[k - 1]; }

private:
    const std::vector<std::string>* source_ = nullptr;
    uint64_t generation_ = ~uint64_t{0};
    size_t lineCount_ = 0;
    uint8_t format_ = 255;
    std::vector<Cell> cells_;
    std::vector<int64_t> frameLabel_;
    double min_[3] = {0, 0, 0}, max_[3] = {0, 0, 0};
};

// Line and column layout of a results format.
int FirstDataLineOf(uint8_t formatVersion);
int PlotColumnBaseOf(uint8_t formatVersion);

// Pixel x of view row i and pixel y of value v (image height h).
int RowToX(const GraphView& g, double i);
int ValueToY(const GraphView& g, int h, double v);

class LightCurveGraph {
public:
    // Max and min of the plotted values of the checked objects (B and C only in
    // formats 1 and 2), both starting from 0.
    void GetMinMax(const GraphInputs& in, double& mn, double& mx);
    // Horizontal scale, shown rows, first shown row and the scroll range.
    void HRatioCalc(GraphView& g, const GraphInputs& in, int image1Width, WidthChoice& width, ScrollRange& scroll);
    // The range, the sliders and the horizontal scale (the steps before any
    // pixel is drawn); false when the range is empty and nothing is to be drawn.
    bool PrepareView(GraphView& g, const GraphInputs& in, int imageWidth, int imageHeight, WidthChoice& width,
                     ScrollRange& scroll);
    // Redraws image1 (and image2 when given) from the table.
    GraphShowResult GraphShow3(GraphView& g, const GraphInputs& in, QImage& image1, QImage* image2, WidthChoice& width,
                               ScrollRange& scroll);
    // The parsed table of the last drawing (for clicks).
    GraphTable& Table() { return table_; }
    void UpdateTable(const GraphInputs& in, const GraphView& g);

    // The two text lines as printed.
    static std::string TitleFirstText(const GraphView& g, const GraphInputs& in);
    static std::string TitleSecondText(const GraphView& g, const GraphInputs& in);
    static std::string InformationText(const GraphView& g, const GraphInputs& in);

    // Parts of the drawing that other windows redraw on their own (the Fresnel
    // panel prints the information line again after a fit).
    void XAxisShow(GraphView& g, const GraphInputs& in, QImage& image);
    void YAxisShow(const GraphView& g, QImage& image);
    void Tytleshow(GraphView& g, const GraphInputs& in, QImage& image);
    void InformationShow(GraphView& g, const GraphInputs& in, QImage& image);

private:
    void DrawObject(GraphView& g, const GraphInputs& in, QImage& image, int k);
    void DrawFrameLabels(const GraphView& g, const GraphInputs& in, QImage& image);
    GraphTable table_;
};

// Object drawing order: the current object last (on top).
void ObjectDrawOrder(int currentObject, int order[3]);
