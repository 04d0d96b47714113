#pragma once
// Every file-system step of the survey walk goes through here, so that a test
// can make any one of them fail and check that nothing is lost.
#include <filesystem>
#include <system_error>
#include <vector>

namespace scanner {

class SurveyFiles {
public:
    virtual ~SurveyFiles() = default;
    // The entries of a folder (folders or regular files), unsorted; `ec` set
    // when the folder could not be read whole.
    virtual std::vector<std::filesystem::path> list(const std::filesystem::path& folder, bool folders,
                                                    std::error_code& ec);
    virtual bool isDirectory(const std::filesystem::path& p, std::error_code& ec);
    virtual bool exists(const std::filesystem::path& p, std::error_code& ec);
    virtual void createDirectory(const std::filesystem::path& p, std::error_code& ec);
    virtual void copyFile(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& ec);
    virtual std::filesystem::file_time_type lastWriteTime(const std::filesystem::path& p, std::error_code& ec);
    virtual void setLastWriteTime(const std::filesystem::path& p, std::filesystem::file_time_type t,
                                  std::error_code& ec);
    virtual void remove(const std::filesystem::path& p, std::error_code& ec);
    virtual void rename(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& ec);
};

// The walk's file system: std::filesystem unless a test put another in.
SurveyFiles& Files();
// Puts `files` in place (nullptr: std::filesystem again).
void SetFiles(SurveyFiles* files);

} // namespace scanner
