// vospen-bench-scanner: from "NEXT >>" to the next target blinking, without the
// walk's file moves: the preparation of an 8-megapixel pair and the first blink picture.
#include <chrono>
#include <filesystem>

#include "bench_common.h"
#include "display/picture_loader.h"
#include "pair.h"
#include "scanner/target_preparation.h"

namespace fs = std::filesystem;

int main() {
    const fs::path dir = fs::temp_directory_path() / ("vospen-bench-scanner-" + std::to_string(::getpid()));
    skysim::PairOptions o;
    o.out = dir.string();
    o.width = o.height = 2896; // 8.4 megapixels
    o.density = 3000;
    skysim::WritePair(o, skysim::MakePair(o));
    const double ms = bench::medianMs(3, [&] {
        scanner::PrepareTargetProducts(o.out + "/reference.fts", o.out + "/reshot.fts", o.out + "/current");
        display::LoadPicture(o.out + "/current/ReshotImage.jpg", QSize(696, 520));
    });
    bench::figure("next_to_blinking_8mpx", ms, "ms");
    fs::remove_all(dir);
    return 0;
}
