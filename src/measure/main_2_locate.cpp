// Main window: locating the time line of the overlay in the current frame (IOTA-VTI,
// GHS-OSD, the bright-box grid of a click), its marker, "IOTA-VTI Wide scan", and
// reading the GPS page or position line into the GPS record ("LongLat recognition",
// "Map").
#include "measure/main_2.h"

#include <QStatusBar>

#include <array>
#include <vector>

#include "platform/dialogs.h"
#include "platform/numtext.h"

namespace {

constexpr const char* kUntrustedGridMessage =
    "The IOTA-VTI time line was found, but its digits do not read as a valid time line: check the times read, or "
    "locate again on another frame.";
constexpr uint32_t kGridColour = 0xFF0000;
constexpr uint32_t kCellColour = 0xFF0000;  // blue cell rectangles of the GPS readings

int Even(double v) { return static_cast<int>(numtext::RoundHalfEven(v)); }

}  // namespace

void TPlatform::ConnectLocateHandlers() {
    connect(CheckBox18, &QCheckBox::toggled, this, [this](bool on) { Locator.WideScan = on; });
    connect(Button39, &QPushButton::clicked, this, [this] { ReadIotaGpsPage(); });
    LocateGridHook = [this](const Bitmap24& bmp) { LocateOverlayGrid(bmp); };
    GpsRecord = {};
}

overlay::OverlayControls TPlatform::LocateControls(int width, int height) const {
    overlay::OverlayControls c = SignalControls();
    c.UpDown10 = UpDown10->Position();
    c.ShowField = false;
    c.FrameWidth = width;
    c.FrameHeight = height;
    c.DisplayWidth = std::max(c.DisplayWidth, width);
    c.DisplayHeight = std::max(c.DisplayHeight, height);
    return c;
}

bool TPlatform::FetchForLocate(Bitmap24& bmp) {
    std::string status;
    if (FetchFrame(Position(), bmp, status)) return true;
    // The active reader's own message ("Fail to get a bitmap." and its status).
    ShowFetchError(status);
    return false;
}

void TPlatform::LocateOverlay() {
    Locator.WideScan = CheckBox18->isChecked();
    OverlayReader.OverlayThreshold = OverlayThreshold;
    Bitmap24 bmp;
    if (!FetchForLocate(bmp)) {
        overlay::ApplyDefaultIotaGrid(OverlayReader, Locator, State.FrameWidth);
        OverlayLine.FieldTimeComparison = 2;
        LastLocate = "fetch-failed";
        return;
    }
    // The frames after it tell a grid that reads this frame's digits by chance.
    std::array<Bitmap24, 8> after;
    std::vector<const Bitmap24*> later;
    std::string status;
    for (int k = 1; k <= static_cast<int>(after.size()) && Position() + k <= MaxPosition(); ++k)
        if (FetchFrame(Position() + k, after[static_cast<size_t>(k - 1)], status))
            later.push_back(&after[static_cast<size_t>(k - 1)]);
    const overlay::LocateResult r = overlay::LocateOverlay(OverlayReader, LocateControls(bmp.Width(), bmp.Height()),
                                                           Locator, bmp, later);
    // Times read on a grid that no frame confirms may be wrong in every row: the
    // user must know before measuring.
    NoteLocate(r);
    if (r.status == overlay::LocateStatus::kLocated && !r.trusted) {
        LastLocate = "located, not trusted: " + r.reason;
        statusBar()->showMessage(QString::fromStdString(kUntrustedGridMessage));
    }
}

void TPlatform::LocateOverlayAt(int x, int y) {
    Bitmap24 bmp;
    if (!FetchForLocate(bmp)) {
        LastLocate = "fetch-failed";
        return;
    }
    overlay::OverlayControls c = LocateControls(bmp.Width(), bmp.Height());
    c.TimeInserterType = overlay::kGhsOsd;
    const overlay::LocateResult r = overlay::LocateOverlayAt(OverlayReader, c, Locator, bmp, x, y);
    NoteLocate(r);
}

void TPlatform::NoteLocate(const overlay::LocateResult& r) {
    if (r.status == overlay::LocateStatus::kLocated) {
        OverlayLine.FieldTimeComparison = 2;
        GridShown = 1;
        LastLocate = "located";
        statusBar()->clearMessage();
    } else {
        // The grid before stays; the reason is kept for the status line of the harness.
        LastLocate = (r.status == overlay::LocateStatus::kNotRun ? "not-run: " : "not-found: ") + r.reason;
    }
}

void TPlatform::LocateOverlayGrid(const Bitmap24& bmp) {
    const bool ok = overlay::LocateOverlayGrid(OverlayReader, Locator, bmp, UpDown4->Position(), TIViMarkerPoint.x,
                                               TIViMarkerPoint.y);
    State.OverlayGridLocated = OverlayReader.OverlayGridLocated;
    if (ok) {
        OverlayLine.FieldTimeComparison = 2;
        GridShown = 1;
    }
    LastLocate = ok ? "located" : "not-found: no bright boxes at the point";
}

void TPlatform::PlaceGhsOverlay(int x, int y) {
    MeasureState& s = State;
    s.OverlayGridLocated = 1;
    Locator.GhsLocateEnabled = 1;
    Locator.GhsSearchPending = 0;
    LocateOverlayAt(numtext::RoundHalfAway((x - 18) / 20.0) * 20 + 14, numtext::RoundHalfAway((y - 7) / 18.0) * 18 + 9);
    ApplyDetectedFieldOrder();
}

void TPlatform::PositionMarkerForTIViShow2() {
    const MeasureState& s = State;
    if (!GridShown || !s.OverlayGridLocated) return;
    const int cells = s.TimeInserterType == 0 ? 22 : s.TimeInserterType == 1 ? 8 : 9;
    const double pitch = static_cast<double>(OverlayReader.OverlayCharPitch);
    const int row = OverlayReader.OverlayRow;
    const int top = row < 578 ? row - 2 : row;
    for (int i = 0; i < cells; ++i) {
        const double x = Locator.OverlayCharX[static_cast<size_t>(i)];
        DrawRectangleOutline(Image1->Picture(), Even(x - pitch / 2), top, Even(x + pitch / 2),
                             row + Locator.OverlayCharHeight, kGridColour);
    }
}

void TPlatform::ShowGpsCells(const overlay::GpsResult& r) {
    for (int i = 0; i < r.markCount; ++i) {
        const overlay::CellMark& m = r.marks[static_cast<size_t>(i)];
        DrawRectangleOutline(Image1->Picture(), m.x1, m.y1, m.x2, m.y2, kCellColour);
    }
    Image1->Changed();
}

void TPlatform::ReadIotaGpsPage() {
    Bitmap24 bmp;
    if (!FetchForLocate(bmp)) return;
    overlay::OverlayControls c = LocateControls(bmp.Width(), bmp.Height());
    c.TimeInserterType = overlay::kIotaVti;
    const overlay::GpsResult r = overlay::ReadIotaGpsPage(OverlayReader, c, Locator, bmp, GpsRecord);
    LastGps = r.read ? "read" : "not-read: " + r.reason;
    if (r.read) ShowGpsCells(r);
}

void TPlatform::ReadGhsGpsLine(int x, int y) {
    Bitmap24 bmp;
    if (!FetchForLocate(bmp)) return;
    overlay::OverlayControls c = LocateControls(bmp.Width(), bmp.Height());
    c.TimeInserterType = overlay::kGhsOsd;
    const overlay::GpsResult r = overlay::ReadGhsGpsLine(OverlayReader, c, Locator, bmp, x, y, GpsRecord);
    LastGps = r.read ? "read" : "not-read: " + r.reason;
    if (r.read) ShowGpsCells(r);
}

// "Map" goes through the opener table, which reads the record first (ReadGpsForMap).
void TPlatform::Map1Click() { OpenWindow("Map1"); }

void TPlatform::ReadGpsForMap() {
    MeasureState& s = State;
    if (!s.VideoOpen) return;
    if (s.TimeInserterType == 0) {
        ReadIotaGpsPage();
    } else if (s.TimeInserterType == 2) {
        // The reading of the position line needs both switches; they are set for it.
        OverlayReader.ReadLetters = true;
        Locator.GhsLocateEnabled = 1;
        ReadGhsGpsLine(180, 386);
        OverlayReader.ReadLetters = false;
    }
}

std::string TPlatform::GridProbeText() const {
    std::string cols;
    for (int i = 0; i <= 28; ++i)
        cols += (i ? "," : "") + std::to_string(OverlayReader.CharacterColumns[5][static_cast<size_t>(i)]);
    char pitch[64], level[64];
    std::snprintf(pitch, sizeof pitch, "%.12Lg", OverlayReader.OverlayCharPitch);
    std::snprintf(level, sizeof level, "%.12g", OverlayReader.OverlayLevel);
    return "row=" + std::to_string(OverlayReader.OverlayRow) + " pitch=" + pitch +
           " height=" + std::to_string(Locator.OverlayCharHeight) + " level=" + level +
           " located=" + std::to_string(State.OverlayGridLocated) + " last=" + LastLocate + "\ncolumns=" + cols;
}

std::string TPlatform::GpsProbeText() const {
    const overlay::GpsRecord& g = GpsRecord;
    return "Satellites=" + g.Satellites + "\nHDOP=" + g.HDOP + "\nUTC=" + g.UTC + "\nLatitude=" + g.Latitude +
           "\nLongitude=" + g.Longitude + "\nAltitude=" + g.Altitude + "\nWGSSeparation=" + g.WGSSeparation;
}
