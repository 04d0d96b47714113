#include "display/picture_loader.h"

#include <turbojpeg.h>

#include <QImageReader>

#include <filesystem>
#include <fstream>
#include <list>
#include <memory>
#include <vector>

namespace display {

namespace {

QImage decode(const std::string& path, QSize box) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    if (bytes.size() > 3 && bytes[0] == 0xFF && bytes[1] == 0xD8) {
        std::unique_ptr<void, int (*)(tjhandle)> tj(tjInitDecompress(), tjDestroy);
        int w = 0, h = 0, sub = 0, cs = 0;
        if (tj && tjDecompressHeader3(tj.get(), bytes.data(), bytes.size(), &w, &h, &sub, &cs) == 0) {
            int count = 0;
            const tjscalingfactor* factors = tjGetScalingFactors(&count);
            int sw = w, sh = h;
            for (int i = 0; i < count; ++i) { // smallest scale that still covers the box
                const int fw = TJSCALED(w, factors[i]), fh = TJSCALED(h, factors[i]);
                if (fw >= box.width() && fh >= box.height() && fw * fh < sw * sh) {
                    sw = fw;
                    sh = fh;
                }
            }
            const bool grey = cs == TJCS_GRAY;
            QImage out(sw, sh, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
            if (tjDecompress2(tj.get(), bytes.data(), bytes.size(), out.bits(), sw, static_cast<int>(out.bytesPerLine()),
                              sh, grey ? TJPF_GRAY : TJPF_RGB, TJFLAG_FASTDCT) == 0)
                return out;
        }
    }
    QImageReader reader(QString::fromStdString(path));
    return reader.read();
}

// The last pictures decoded, known by their file's size and time: a blink shows
// the same two products over and over, and decoding a 16-megapixel JPEG costs
// more than a whole tick may.
struct Cached {
    std::string path;
    QSize box;
    std::uintmax_t bytes = 0;
    std::filesystem::file_time_type time;
    QImage picture;
};
constexpr std::size_t kCached = 4;
std::list<Cached> cache;

} // namespace

QImage LoadPicture(const std::string& path, QSize box) {
    std::error_code e1, e2;
    const auto bytes = std::filesystem::file_size(path, e1);
    const auto time = std::filesystem::last_write_time(path, e2);
    if (e1 || e2) return {};
    for (auto it = cache.begin(); it != cache.end(); ++it)
        if (it->path == path && it->box == box && it->bytes == bytes && it->time == time) {
            cache.splice(cache.begin(), cache, it); // most recent first
            return cache.front().picture;
        }
    QImage picture = decode(path, box);
    if (picture.isNull()) return picture;
    cache.push_front({path, box, bytes, time, picture});
    if (cache.size() > kCached) cache.pop_back();
    return picture;
}

} // namespace display
