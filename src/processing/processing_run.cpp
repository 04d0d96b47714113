#include "processing/processing_run.h"

#include <chrono>
#include <cmath>
#include <exception>
#include <filesystem>
#include <future>
#include <optional>

#include "engine/application.h"
#include "engine/document.h"
#include "platform/error.h"
#include "platform/replace_file.h"
#include "platform/side_by_side.h"
#include "platform/step_trace.h"
#include "processing/plate_difference.h"
#include "processing/processing_log.h"
#include "processing/work_folder.h"
#include "stars/star_lines.h"

namespace processing {

const char* const kReferenceNotSolved = "Reference image not plate solved - cannot continue";
const char* const kReshotNotSolved = "Target image not plate solved - cannot continue";
const char* const kSolveFailed = "Plate solving of aligned reference image failed - cannot continue";

namespace {

void closeAndRelease(std::shared_ptr<engine::Document>& d) {
    if (!d) return;
    try {
        d->CloseDocument();
    } catch (...) {
    }
    d.reset();
}

struct Stop {
    RunFailure failure;
    std::string message;
};

// The log is written under a temporary name and renamed into place when the
// run has ended as the run says it does (its products, or the failed solve):
// a folder whose log is missing holds a run that was cut short, whatever
// products of an older run lie beside its new ones.
struct RunLog {
    std::string path, part;
    explicit RunLog(std::string p) : path(std::move(p)), part(path + ".part") {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
    bool finish() const {
        std::error_code ec;
        std::filesystem::rename(part, path, ec);
        return !ec;
    }
    void abandon() const {
        std::error_code ec;
        std::filesystem::remove(part, ec);
    }
};

// Both images open and plate solved, or the run's message for the one that is
// not. Reading a file is mostly one core's work, so the two are read side by
// side; the reference's trouble is still the one reported first.
void openImages(const RunInputs& in, RunHandles& h, RunResult& r) {
    std::exception_ptr reshotFailed;
    platform::SideBySide(
        [&] {
            try {
                h.reshot->OpenFile(in.reshotPath);
            } catch (...) {
                reshotFailed = std::current_exception();
            }
        },
        [&] { h.reference->OpenFile(in.referencePath); });
    if (h.reference->PlateSolveStatus() != engine::kPlateSolved)
        throw Stop{RunFailure::ReferenceNotSolved, kReferenceNotSolved};
    r.plateScale = h.reference->ImageScale();
    r.imageWidth = h.reference->ImageWidth();
    r.imageHeight = h.reference->ImageHeight();
    if (reshotFailed) std::rethrow_exception(reshotFailed);
    if (h.reshot->PlateSolveStatus() != engine::kPlateSolved)
        throw Stop{RunFailure::ReshotNotSolved, kReshotNotSolved};
}

// The output folder and the log's first lines (under the log's temporary name).
RunLog startLog(const RunInputs& in, const RunHandles& h, RunResult& r) {
    // a reshot without OBJECT names the log after its file
    const bool named = h.reshot->header().has("OBJECT");
    r.objectName = SafeObjectName(named ? h.reshot->ReadHeaderKey("OBJECT")
                                        : std::filesystem::path(in.reshotPath).stem().string());
    r.workFolder = WorkFolder(in.reshotPath, in.examineFromScanner);
    std::error_code ec;
    std::filesystem::create_directories(r.workFolder, ec);
    if (!std::filesystem::is_directory(r.workFolder))
        throw Stop{RunFailure::Other, "Cannot create the output folder " + r.workFolder + ": " + ec.message()};
    RunLog log(r.workFolder + r.objectName + "_ProcessLog.txt");
    std::string logText = ProcessLogText(in.referencePath, *h.reference, in.reshotPath, *h.reshot);
    if (!named) logText += "\r\nThe reshot has no OBJECT keyword: this log is named after its file.\r\n";
    if (!WriteProcessLog(log.part, logText))
        throw Stop{RunFailure::Other, "Cannot write the processing log " + log.path};
    return log;
}

// The aligned reference solved at the reshot's centre and scale; false when
// it failed, with the reason in the log.
bool solveAlignedReference(const RunHandles& h, RunResult& r, const RunLog& log, double raHint, double decHint) {
    h.reference->StartPlateSolve(raHint, decHint, r.plateScale, r.plateScale);
    // The engine solves before it returns; the poll guards against one that does not.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int status = h.reference->PlateSolveStatus();
    while (status == engine::kPlateSolving && std::chrono::steady_clock::now() < deadline)
        status = h.reference->PlateSolveStatus();
    if (status == engine::kPlateSolveFailed || status == engine::kPlateSolving) {
        r.detail = h.reference->lastSolveReason();
        AppendProcessLog(log.part, std::string(kSolveFailed) + ": " + r.detail);
        return false;
    }
    if (!h.reference->lastSolveNote().empty()) AppendProcessLog(log.part, h.reference->lastSolveNote());
    return true;
}

stars::ExtractionRequest differenceSearch(const RunInputs& in, const RunResult& r) {
    stars::ExtractionRequest q;
    q.file = r.workFolder + "Subtracted.fts";
    q.threshold = in.snrSubtracted;
    q.starKind = stars::kImageStars;
    q.plateScale = r.plateScale;
    q.lineKind = stars::kPixelLines;
    q.sortKey = astrometry::kSortByRawFlux;
    q.sortDirection = astrometry::kDescending;
    q.catalog = in.catalog;
    return q;
}

// The suspicious stars of the difference just written.
void searchDifference(const stars::ExtractionRequest& q, RunResult& r) {
    stars::ExtractionFailure failure;
    if (!stars::ExtractStarLines(q, r.suspicious, failure)) {
        r.extractionFailed = true;
        r.extractionErrorNumber = failure.number;
        r.extractionError = failure.description;
    }
}

// The reshot's products, written on another thread under names of their own
// and put in place only when the run goes on past the solve: a failed run
// leaves an older run's products as they were.
class ReshotProducts {
public:
    ReshotProducts(const RunHandles& h, const std::string& folder) : folder_(folder) {
        writing_ = std::async(std::launch::async, [&h, this] {
            h.reshot->SaveFile(pending("ReshotImage.fts"), engine::kFileFitsFloat, true, 1);
            h.reshot->SaveFile(pending("ReshotImage.jpg"), engine::kFileJpegGrey, true, 1, 1);
        });
    }
    ReshotProducts(const ReshotProducts&) = delete;
    ReshotProducts& operator=(const ReshotProducts&) = delete;
    ~ReshotProducts() { discard(); }
    void keep() {
        writing_.get(); // a failed write is the run's failure
        for (const char* name : kNames) {
            std::error_code ec;
            platform::ReplaceFile(pending(name), folder_ + name, ec);
            if (ec) throw Stop{RunFailure::Other, "Cannot write " + folder_ + name + ": " + ec.message()};
        }
    }
    void discard() {
        if (writing_.valid()) {
            try {
                writing_.get();
            } catch (...) {
            }
        }
        for (const char* name : kNames) {
            std::error_code ec;
            std::filesystem::remove(pending(name), ec);
        }
    }

private:
    static constexpr const char* kNames[] = {"ReshotImage.fts", "ReshotImage.jpg"};
    std::string pending(const char* name) const { return folder_ + name + ".pending"; }
    std::string folder_;
    std::future<void> writing_;
};

// The reference's first: closed, it leaves room for the search's peak.
void saveOtherProducts(const RunHandles& h, const std::string& folder) {
    h.reference->SaveFile(folder + "ReferenceImage.fts", engine::kFileFitsFloat, true, 1);
    h.reference->SaveFile(folder + "ReferenceImage.jpg", engine::kFileJpegGrey, true, 1, 1);
    h.reference->CloseDocument();
    h.subtracted->SaveFile(folder + "Subtracted.fts", engine::kFileFitsFloat, true, 1);
    h.subtracted->SaveFile(folder + "Subtracted.jpg", engine::kFileJpegGrey, true, 1, 1);
}

} // namespace

RunResult RunProcessing(const RunInputs& in, RunHandles h) {
    RunResult r;
    std::optional<RunLog> log;
    int stage = 0; // which documents exist, for closing on a failure
    try {
        h.app = std::make_unique<engine::Application>();
        h.app->SetCatalog(in.catalog);
        h.app->CloseAll();
        h.reference = h.app->CreateDocument();
        h.reshot = h.app->CreateDocument();
        stage = 1;

        platform::StepTrace trace("run");
        openImages(in, h, r);
        trace.mark("open both");
        log.emplace(startLog(in, h, r));

        const float difference = GetPlateDifference(in.referencePath, in.reshotPath);
        (difference < 0 ? h.reshot : h.reference)->AdjustByDifference(difference);

        r.plateScale = std::abs(h.reshot->ImageScale());
        r.imageWidth = h.reshot->ImageWidth();
        r.imageHeight = h.reshot->ImageHeight();
        const double raHint = h.reshot->CentreRightAscension(), decHint = h.reshot->CentreDeclination();

        // The reshot's products are written while the reference is aligned
        // to it, which only reads it; then the difference to be takes its
        // pixels over instead of a copy (one image less at the peak).
        const engine::HeaderCards original = h.reshot->header();
        h.reshot->PlaceSolutionLast();
        ReshotProducts reshotProducts(h, r.workFolder);
        h.reshot->AlignToThis(engine::kAlignByStars, false);
        trace.mark("align");
        if (!solveAlignedReference(h, r, *log, raHint, decHint)) {
            // a failed solve leaves the reshot as its Subtracted.fts and no other product
            reshotProducts.discard();
            h.subtracted = h.reshot->HandOverDocument(original);
            stage = 2;
            h.subtracted->SaveFile(r.workFolder + "Subtracted.fts", engine::kFileFitsFloat, true, 1);
            log->finish(); // a failed solve ends a run the way it is meant to end
            log.reset();
            throw Stop{RunFailure::SolveFailed, kSolveFailed};
        }
        trace.mark("solve");
        reshotProducts.keep();
        h.subtracted = h.reshot->HandOverDocument(original);
        stage = 2;
        trace.mark("hand over");
        h.subtracted->SubtractDocument(*h.reference);
        h.reference->ReleaseNoise(); // a lower peak for the search
        trace.mark("subtract");
        // The products are written on another thread while the difference
        // is searched from memory: writing takes one core, and much of the
        // search runs on one core. The search is then kept for Subtracted.fts
        // as written.
        const stars::ExtractionRequest search = differenceSearch(in, r);
        auto products = std::async(std::launch::async, [&h, &r] { saveOtherProducts(h, r.workFolder); });
        const auto found = stars::SearchBeforeWriting(
            search, h.subtracted->header().block(),
            {h.subtracted->pixels(), h.subtracted->noise(), h.subtracted->ImageWidth(), h.subtracted->ImageHeight()});
        trace.mark("search");
        products.get(); // a failed write is the run's failure
        trace.mark("other products");
        if (found) stars::KeepSearch(search, astrometry::StateOfFile(search.file), *found);
        searchDifference(search, r);
        trace.mark("lines");
        if (!log->finish()) throw Stop{RunFailure::Other, "Cannot write the processing log " + log->path};
        return r;
    } catch (const Stop& s) {
        r.failure = s.failure;
        r.message = s.message;
    } catch (const platform::Error& e) {
        r.failure = RunFailure::Other;
        r.message = e.description() + " - cannot continue";
    } catch (const std::bad_alloc&) {
        r.failure = RunFailure::Other;
        r.message = "Not enough memory for these images - cannot continue";
    } catch (const std::exception& e) {
        r.failure = RunFailure::Other;
        r.message = std::string(e.what()) + " - cannot continue";
    }
    if (log) log->abandon(); // stopped part-way: no log says the run was whole
    if (stage >= 1) {
        closeAndRelease(h.reference);
        closeAndRelease(h.reshot);
    }
    if (stage >= 2) closeAndRelease(h.subtracted);
    return r;
}

stars::CatalogCheckInputs CheckInputs(const RunInputs& in, const RunResult& r, double snrCatalog,
                                      double toleranceDeg, double minRawFlux) {
    stars::CatalogCheckInputs c;
    c.subtractedPath = r.workFolder + "Subtracted.fts";
    c.reshotPath = in.reshotPath;
    c.snrSubtracted = in.snrSubtracted;
    c.snrCatalog = snrCatalog;
    c.plateScale = r.plateScale;
    c.catalog = in.catalog;
    c.toleranceDeg = toleranceDeg;
    c.minRawFlux = minRawFlux;
    return c;
}

} // namespace processing
