// vospen-bench-display: one blink tick (load the JPEG product, stretch it into
// the picture area, invert, refresh the zoom box, paint) on a 4096 x 4096 product.
// With --process DIR (a pair made by vospen-skysim, with its catalog): the
// window's PROCESS, click to the reshot shown with its markers, against
// vospen-process (without the check, as PROCESS) on the same pair in turn.
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <vector>
#include <filesystem>

#include "bench_common.h"
#include "display/image_view.h"
#include "display/picture_loader.h"
#include "display/zoom.h"
#include "engine/image_writers.h"
#include "engine/pixel_stats.h"
#include "pair.h"
#include "platform/dialogs.h"
#include "shell/frm_main.h"
#include "shell/working_settings.h"

namespace fs = std::filesystem;

namespace {

// PROCESS in the window against the command-line run, five times each in turn.
int processFigures(const fs::path& pair) {
    shell::FrmMain w;
    w.Form_Load("");
    w.show();
    shell::catalogPath = (pair / "catalog").string();
    shell::catalogCode = "5";
    w.txtPre->setText(QString::fromStdString((pair / "reference.fts").string()));
    w.txtRe->setText(QString::fromStdString((pair / "reshot.fts").string()));
    w.cmdProcess->setEnabled(true); // as choosing both files does
    const fs::path tool = fs::canonical("/proc/self/exe").parent_path() / "vospen-process";
    const std::string command = "'" + tool.string() + "' '" + (pair / "reference.fts").string() + "' '" +
                                (pair / "reshot.fts").string() + "' --catalog '" + (pair / "catalog").string() +
                                "' --catalog-index 1 > /dev/null";
    std::vector<double> window, tool_;
    for (int i = 0; i < 5; ++i) {
        window.push_back(bench::msOf([&] {
            w.cmdProcess->click();
            w.picMain->repaint();
        }));
        tool_.push_back(bench::msOf([&] { [[maybe_unused]] const int rc = std::system(command.c_str()); }));
    }
    bench::figure("window PROCESS, click to the reshot shown (median)", bench::median(window), "ms");
    bench::figure("vospen-process, whole process (median)", bench::median(tool_), "ms");
    bench::figure("window over vospen-process", bench::median(window) / bench::median(tool_), "");
    bench::figure("suspicious stars listed", w.lstSuspicious->count(), "");
    w.Form_QueryUnload();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const fs::path dir = fs::temp_directory_path() / ("vospen-bench-display-" + std::to_string(::getpid()));
    fs::create_directories(dir / "current");
    qputenv("VOSPEN_HOME", dir.string().c_str());
    QApplication app(argc, argv);
    platform::setDialogs(std::make_unique<platform::ScriptedDialogs>());
    if (argc > 2 && std::string(argv[1]) == "--process") {
        const int rc = processFigures(fs::absolute(argv[2]));
        fs::remove_all(dir);
        return rc;
    }
    // products of a simulated 4096 x 4096 pair, with the engine's own stretch
    skysim::PairOptions o;
    o.width = o.height = 4096;
    o.density = 3000;
    const auto pair = skysim::MakePair(o);
    for (const auto* img : {&pair.reference, &pair.reshot}) {
        const std::vector<float> pix(img->pixels.begin(), img->pixels.end());
        const engine::SkyStats sky = engine::MeasureSky(pix);
        engine::Stretch s;
        s.low = sky.level - 3 * sky.sigma;
        s.high = sky.level + 100 * sky.sigma;
        engine::WriteGreyJpeg((dir / "current" / (img == &pair.reference ? "ReferenceImage.jpg" : "ReshotImage.jpg")).string(),
                              pix, img->width, img->height, s);
    }

    shell::FrmMain w;
    w.Form_Load("");
    w.show();
    w.workFolder = (dir / "current").string() + "/";
    w.chkInvert->setChecked(true);
    w.chkZoom->setChecked(true);
    int ticks = 0;
    const double ms = bench::medianMs(41, [&] {
        w.Timer1_Timer();
        w.picMain->repaint();
        w.picZoom->repaint();
        ++ticks;
    });
    bench::figure("blink_tick_4096", ms, "ms");
    const std::string jpg = (dir / "current" / "ReshotImage.jpg").string();
    QImage picture;
    bench::figure("load_jpeg", bench::medianMs(21, [&] { picture = display::LoadPicture(jpg, QSize(696, 520)); }), "ms");
    // a picture not seen before (the first tick after a new run): decoded from the file
    bench::figure("load_jpeg_new_file", bench::medianMs(21, [&] {
                      fs::last_write_time(jpg, fs::last_write_time(jpg) + std::chrono::seconds(1));
                      picture = display::LoadPicture(jpg, QSize(696, 520));
                  }), "ms");
    bench::figure("stretch_new_picture", bench::medianMs(21, [&] {
                      QImage copy = picture.copy(); // a new cache key
                      w.picMain->drawPictureStretched(copy);
                  }), "ms");
    bench::figure("stretch_into_picture", bench::medianMs(21, [&] { w.picMain->drawPictureStretched(picture); }), "ms");
    bench::figure("invert", bench::medianMs(21, [&] { w.picMain->invertRect(0, 0, 696, 520); }), "ms");
    bench::figure("refresh_zoom", bench::medianMs(21, [&] { display::RefreshZoom(*w.picMain, *w.picZoom); }), "ms");
    bench::figure("repaint", bench::medianMs(21, [&] { w.picMain->repaint(); }), "ms");
    bench::figure("blink_core_share_at_200ms", 100.0 * ms / 200.0, "%");
    w.Form_QueryUnload();
    fs::remove_all(dir);
    return 0;
}
