#include "engine/document.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/alignment.h"
#include "engine/application.h"
#include "engine/errors.h"
#include "engine/image_writers.h"
#include "engine/picture_levels.h"
#include "engine/plate_solving.h"
#include "engine/read_image.h"
#include "engine/subtraction.h"
#include "engine/survey_plate.h"
#include "platform/big_buffers.h"

namespace engine {

Document::Document(std::shared_ptr<Registry> registry) : registry_(std::move(registry)) {}

Document::~Document() { CloseDocument(); }

void Document::requireOpen(const char* what) const {
    if (!open_) throw Error(kNoDocument, std::string(what) + " needs an open image");
}

void Document::refreshSolution() {
    const std::string block = image_.header.solutionBlock();
    wcs_ = astrometry::Wcs::FromHeader(block, static_cast<int>(block.size() / 80));
    // a solution must place the image's centre on the sky
    double ra, dec;
    if (wcs_.valid() && !wcs_.pixelToSky((image_.width + 1) / 2.0, (image_.height + 1) / 2.0, ra, dec))
        wcs_ = astrometry::Wcs();
    status_ = wcs_.valid() ? kPlateSolved : kNoPlateSolution;
}

SkyStats Document::sky() const {
    std::lock_guard<std::mutex> lock(skyMutex_);
    if (!sky_) sky_ = MeasureSky(image_.pixels);
    return *sky_;
}

void Document::OpenFile(const std::string& path) {
    ReadResult r = ReadImage(path);
    CloseDocument();
    image_ = std::move(r.image);
    sky_ = r.sky;
    difference_ = r.difference.has_value();
    if (r.difference) zeroPoint_ = r.difference->zeroPoint;
    geometry_ = registry_->newGeometry();
    open_ = true;
    registry_->add(this);
    refreshSolution();
}

void Document::CloseDocument() {
    if (!open_) return;
    registry_->remove(this);
    open_ = false;
    sky_.reset();
    image_ = Image();
    wcs_ = astrometry::Wcs();
    status_ = kNoPlateSolution;
    stretch_.reset();
    zeroPoint_.reset();
    difference_ = false;
}

double Document::ImageScale() const {
    if (!wcs_.valid()) return 0;
    return wcs_.scaleAt((image_.width + 1) / 2.0, (image_.height + 1) / 2.0);
}

double Document::CentreRightAscension() const {
    double ra = 0, dec = 0;
    wcs_.pixelToSky((image_.width + 1) / 2.0, (image_.height + 1) / 2.0, ra, dec);
    return ra / 15.0;
}

double Document::CentreDeclination() const {
    double ra = 0, dec = 0;
    wcs_.pixelToSky((image_.width + 1) / 2.0, (image_.height + 1) / 2.0, ra, dec);
    return dec;
}

std::string Document::ReadHeaderKey(const std::string& key) const { return image_.header.value(key); }

void Document::AdjustByDifference(float difference) {
    requireOpen("AdjustByDifference");
    const float d = std::abs(difference);
    if (image_.saturation) *image_.saturation += d;
    auto& pixels = image_.pixels;
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < static_cast<long long>(pixels.size()); ++i) pixels[static_cast<std::size_t>(i)] += d;
    if (sky_) sky_->level += d;
    char text[96];
    std::snprintf(text, sizeof text, "Raised by %.3f ADU to the other image's background", d);
    image_.header.history(text);
}

std::shared_ptr<Document> Document::DuplicateDocument() {
    requireOpen("DuplicateDocument");
    return duplicate(platform::CopyFast(image_.pixels), platform::CopyFast(image_.noise), image_.header);
}

std::shared_ptr<Document> Document::HandOverDocument(const HeaderCards& header) {
    requireOpen("HandOverDocument");
    auto copy = duplicate(std::move(image_.pixels), std::move(image_.noise), header);
    CloseDocument();
    return copy;
}

void Document::PlaceSolutionLast() {
    requireOpen("PlaceSolutionLast");
    Image solution;
    solution.header = image_.header;
    TakeSolution(image_, solution);
    refreshSolution();
}

std::shared_ptr<Document> Document::duplicate(std::vector<float> pixels, std::vector<float> noise,
                                              const HeaderCards& header) {
    auto copy = std::make_shared<Document>(registry_);
    Image& c = copy->image_;
    c.path = image_.path;
    c.width = image_.width;
    c.height = image_.height;
    c.pixels = std::move(pixels);
    c.noise = std::move(noise);
    c.header = header;
    c.gain = image_.gain;
    c.saturation = image_.saturation;
    c.intensityScale = image_.intensityScale;
    copy->sky_ = sky_;
    copy->difference_ = difference_;
    copy->zeroPoint_ = zeroPoint_;
    copy->stretch_ = stretch_;
    copy->geometry_ = geometry_; // the same pixel grid
    copy->open_ = true;
    registry_->add(copy.get());
    copy->refreshSolution();
    if (status_ == kPlateSolveFailed) copy->status_ = kPlateSolveFailed;
    return copy;
}

void Document::AlignToThis(int mode, bool) {
    requireOpen("AlignToThis");
    if (mode != kAlignByPlateSolutions && mode != kAlignByStars)
        throw Error(kAlignFailed, "Unknown alignment mode " + std::to_string(mode));
    const auto others = registry_->documents();
    for (Document* d : others)
        if (d != this) alignOther(*d, mode);
}

void Document::alignOther(Document& other, int mode) {
    if (other.geometry_ == geometry_ && other.image_.width == image_.width && other.image_.height == image_.height) {
        // already on this grid (a copy of this image): only the solution is taken over
        TakeSolution(other.image_, image_);
        other.refreshSolution();
        return;
    }
    const Alignment how = AlignImage({image_, sky(), wcs_}, other.image_, other.sky(), other.wcs_, mode);
    other.sky_.reset();
    alignStars_ = other.alignStars_ = how.stars;
    alignRms_ = other.alignRms_ = how.rms;
    other.geometry_ = geometry_;
    TakeAlignment(other.image_, image_, how);
    other.refreshSolution();
}

void Document::SubtractDocument(Document& other) {
    requireOpen("SubtractDocument");
    other.requireOpen("SubtractDocument");
    if (other.image_.width != image_.width || other.image_.height != image_.height)
        throw Error(kSubtractFailed, "Cannot subtract " + other.image_.name() +
                                         ": it is not aligned to this image (the sizes differ)");
    const SubtractionSettings settings{registry_->catalog, registry_->psfMatching};
    const Subtraction s = SubtractImages(image_, sky(), wcs_, other.image_, other.sky(), settings);
    sky_ = s.sky;
    difference_ = true;
    zeroPoint_ = s.record.zeroPoint;
    fluxScale_ = s.record.fluxScale;
}

const Document* Document::solvedOnThisGrid() const {
    for (const Document* d : registry_->documents())
        if (d != this && d->geometry_ == geometry_ && d->wcs_.valid()) return d;
    return nullptr;
}

void Document::StartPlateSolve(double raHours, double decDeg, double scaleX, double scaleY) {
    requireOpen("StartPlateSolve");
    status_ = kPlateSolving;
    solveReason_.clear();
    solveNote_.clear();
    const PlateSolveHints hints{raHours, decDeg, scaleX, scaleY};
    const PlateSolveOutcome out = SolveImagePlate(image_, sky(), hints, registry_->catalog);
    astrometry::SolveResult r = out.result;
    std::string against = "catalog stars";
    // Without a catalog of the field, an aligned image is solved against the
    // stars of the solved image it was aligned to: a user without a catalog can still process.
    const Document* solved = out.catalogMissing && !r.solved ? solvedOnThisGrid() : nullptr;
    if (solved) {
        const std::string name = solved->image_.name();
        r = SolveAgainstImage(image_, sky(), hints, solved->image_, solved->sky(), solved->wcs_);
        if (r.solved) {
            against = "stars of " + name + " (no catalog covers the field)";
            solveNote_ = "Solved against the stars of " + name + ": " + out.result.reason;
        } else {
            r.reason = out.result.reason + "; against the stars of " + name + ": " + r.reason;
        }
    }
    if (!r.solved) {
        status_ = kPlateSolveFailed;
        solveReason_ = r.reason;
        return;
    }
    TakeNewSolution(image_, r.solution, against);
    refreshSolution();
    if (status_ != kPlateSolved) {
        status_ = kPlateSolveFailed;
        solveReason_ = "The new plate solution cannot be used";
    }
}

void Document::ReleaseNoise() {
    image_.noise.clear();
    image_.noise.shrink_to_fit();
}

void Document::SaveFile(const std::string& path, int type, bool, int, int) {
    requireOpen("SaveFile");
    if (type == kFileFitsFloat) {
        HeaderCards h = image_.header;
        h.history("Saved by Vospen");
        WriteFloatFits(path, image_.pixels, image_.width, image_.height, h, difference_ ? &image_.noise : nullptr);
        return;
    }
    if (type == kFileJpegGrey) {
        const Stretch s = stretch_ ? Stretch{(*stretch_)[0], (*stretch_)[1], false} : ProductStretch(sky(), difference_);
        WriteGreyJpeg(path, image_.pixels, image_.width, image_.height, s);
        return;
    }
    throw Error(kBadFileType, "Unknown file type " + std::to_string(type) + " (3 FITS, 6 JPEG)");
}

void Document::UseSurveyPlateSolution() {
    requireOpen("UseSurveyPlateSolution");
    image_.header = SurveyPlateCards(image_.header);
    refreshSolution();
    if (status_ != kPlateSolved) throw Error(kSurveyPlate, "The survey picture's plate solution cannot be used");
}

std::array<double, 2> Document::MeasureLevels(int left, int top, int right, int bottom) const {
    requireOpen("MeasureLevels");
    levelsScale_ = image_.intensityScale;
    return engine::MeasureLevels(image_, left, top, right, bottom);
}

void Document::SetStretchLevels(int, float, int, int, double high, double low) {
    requireOpen("SetStretchLevels");
    const double k = levelsScale_ > 0 ? image_.intensityScale / levelsScale_ : 1;
    stretch_ = std::array<double, 2>{low * k, high * k};
}

} // namespace engine
