// correction IN.csv OUT.csv --row R [--restore]: "Correction" (or "Restore to raw
//   data") with the graph's selection at data row R; prints "reference EDIT1" and
//   "rows EDIT2" when they are shown, or the refusal or conversion message (exit 2);
//   OUT is the table afterwards (written in every case that does not fail).
// asteroid-calc [--diameter D] [--duration T] [--parallax P]: "velocity EDIT4",
//   "distance EDIT7" (empty when not taken over) and "object-distance M".
// asteroid-phase TABLE.csv --frames N: "accepted ROW", "phase P", "offset O", or "none".
// asteroid-blocks IN.csv OUT.csv --frames N --offset O: block averaging; OUT is the
//   reduced table; prints "selected ROW" (-1: no drop).
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/absorption_correction.h"
#include "analysis/integration_base.h"
#include "measure/results_table.h"
#include "platform/file_io.h"
#include "platform/numtext.h"
#include "probe.h"

namespace {

bool ReadTable(const std::string& path, std::vector<std::string>& lines, std::string& error) {
    return fileio::ReadLines(path, lines, error);
}

bool WriteTable(const std::string& path, const std::vector<std::string>& lines, std::string& error) {
    return fileio::WriteFileAtomic(path, fileio::JoinLines(lines), error);
}


int Correction(const std::vector<std::string>& args) {
    std::string rowText, error;
    if (args.size() < 2 || !Option(args, "--row", rowText)) return ProbeFail("correction IN.csv OUT.csv --row R [--restore]");
    const auto row = numtext::ParseInt32(rowText);
    if (!row) return ProbeFail("--row needs a whole number");
    std::vector<std::string> lines;
    if (!ReadTable(args[0], lines, error)) return ProbeFail(error);
    const int version = DetectResultsFormat(lines).version;
    const absorption::Outcome r = Flag(args, "--restore") ? absorption::Restore(lines, version, *row)
                                                          : absorption::Correct(lines, version, *row);
    if (r.editsShown) std::printf("reference %s\nrows %s\n", r.edit1.c_str(), r.edit2.c_str());
    if (r.status == absorption::Status::Refused || r.status == absorption::Status::Error) {
        std::printf("%s\n", r.error.c_str());
        return 2;
    }
    if (!WriteTable(args[1], r.status == absorption::Status::Done ? r.lines : lines, error)) return ProbeFail(error);
    return 0;
}

int AsteroidCalc(const std::vector<std::string>& args) {
    std::string d, t, p;
    Option(args, "--diameter", d);
    Option(args, "--duration", t);
    Option(args, "--parallax", p);
    const auto v = integration::ShadowVelocity(d, t);
    const auto dist = integration::DistanceFromParallax(p);
    std::printf("velocity %s\n", v ? std::to_string(*v).c_str() : "");
    std::printf("distance %s\n", dist ? std::to_string(dist->km).c_str() : "");
    std::printf("object-distance %s\n", dist ? std::to_string(dist->metres).c_str() : "");
    return 0;
}

bool Frames(const std::vector<std::string>& args, int& frames) {
    std::string text;
    if (!Option(args, "--frames", text)) return false;
    const auto n = numtext::ParseInt32(text);
    if (!n || *n < 1 || *n > 64) return false;
    frames = *n;
    return true;
}

int AsteroidPhase(const std::vector<std::string>& args) {
    int frames = 0;
    std::string error;
    if (args.empty() || !Frames(args, frames)) return ProbeFail("asteroid-phase TABLE.csv --frames N (1..64)");
    std::vector<std::string> lines;
    if (!ReadTable(args[0], lines, error)) return ProbeFail(error);
    const ResultsFormat f = DetectResultsFormat(lines);
    if (f.headerLines < 6) {
        std::printf("none\n");
        return 0;
    }
    const std::vector<std::string> rows(lines.begin() + std::min<size_t>(lines.size(), static_cast<size_t>(f.headerLines)), lines.end());
    const auto p = integration::FindPhase(rows, frames);
    if (!p) std::printf("none\n");
    else std::printf("accepted %d\nphase %d\noffset %d\n", p->acceptedRow, p->phase, p->offset);
    return 0;
}

int AsteroidBlocks(const std::vector<std::string>& args) {
    int frames = 0;
    std::string offsetText, error;
    if (args.size() < 2 || !Frames(args, frames) || !Option(args, "--offset", offsetText))
        return ProbeFail("asteroid-blocks IN.csv OUT.csv --frames N --offset O");
    const auto offset = numtext::ParseInt32(offsetText);
    if (!offset || *offset < 0 || *offset >= frames) return ProbeFail("--offset needs 0 .. N - 1");
    std::vector<std::string> lines;
    if (!ReadTable(args[0], lines, error)) return ProbeFail(error);
    const ResultsFormat f = DetectResultsFormat(lines);
    const integration::Blocks b = integration::AverageBlocks(lines, f.headerLines, frames, *offset);
    if (!WriteTable(args[1], b.lines, error)) return ProbeFail(error);
    std::printf("selected %d\n", b.selectedFrame);
    return 0;
}

const ProbeCommand kCorrection("correction", "IN.csv OUT.csv --row R [--restore]", Correction);
const ProbeCommand kCalc("asteroid-calc", "[--diameter D] [--duration T] [--parallax P]", AsteroidCalc);
const ProbeCommand kPhase("asteroid-phase", "TABLE.csv --frames N", AsteroidPhase);
const ProbeCommand kBlocks("asteroid-blocks", "IN.csv OUT.csv --frames N --offset O", AsteroidBlocks);

}  // namespace
