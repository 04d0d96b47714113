// vospen-bench-scanner: from "NEXT >>" to the next target blinking, without the
// walk's file moves: the preparation of an 8-megapixel pair and the first blink picture.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

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
    std::vector<double> prepare, picture, blinking, all;
    for (int i = 0; i < 5; ++i) {
        const auto a = std::chrono::steady_clock::now();
        auto rest = scanner::PrepareTargetProducts(o.out + "/reference.fts", o.out + "/reshot.fts", o.out + "/current");
        prepare.push_back(bench::msSince(a));
        // the first picture loads while the difference is made
        const auto b = std::chrono::steady_clock::now();
        display::LoadPicture(o.out + "/current/ReshotImage.jpg", QSize(696, 520));
        picture.push_back(bench::msSince(b));
        blinking.push_back(bench::msSince(a));
        rest.finish();
        all.push_back(bench::msSince(a));
    }
    bench::figure("next_to_blinking_8mpx", bench::median(blinking), "ms");
    bench::figure("preparation_8mpx", bench::median(prepare), "ms");
    bench::figure("first_picture_8mpx", bench::median(picture), "ms");
    bench::figure("all_six_products_8mpx", bench::median(all), "ms");
    fs::remove_all(dir);
    return 0;
}
