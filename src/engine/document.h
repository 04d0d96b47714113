#pragma once
// An image document of the engine: the pixels as 32-bit floats, a per-pixel
// noise estimate, the FITS header cards and the plate solution.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "astrometry/wcs.h"
#include "engine/automation_codes.h"
#include "engine/header_cards.h"
#include "engine/image.h"
#include "engine/pixel_stats.h"

namespace engine {

struct Registry;
class Application;

class Document {
public:
    explicit Document(std::shared_ptr<Registry> registry);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Any 2-D FITS image (every BITPIX, BZERO/BSCALE, blank and NaN pixels,
    // .fz and .gz, the first image HDU with data; a colour cube of up to four
    // planes is averaged into one grey plane). Throws engine::Error.
    void OpenFile(const std::string& path);
    // PlateSolveState: solved with a usable celestial plate solution, none,
    // solving while a solve runs, failed after a failed solve.
    int PlateSolveStatus() const { return status_; }
    // The hinted solver with the application's catalog settings; returns when
    // done, with the status at kPlateSolved or kPlateSolveFailed.
    void StartPlateSolve(double raHours, double decDeg, double scaleX, double scaleY);
    double ImageScale() const; // arcsec per pixel, negative when mirrored; 0 without a solution
    int ImageWidth() const { return image_.width; }
    int ImageHeight() const { return image_.height; }
    double CentreRightAscension() const; // hours
    double CentreDeclination() const;    // degrees
    std::string ReadHeaderKey(const std::string& key) const;
    // Raises the image by the absolute value of the difference, so that the
    // darker of two images is brought up to the other's background.
    void AdjustByDifference(float difference);
    // Every other open document is resampled onto this one's pixel grid and
    // takes this one's plate solution. AlignMode kAlignByStars: star matching,
    // starting from both plate solutions when both exist, triangle patterns
    // when they do not; kAlignByPlateSolutions: both plate solutions alone.
    // The flag is accepted and unused.
    void AlignToThis(int mode, bool flag);
    std::shared_ptr<Document> DuplicateDocument();
    // A duplicate that takes this image's pixels and noise over instead of
    // copying them (a run's reshot, once its products are written: one copy
    // of the image less at the run's peak), with `header` as its header. This
    // document is closed.
    std::shared_ptr<Document> HandOverDocument(const HeaderCards& header);
    // The plate solution's cards moved to the header's end, as an alignment
    // of a copy of this image to it leaves them: the products keep one order.
    void PlaceSolutionLast();
    // This minus the other, after fitting the flux scale on matched stars and
    // the background offset; the noise of both is carried.
    void SubtractDocument(Document& other);
    // FileType kFileFitsFloat: 32-bit float FITS (a difference with its NOISE
    // extension); kFileJpegGrey: 8-bit grey JPEG. Other types are errors.
    void SaveFile(const std::string& path, int type, bool flag = true, int a = 1, int b = 1);
    void CloseDocument();
    // Gives the noise plane back once the subtraction has used it: a run's
    // reference and reshot need it no more (their products carry none). A
    // later subtraction with this document would be a plain scaled one.
    void ReleaseNoise();

    // The survey-picture operations.
    // Checks the DSS plate keywords and makes the survey plate solution the
    // document's solution (the approximate TAN cards of such files are dropped).
    void UseSurveyPlateSolution();
    // Levels of a rectangle (left, top, right, bottom, 0-based pixels): the
    // sky's dark end and the bright end, for a stretch that matches another picture.
    std::array<double, 2> MeasureLevels(int left, int top, int right, int bottom) const;
    // The JPEG export of this document stretches between low and high.
    void SetStretchLevels(int curve, float gamma, int a, int b, double high, double low);

    // for the products and tests
    const std::vector<float>& pixels() const { return image_.pixels; }
    const std::vector<float>& noise() const { return image_.noise; }
    const HeaderCards& header() const { return image_.header; }
    const Image& image() const { return image_; }
    const astrometry::Wcs& wcs() const { return wcs_; }
    bool isOpen() const { return open_; }
    std::optional<double> zeroPoint() const { return zeroPoint_; }
    const std::string& lastSolveReason() const { return solveReason_; }
    // How the last solve was done when not against the catalog ("" when it was).
    const std::string& lastSolveNote() const { return solveNote_; }
    double lastFluxScale() const { return fluxScale_; }
    double lastAlignmentRms() const { return alignRms_; }
    int lastAlignmentStars() const { return alignStars_; }

private:
    friend class Application;
    void requireOpen(const char* what) const;
    void refreshSolution();
    void alignOther(Document& other, int mode);
    std::shared_ptr<Document> duplicate(std::vector<float> pixels, std::vector<float> noise,
                                        const HeaderCards& header);
    // Another open document on this pixel grid with a plate solution.
    const Document* solvedOnThisGrid() const;
    // The sky of the pixels as they are now, measured once: a dozen steps ask
    // for it. Whatever changes the pixels resets it or moves it along.
    SkyStats sky() const;

    std::shared_ptr<Registry> registry_;
    bool open_ = false;
    Image image_;
    mutable std::optional<SkyStats> sky_;
    mutable std::mutex skyMutex_; // saving two products of one document may ask at once
    astrometry::Wcs wcs_;
    int status_ = kNoPlateSolution;
    std::uint64_t geometry_ = 0; // documents on one pixel grid share it
    bool difference_ = false;
    std::optional<double> zeroPoint_;
    std::optional<std::array<double, 2>> stretch_; // low, high
    // levels measured before an alignment are brought along with the values
    mutable double levelsScale_ = 1;
    std::string solveReason_, solveNote_;
    double fluxScale_ = 1, alignRms_ = 0;
    int alignStars_ = 0;
};

} // namespace engine
