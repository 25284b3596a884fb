#include "video/capture_name.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/file_io.h"

namespace capture {

const char* const kOverwriteCaption = "File name was still assigned by analyzer.";
const char* const kOverwriteQuestion = "New captured file will be overwrited onto the now analyzed file. Are you sure?";

bool CaptureFolderExists(const std::string& folder) {
    std::error_code ec;
    return !folder.empty() && std::filesystem::is_directory(folder, ec);
}

std::string MissingFolderText(const std::string& folder) {
    return "The folder \"" + folder + "\" does not exist.\r\nChoose an existing folder as the Path to record.";
}

std::string CannotRecordText(const std::string& capturedFileName) {
    return "Could not create " + capturedFileName + ".\r\nThe step log says why; the preview goes on.";
}

std::string NextCaptureBaseName(const std::string& base) {
    const size_t n = base.size();
    const auto digit = [&](size_t i) { return std::isdigit(static_cast<unsigned char>(base[i])) != 0; };
    if (n < 5 || base[n - 4] != '_' || !digit(n - 3) || !digit(n - 2) || !digit(n - 1)) return base + "_001";
    const int next = (base[n - 3] - '0') * 100 + (base[n - 2] - '0') * 10 + (base[n - 1] - '0') + 1;
    std::string number = std::to_string(next);
    if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
    return base.substr(0, n - 3) + number;
}

CaptureName CaptureFileNameSetting(const std::string& folder, const std::string& name, const std::string& videoFileName,
                                   const std::function<bool()>& askOverwrite,
                                   const std::function<bool(const std::string&)>& exists) {
    const auto there = [&](const std::string& path) {
        if (exists) return exists(path);
        std::error_code ec;
        return std::filesystem::exists(path, ec);
    };
    CaptureName r;
    r.edit2 = name.empty() ? "Untitled" : name;
    // A folder typed with its separator does not get a second one, so that the
    // comparison with the open video holds.
    const std::string dir = !folder.empty() && folder.back() == '/' ? folder : folder + "/";
    r.capturedFileName = fileio::ChangeFileExt(dir + r.edit2, ".avi");
    if (r.capturedFileName == videoFileName && !(askOverwrite && askOverwrite())) {
        r.status = 1;
        return r;
    }
    while (there(r.capturedFileName)) {
        const std::string base = fileio::ChangeFileExt(fileio::ExtractFileName(r.capturedFileName), "");
        r.edit2 = NextCaptureBaseName(base);
        r.capturedFileName = fileio::ExtractFilePath(r.capturedFileName) + r.edit2 + ".avi";
    }
    return r;
}

}  // namespace capture
