#pragma once
// Fetching the survey picture of a reshot's field and bringing it into the
// reshot's geometry: DSSPicture.fit (downloaded once per folder) and
// DSSPicture.jpg (made anew every time).
#include <functional>
#include <string>

namespace dss {

struct RetrievalSteps {
    // after the download, before the engine work (the window changes a caption)
    std::function<void()> downloaded;
    // just before the download (the window lets pending events run)
    std::function<void()> beforeDownload;
    // Called every few hundredths of a second while the download runs on a
    // thread of its own (the window paints and answers); false cancels it.
    std::function<bool()> waiting;
};

// Throws platform::Error (engine errors, and kDownloadFailed for a download
// that failed or did not bring a FITS file; nothing is then kept as DSSPicture.fit).
void RetrieveDssPicture(const std::string& imagePath, const std::string& folder, const std::string& server,
                        char decimalSeparator, const RetrievalSteps& steps = {});

inline constexpr int kDownloadFailed = 3001;

} // namespace dss
