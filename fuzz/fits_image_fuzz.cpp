// Any bytes as a FITS file: opened as the engine opens an image, its plate
// solution read and used. Only typed errors may come out.
#include <cmath>

#include "astrometry/errors.h"
#include "astrometry/fits_image.h"
#include "astrometry/wcs.h"
#include "engine/application.h"
#include "engine/document.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzz::Folder() / "image.fits";
    fuzz::WriteFile(path, data, size);
    static engine::Application app;
    const auto doc = app.CreateDocument();
    try {
        doc->OpenFile(path.string());
        if (doc->PlateSolveStatus() == 2) {
            (void)doc->ImageScale();
            (void)doc->CentreRightAscension();
            (void)doc->CentreDeclination();
            const auto& wcs = doc->wcs();
            const double w = doc->ImageWidth(), h = doc->ImageHeight();
            for (const auto& [x, y] : {std::pair{1.0, 1.0}, {w, h}, {w / 2, h / 2}, {-1e9, 1e9}}) {
                double ra = 0, dec = 0, px = 0, py = 0;
                if (wcs.pixelToSky(x, y, ra, dec)) wcs.skyToPixel(ra, dec, px, py);
                (void)wcs.scaleAt(x, y);
            }
        }
        for (const char* key : {"OBJECT", "DATE-OBS", "EXPTIME", "CRVAL1", "NAXIS1", ""})
            (void)doc->ReadHeaderKey(key);
    } catch (const platform::Error&) {
    }
    doc->CloseDocument();
    try {
        const auto header = astrometry::ReadFitsHeader(path.string());
        const auto wcs = astrometry::Wcs::FromHeader(header.header, header.headerCards);
        (void)header.number("CRPIX1");
    } catch (const platform::Error&) {
    }
    return 0;
}
