#pragma once
// The light-curve graph's view state: the graph unit's variables, shared by the
// graph window, its drawing, the diffraction panel and the analysis windows. One
// instance, `Graph`, lives for the whole program so that the view survives closing
// and reopening the window. User-interface thread only.
#include <cstdint>
#include <string>

#include "measure/measure_state.h"

struct GraphView {
    // ---- Rows and view ----
    int FirstDataLine = 7;    // 1-based line of the first data row (4 in format 0)
    int PlotColumnBase = 11;  // column of object A's plotted value (5 in format 0)
    int DataRowCount = 1;
    int FirstShownFrame = 0;
    int ShownFrameCount = 0;
    int SelectedFrame = -1;
    uint8_t FieldMode = 0;
    uint8_t DiffractionMode = 0;
    uint8_t EntireView = 1;
    int ScaleLevel = 5;
    int MarkerRadius = 3;
    uint8_t NarrowLayoutSet = 0;
    uint8_t RecentreOnWidthChange = 0, RecentreOnLayoutChange = 0, RecentreOnScaleChange = 0;

    // ---- Integration blocks (set by the integration windows) ----
    uint8_t IntegrationMarking = 0;
    int IntegrationPhase = 0;
    int IntegrationFrames = 0;
    uint8_t IntegratedMeasurementDone = 0;

    // ---- Mapping ----
    int PlotMarginBottom = 40, PlotMarginLeft = 50, PlotMarginTop = 20, PlotMarginRight = 10;
    int PlotImageWidth = 740;
    double YScale = 1.0, YOffset = 0.0;
    double XScale = 2.0, XScaleBase = 1.0, FitXScale = 0.0;
    double GraphMax = 0.0, GraphMin = 0.0;
    // The range GetMinMax found last, before the slider factors; "Fix Graph's Min &
    // Max" keeps drawing from it.
    double RawGraphMax = 0.0, RawGraphMin = 0.0;
    int YGridStep = 10;
    PerObject<int> SelectedMarkerX{{-100, -100, -100}}, SelectedMarkerY{{-100, -100, -100}};

    // ---- Level ranges, fixed levels and the processing range (the Fresnel panel) ----
    int BeforeRangeStart = -30, BeforeRangeEnd = -11;
    int AfterRangeStart = 11, AfterRangeEnd = 30;
    int StepRangeStart = 0, StepRangeEnd = 0;
    int ProcessRangeStart = -30, ProcessRangeEnd = 30;
    uint8_t UpperLevelFixed = 0, LowerLevelFixed = 0;
    int UpperFixedFrom = 0, UpperFixedTo = 0, LowerFixedFrom = 0, LowerFixedTo = 0;
    uint8_t SelectArea = 0;
    // Ranges pinned by the level statistics (-1: not pinned).
    int BeforeFrameFrom = -1, BeforeFrameTo = -1, AfterFrameFrom = -1, AfterFrameTo = -1;
    double LevelBeforeMean = -1000000.0, LevelAfterMean = -1000000.0;
    double UpperLevel = -1000000.0, LowerLevel = -1000000.0;
    // The rest of the level statistics (DRAverage) and the fit's results.
    double LevelStepMean = 0.0, LevelBeforeStdErr = 0.0, LevelStepStdErr = 0.0, LevelAfterStdErr = 0.0;
    int LevelBeforeCount = 0, LevelStepCount = 0, LevelAfterCount = 0;
    int FitTimeShift = 0;  // 0.1 ms per interval unit
    uint8_t IsReappearance = 0;
    double StarDiscTimeRadius = 0.0;
    int ObservedWindowLength = 0;

    // ---- Window state that survives the window ----
    uint8_t GraphResetPending = 1;
    int PreselectedFrame = -1;
    int SelectedMinOffset = 0, SelectedMaxOffset = 0;
    int LastRowIndex = 0;
    PerObject<uint8_t> ObjectBoxChecked{{1, 0, 0}}, ObjectBoxEnabled{{0, 0, 0}};
    int YMaxSlider = 10, YMinSlider = -10;
    uint8_t DataLinesShown = 1, AxisLinesShown = 1;
    uint8_t AvgBkgLaunched = 0;

    // ---- Other windows' flags the graph reads or resets ----
    uint8_t IdentificationOpen = 0, AvgBkgOpen = 0, CorrectionOpen = 0, MagnitudeCalculatorOpen = 0;
    uint8_t IntegrationBaseOpen = 0, IdentificationFromGraph = 0;
    uint8_t DoubleStarMode = 0;
    double DoubleStarTimeDiff = 0.0, DoubleStarStepHeight = 0.0;
    double StarAngularDiameter = 0.0;
    double FresnelRate = 1.0, ContactAngle = 0.0;
    uint8_t FitDone = 0;
    int FftSize = 1024;
    int GraphWindowTop = 0, GraphWindowLeft = 0;

    // ---- Texts of the title and information lines ----
    std::string IdentificationText;
    int IdentificationTextX = 400, IdentificationTextY = 12;
    std::string DistanceText, VelocityText;
    std::string EventOffsetText, EventErrorText, ContactAngleText;
    // The two lines as the last drawing printed them (empty when not drawn).
    std::string TitleText, InformationText;
};

// The program's graph view.
extern GraphView Graph;
