// vospen-stars: the star lines of one FITS file, as the program extracts them.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "astrometry/errors.h"
#include "astrometry/fits_image.h"
#include "astrometry/wcs.h"
#include "platform/app_folder.h"
#include "settings/vospen_settings.h"
#include "stars/star_lines.h"

namespace {

const char* const kUsage =
    "usage: vospen-stars FILE [--sigma S] [--catalog-stars] [--sky] [--catalog DIR]\n"
    "                    [--catalog-index N] [--sort KEY,DIRECTION] [--max-mag M]\n"
    "Prints one star line per star: pixel lines (x y magnitude rawflux) or, with\n"
    "--sky, sky lines (RA hours, Dec degrees, magnitude, rawflux). Settings not\n"
    "given come from VospenConfig.ini. Sort keys: 1 magnitude, 2 RA, 3 Dec,\n"
    "4 raw flux, 5 x, 6 y; direction 0 ascending, 1 descending.\n";

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help") {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const auto settings =
        settings::ReadSettings(platform::ApplicationFolder() + "/" + settings::kConfigFileName).settings;
    stars::ExtractionRequest q;
    q.file = argv[1];
    q.catalog = settings.catalog;
    double sigma = -1;
    try {
        for (int i = 2; i < argc; ++i) {
            const std::string a = argv[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
                return argv[++i];
            };
            if (a == "--sigma") sigma = std::stod(value());
            else if (a == "--catalog-stars") q.starKind = stars::kCatalogStars;
            else if (a == "--sky") q.lineKind = stars::kSkyLines;
            else if (a == "--catalog") q.catalog.folder = value();
            else if (a == "--catalog-index") q.catalog.code = settings::CatalogCodeAt(std::stoi(value())).value_or("5");
            else if (a == "--max-mag") q.catalog.maxMag = std::stod(value());
            else if (a == "--sort") {
                const std::string v = value();
                if (std::sscanf(v.c_str(), "%d,%d", &q.sortKey, &q.sortDirection) != 2)
                    throw std::runtime_error("--sort needs KEY,DIRECTION");
            } else throw std::runtime_error("unknown option " + a);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vospen-stars: %s\n%s", e.what(), kUsage);
        return 2;
    }
    q.threshold = sigma > 0 ? sigma : (q.starKind == 0 ? settings.snrCatalog : settings.snrImages);
    if (q.lineKind == stars::kSkyLines) {
        // sky lines of an image without a plate solution would all read "0 0"
        try {
            const auto h = astrometry::ReadFitsHeader(q.file);
            if (!astrometry::Wcs::FromHeader(h.header, h.headerCards).valid()) {
                std::fprintf(stderr, "vospen-stars: %s has no plate solution: sky lines need one\n", q.file.c_str());
                return 1;
            }
        } catch (const astrometry::Error&) {
            // the extraction below names what is wrong with the file
        }
    }
    stars::StarList lines;
    stars::ExtractionFailure failure;
    const bool ok = stars::ExtractStarLines(q, lines, failure);
    for (const auto& l : lines) std::cout << l << '\n';
    if (!ok) {
        std::fprintf(stderr, "vospen-stars: error %d: %s\n", failure.number, failure.description.c_str());
        return 1;
    }
    return 0;
}
