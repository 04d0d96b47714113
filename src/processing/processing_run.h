#pragma once
// The engine sequence of a processing run, shared by the main window and the
// command-line tool: open and check both images, write the log, bring the
// backgrounds together, align the reference to a copy of the reshot, solve it
// anew, subtract, extract the suspicious stars and save the six products.
#include <memory>
#include <string>
#include <vector>

#include "astrometry/catalog.h"
#include "stars/catalog_check_run.h"

namespace engine {
class Application;
class Document;
} // namespace engine

namespace processing {

struct RunInputs {
    std::string referencePath, reshotPath;
    bool examineFromScanner = false;
    astrometry::CatalogSettings catalog;
    double snrSubtracted = 5;
};

// The engine objects of a run; the window keeps them in its own fields.
struct RunHandles {
    std::unique_ptr<engine::Application>& app;
    std::shared_ptr<engine::Document>& reference;
    std::shared_ptr<engine::Document>& reshot;
    std::shared_ptr<engine::Document>& subtracted;
};

enum class RunFailure {
    None = 0,
    ReferenceNotSolved = 1,
    ReshotNotSolved = 2,
    SolveFailed = 3,
    Other = 4, // an engine operation, a file or the log failed
};

struct RunResult {
    RunFailure failure = RunFailure::None;
    std::string message; // the message box text of a failure
    std::string detail;  // the engine's reason behind it, when it gave one
    std::string workFolder, objectName;
    double plateScale = 0;
    int imageWidth = 0, imageHeight = 0;
    std::vector<std::string> suspicious; // pixel lines, brightest first
    bool extractionFailed = false;
    int extractionErrorNumber = 0;
    std::string extractionError;
};

extern const char* const kReferenceNotSolved;
extern const char* const kReshotNotSolved;
extern const char* const kSolveFailed;

// Steps 6 to 23 of a run. On a failure the documents concerned are closed and
// released; the application stays. On success the reference and the reshot
// come back closed, their products written (their memory is given back while
// the difference is searched), and the difference open for the caller, which
// ends the run with CloseAll.
RunResult RunProcessing(const RunInputs& in, RunHandles h);

// The catalog check of a finished run, as "Check against Catalog" takes it:
// the run's files and settings, and the check's own three settings.
stars::CatalogCheckInputs CheckInputs(const RunInputs& in, const RunResult& r, double snrCatalog,
                                      double toleranceDeg, double minRawFlux);

} // namespace processing
