#include "scanner/target_preparation.h"

#include <exception>
#include <filesystem>
#include <future>
#include <utility>

#include "engine/application.h"
#include "engine/document.h"
#include "engine/step_trace.h"
#include "platform/error.h"
#include "processing/plate_difference.h"

namespace scanner {
namespace {

// `first` on a thread of its own while `second` runs here; both always run to
// their end, and `first`'s failure is the one reported when both fail.
template <typename First, typename Second>
void sideBySide(First&& first, Second&& second) {
    auto job = std::async(std::launch::async, std::forward<First>(first));
    std::exception_ptr failed;
    try {
        second();
    } catch (...) {
        failed = std::current_exception();
    }
    job.get();
    if (failed) std::rethrow_exception(failed);
}

} // namespace

void PrepareTargetProducts(const std::string& referenceFile, const std::string& newImageFile,
                           const std::string& currentFolder) {
    engine::StepTrace trace("prepare");
    engine::Application app;
    app.CloseAll();
    auto reference = app.CreateDocument(), reshot = app.CreateDocument();
    std::error_code ec;
    std::filesystem::create_directories(currentFolder, ec);
    if (!std::filesystem::is_directory(currentFolder))
        throw platform::Error(4001, "Cannot create " + currentFolder + ": " + ec.message());
    // reading a file is one core's work: the two are read side by side
    sideBySide([&] { reference->OpenFile(referenceFile); }, [&] { reshot->OpenFile(newImageFile); });
    const float difference = processing::GetPlateDifference(referenceFile, newImageFile);
    (difference < 0 ? reshot : reference)->AdjustByDifference(difference);
    trace.mark("open both");
    reshot->AlignToThis(3, false);
    trace.mark("align");

    auto diff = reshot->DuplicateDocument();
    diff->SubtractDocument(*reference);
    trace.mark("duplicate, subtract");

    // Writing a FITS file is one core's work; each picture's compression takes
    // every core. So the three files are written on a thread of their own
    // while the three pictures are made (saving only reads the documents).
    const std::string f = currentFolder + "/";
    // (the last file after the pictures, which take about as long as two files)
    sideBySide(
        [&] {
            diff->SaveFile(f + "Subtracted.fts", 3, false, 1);
            reshot->SaveFile(f + "ReshotImage.fts", 3, false, 1, 1);
        },
        [&] {
            diff->SaveFile(f + "Subtracted.jpg", 6, true, 1, 1);
            reshot->SaveFile(f + "ReshotImage.jpg", 6, true, 1, 1);
            reference->SaveFile(f + "ReferenceImage.jpg", 6, true, 1, 1);
            reference->SaveFile(f + "ReferenceImage.fts", 3, false, 1);
        });
    trace.mark("six products");
    app.CloseAll();
}

} // namespace scanner
