#include "dss/dss_retrieval.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <future>

#include "dss/dss_request.h"
#include "engine/application.h"
#include "engine/document.h"
#include "platform/error.h"
#include "platform/http_download.h"

namespace dss {
namespace {

// The download on a thread of its own while `waiting` runs the caller's
// events; without it, here and now.
platform::DownloadResult download(const std::string& url, const std::string& part, const RetrievalSteps& steps) {
    if (!steps.waiting) return platform::DownloadToFile(url, part);
    std::atomic<bool> cancel{false};
    platform::DownloadLimits limits;
    limits.cancel = &cancel;
    auto job = std::async(std::launch::async, [&] { return platform::DownloadToFile(url, part, limits); });
    while (job.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        if (!cancel && !steps.waiting()) cancel = true;
    return job.get();
}

// Opens the plate at `path` into `plate` with the survey's plate solution;
// "" when it serves the reshot whose centre is (raHours, decDeg), else why not:
// a reply can start like FITS and be no usable plate, and a kept picture can be
// another galaxy's whose reshot shared the folder. Opened once, it is the plate
// the picture is made from.
std::string openPlate(engine::Document& plate, const std::string& path, double raHours, double decDeg) {
    try {
        plate.OpenFile(path);
        plate.UseSurveyPlateSolution();
    } catch (const platform::Error& e) {
        return e.description();
    }
    double x = 0, y = 0;
    const bool on = plate.wcs().skyToPixel(raHours * 15, decDeg, x, y) && x >= 0.5 && y >= 0.5 &&
                    x <= plate.ImageWidth() + 0.5 && y <= plate.ImageHeight() + 0.5;
    return on ? "" : "a plate of another field (the reshot's centre is not on it)";
}

} // namespace

void RetrieveDssPicture(const std::string& imagePath, const std::string& folder, const std::string& server,
                        char sep, const RetrievalSteps& steps) {
    namespace fs = std::filesystem;
    engine::Application app;
    app.CloseAll();
    auto image = app.CreateDocument();
    image->OpenFile(imagePath);
    auto survey = app.CreateDocument();
    const std::string fit = folder + "DSSPicture.fit";
    const double ra = std::abs(image->CentreRightAscension()), dec = image->CentreDeclination();
    // a kept picture is used only while it still serves this reshot
    if (!fs::exists(fit) || !openPlate(*survey, fit, ra, dec).empty()) {
        const double height = FieldArcmin(image->ImageHeight(), image->ImageScale());
        const double width = FieldArcmin(image->ImageWidth(), image->ImageScale());
        std::string base = server;
        while (!base.empty() && base.back() == '/') base.pop_back();
        const std::string url = base + DssRequest(ra, dec, height, width, sep);
        if (steps.beforeDownload) steps.beforeDownload();
        // a failed or foreign reply is never kept under the picture's name
        const std::string part = fit + ".part";
        const auto got = download(url, part, steps);
        std::string problem = got.ok ? CheckDssReply(part, MostDssPixels(width, height)) : got.error;
        if (got.ok && problem.empty()) problem = openPlate(*survey, part, ra, dec);
        if (!problem.empty()) {
            std::error_code ec;
            fs::remove(part, ec);
            throw platform::Error(kDownloadFailed, "The survey server " + base + " sent " +
                                                       (got.ok ? problem : "nothing usable: " + problem));
        }
        std::error_code ec;
        fs::rename(part, fit, ec);
        if (ec) throw platform::Error(kDownloadFailed, "Cannot keep the survey picture as " + fit + ": " + ec.message());
        if (steps.downloaded) steps.downloaded();
    }
    const long w = survey->ImageWidth(), h = survey->ImageHeight();
    auto half = [](long v) { return static_cast<int>(std::nearbyint(v / 4.0)); }; // halves to even
    const auto levels = survey->MeasureLevels(half(w), half(h), half(3 * w), half(3 * h));
    image->AlignToThis(engine::kAlignByPlateSolutions, false);
    survey->SetStretchLevels(0, 1.0f, 2, 2, levels[1], levels[0]);
    survey->SaveFile(folder + "DSSPicture.jpg", engine::kFileJpegGrey, true, 1, 1);
    app.CloseAll();
}

} // namespace dss
