#pragma once
// The name of the next captured file, from the capture window's folder (Edit1) and
// name (Edit2), without any window.
//
//   - An empty name is "Untitled". The file is FOLDER/NAME with the extension
//     ".avi" (appended, or in place of any other).
//   - When that is the video open for measurement, `askOverwrite` is asked first;
//     anything but Yes refuses (status 1), and nothing else changes.
//   - While a file of that name exists the name is numbered: a name whose last
//     four characters are "_" and three digits gets the number plus one (three
//     digits at least: run_009 -> run_010, run_099 -> run_100, run_999 -> run_1000);
//     any other name (also one shorter than five characters) gets "_001".
// The numbering ends: no step gives a name given before (the number grows or the
// name gets longer), and only the folder's finitely many files make it step.
#include <functional>
#include <string>

namespace capture {

struct CaptureName {
    int status = 0;                // 0 go ahead, 1 the user refused
    std::string capturedFileName;  // the full path to record to
    std::string edit2;             // the name box afterwards (without ".avi" once numbered)
};

// The question asked before the video open for measurement is overwritten.
extern const char* const kOverwriteCaption;
extern const char* const kOverwriteQuestion;

// `exists` says whether a file is there (tests give their own; null: the file system).
CaptureName CaptureFileNameSetting(const std::string& folder, const std::string& name, const std::string& videoFileName,
                                   const std::function<bool()>& askOverwrite,
                                   const std::function<bool(const std::string&)>& exists = nullptr);

// F1 records only into a folder that is there; otherwise this box names it and
// the preview goes on.
bool CaptureFolderExists(const std::string& folder);
std::string MissingFolderText(const std::string& folder);
// The box when the file to record to could not be created.
std::string CannotRecordText(const std::string& capturedFileName);

// The numbered follower of a base name (no folder, no extension).
std::string NextCaptureBaseName(const std::string& base);

}  // namespace capture
