#pragma once
// The walk of a survey folder tree: one folder per target, numbered folders
// with new images, and the reference and processed folders the walk keeps.
// No Qt: the scanner window drives it through the callbacks.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace scanner {

struct NewImage {
    std::string target;       // the target folder's name
    std::string targetFolder; // its path
    std::string referenceFile, newImageFile;
    std::filesystem::file_time_type referenceTime, newImageTime;
};

struct WalkCallbacks {
    // A new image: prepare and show it; returns when the user is done with it.
    // False: it could not be offered because of the reference (unreadable);
    // its numbered folder then waits for the next scan.
    std::function<bool(const NewImage&)> offer;
    // What failed and why, for the user to find out why an image was not offered.
    std::function<void(const std::string&)> report;
    // Asked between steps: true ends the walk (the window is closing).
    std::function<bool()> stop;
};

// Numbered folders have names of digits only.
bool IsNumberedFolder(const std::string& name);

// The entries of a folder, sorted: numbered names in ascending numeric order,
// other names by name. Files or folders only. Errors give an empty list.
std::vector<std::filesystem::path> ListFolders(const std::filesystem::path& folder);
std::vector<std::filesystem::path> ListFiles(const std::filesystem::path& folder);

void WalkSurvey(const std::string& baseFolder, const WalkCallbacks& callbacks);

} // namespace scanner
