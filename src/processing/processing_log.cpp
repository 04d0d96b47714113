#include "processing/processing_log.h"

#include <fstream>

#include "engine/document.h"

namespace processing {
namespace {
std::string section(const std::string& path, const engine::Document& d) {
    const std::string eol = "\r\n";
    return "File: " + path + eol + "Date/Time: " + d.ReadHeaderKey("DATE-OBS") + eol +
           "Exposure: " + d.ReadHeaderKey("EXPTIME") + eol + "Binning: " + d.ReadHeaderKey("XBINNING") + "*" +
           d.ReadHeaderKey("YBINNING") + eol + "Filter: " + d.ReadHeaderKey("FILTER") + eol;
}
} // namespace

std::string ProcessLogText(const std::string& referencePath, const engine::Document& reference,
                           const std::string& reshotPath, const engine::Document& reshot) {
    return "##Reference##\r\n" + section(referencePath, reference) + "\r\n##ReShot##\r\n" +
           section(reshotPath, reshot);
}

bool WriteProcessLog(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

bool AppendProcessLog(const std::string& path, const std::string& line) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << line << "\r\n";
    out.close();
    return static_cast<bool>(out);
}

} // namespace processing
