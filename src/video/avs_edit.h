#pragma once
// The script editor's file road, without any window. Scripts are single-byte text.
//
// Loading turns every line end (CR LF, LF, CR) into '\n' and keeps a final line
// end, so that the editor shows the file's lines and an untouched script saves
// back byte for byte when its lines ended in CR LF. A file that cannot be read as
// text (missing, not a regular file, unreadable, or over kMaxScriptBytes) is
// refused with an error and leaves the caller's text alone.
//
// Saving writes each line of the editor followed by CR LF, as the program's own
// script writer does; a last empty line (the text ends with a line end) is no
// line. Saves go through fileio::WriteFileAtomic: a failure leaves the old file.
#include <cstddef>
#include <string>
#include <string_view>

namespace avsedit {

// Scripts are a few lines; a larger file is not one.
constexpr size_t kMaxScriptBytes = size_t{16} << 20;

// The editor's text of the file at `path`. False with a short error otherwise.
bool LoadScript(const std::string& path, std::string& text, std::string& error);

// The bytes a save of the editor's `text` writes.
std::string ScriptFileBytes(std::string_view text);

// Saves `text` to `path` (atomically). False with a short error otherwise.
bool SaveScript(const std::string& path, std::string_view text, std::string& error);

// "Save as": the chosen name with the extension ".avs" in place of any other.
std::string SaveAsName(const std::string& chosen);

// The box for a script that could not be opened, naming `name`.
std::string CouldNotOpenText(const std::string& name);
// The box for a save that failed.
std::string CouldNotSaveText(const std::string& path, const std::string& error);
// The question before "Save as" replaces a file other than the one being edited.
std::string ReplaceQuestion(const std::string& path);

// True when a save to `target` would replace an existing file that is not
// `editing` (compared after following links and relative parts).
bool ReplacesAnotherFile(const std::string& target, const std::string& editing);

}  // namespace avsedit
