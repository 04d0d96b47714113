#pragma once
// The processing log: which two images a run compared, and when and how they
// were taken. Lines end with CR LF.
#include <string>

namespace engine {
class Document;
}

namespace processing {

std::string ProcessLogText(const std::string& referencePath, const engine::Document& reference,
                           const std::string& reshotPath, const engine::Document& reshot);

// Creates (replaces) the file; false when it cannot be written.
bool WriteProcessLog(const std::string& path, const std::string& text);
// Adds one line (CR LF) at the end; false when it cannot be written.
bool AppendProcessLog(const std::string& path, const std::string& line);

} // namespace processing
