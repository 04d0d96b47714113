#include "scanner/survey_files.h"

namespace scanner {
namespace fs = std::filesystem;

std::vector<fs::path> SurveyFiles::list(const fs::path& folder, bool folders, std::error_code& ec) {
    std::vector<fs::path> out;
    ec.clear();
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        const bool isDir = it->is_directory(e2);
        if (e2) continue; // vanished between the listing and the look
        if (isDir == folders && (folders || it->is_regular_file(e2))) out.push_back(it->path());
    }
    return out;
}

bool SurveyFiles::isDirectory(const fs::path& p, std::error_code& ec) { return fs::is_directory(p, ec); }
bool SurveyFiles::exists(const fs::path& p, std::error_code& ec) { return fs::exists(p, ec); }

void SurveyFiles::createDirectory(const fs::path& p, std::error_code& ec) {
    if (!fs::create_directory(p, ec) && !ec) ec = std::make_error_code(std::errc::file_exists);
}

void SurveyFiles::copyFile(const fs::path& from, const fs::path& to, std::error_code& ec) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
}

fs::file_time_type SurveyFiles::lastWriteTime(const fs::path& p, std::error_code& ec) {
    return fs::last_write_time(p, ec);
}

void SurveyFiles::setLastWriteTime(const fs::path& p, fs::file_time_type t, std::error_code& ec) {
    fs::last_write_time(p, t, ec);
}

void SurveyFiles::remove(const fs::path& p, std::error_code& ec) {
    if (!fs::remove(p, ec) && !ec) ec = std::make_error_code(std::errc::no_such_file_or_directory);
}

void SurveyFiles::rename(const fs::path& from, const fs::path& to, std::error_code& ec) { fs::rename(from, to, ec); }

namespace {
SurveyFiles realFiles;
SurveyFiles* current = &realFiles;
} // namespace

SurveyFiles& Files() { return *current; }
void SetFiles(SurveyFiles* files) { current = files ? files : &realFiles; }

} // namespace scanner
