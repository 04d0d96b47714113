#include "scanner/target_preparation.h"

#include <filesystem>
#include <future>
#include <memory>

#include "engine/application.h"
#include "engine/document.h"
#include "platform/side_by_side.h"
#include "platform/step_trace.h"
#include "platform/error.h"
#include "processing/plate_difference.h"

namespace scanner {

TargetProducts PrepareTargetProducts(const std::string& referenceFile, const std::string& newImageFile,
                                    const std::string& currentFolder) {
    platform::StepTrace trace("prepare");
    // an application of its own: the main window may process meanwhile
    auto app = std::make_shared<engine::Application>();
    auto reference = app->CreateDocument(), reshot = app->CreateDocument();
    std::error_code ec;
    std::filesystem::create_directories(currentFolder, ec);
    if (!std::filesystem::is_directory(currentFolder))
        throw platform::Error(4001, "Cannot create " + currentFolder + ": " + ec.message());
    // reading a file is one core's work: the two are read side by side
    platform::SideBySide([&] { reference->OpenFile(referenceFile); }, [&] { reshot->OpenFile(newImageFile); });
    const float difference = processing::GetPlateDifference(referenceFile, newImageFile);
    (difference < 0 ? reshot : reference)->AdjustByDifference(difference);
    trace.mark("open both");
    reshot->AlignToThis(engine::kAlignByStars, false);
    trace.mark("align");
    // the blink shows these two: it starts as soon as they exist
    const std::string f = currentFolder + "/";
    reshot->SaveFile(f + "ReshotImage.jpg", engine::kFileJpegGrey, true, 1, 1);
    reference->SaveFile(f + "ReferenceImage.jpg", engine::kFileJpegGrey, true, 1, 1);
    trace.mark("two pictures");

    // Saving only reads the documents, and a FITS file is one core's work
    // while subtracting takes every core: the two input images are written
    // beside the subtraction.
    return TargetProducts(std::async(std::launch::async, [app, reference, reshot, f] {
        platform::StepTrace rest("prepare");
        platform::SideBySide(
            [&] {
                reshot->SaveFile(f + "ReshotImage.fts", engine::kFileFitsFloat, false, 1, 1);
                reference->SaveFile(f + "ReferenceImage.fts", engine::kFileFitsFloat, false, 1);
            },
            [&] {
                auto diff = reshot->DuplicateDocument();
                diff->SubtractDocument(*reference);
                diff->SaveFile(f + "Subtracted.jpg", engine::kFileJpegGrey, true, 1, 1);
                diff->SaveFile(f + "Subtracted.fts", engine::kFileFitsFloat, false, 1);
            });
        rest.mark("subtraction, four products");
        app->CloseAll();
    }));
}

} // namespace scanner
