#include "scanner/target_preparation.h"

#include <filesystem>

#include "engine/application.h"
#include "engine/document.h"
#include "engine/step_trace.h"
#include "platform/error.h"
#include "processing/plate_difference.h"

namespace scanner {

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
    reference->OpenFile(referenceFile);
    reshot->OpenFile(newImageFile);
    const float difference = processing::GetPlateDifference(referenceFile, newImageFile);
    (difference < 0 ? reshot : reference)->AdjustByDifference(difference);
    trace.mark("open both");
    reshot->AlignToThis(3, false);
    trace.mark("align");
    auto diff = reshot->DuplicateDocument();
    diff->SubtractDocument(*reference);
    trace.mark("duplicate, subtract");
    const std::string f = currentFolder + "/";
    diff->SaveFile(f + "Subtracted.fts", 3, false, 1);
    diff->SaveFile(f + "Subtracted.jpg", 6, true, 1, 1);
    reshot->SaveFile(f + "ReshotImage.fts", 3, false, 1, 1);
    reshot->SaveFile(f + "ReshotImage.jpg", 6, true, 1, 1);
    reference->SaveFile(f + "ReferenceImage.fts", 3, false, 1);
    reference->SaveFile(f + "ReferenceImage.jpg", 6, true, 1, 1);
    trace.mark("six products");
    diff->CloseDocument();
    reshot->CloseDocument();
    reference->CloseDocument();
    app.CloseAll();
    trace.mark("close");
}

} // namespace scanner
