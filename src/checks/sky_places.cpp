#include "checks/sky_places.h"

#include <cmath>
#include <memory>
#include <sys/stat.h>

#include <erfa.h>
#include <zlib.h>

#include "checks/errors.h"

namespace checks {
namespace {

constexpr double kDeg = M_PI / 180;

struct GzClose {
    void operator()(gzFile_s* f) const { gzclose(f); }
};

} // namespace

double SeparationArcsec(const SkyPlace& a, const SkyPlace& b) {
    return eraSeps(a.ra * kDeg, a.dec * kDeg, b.ra * kDeg, b.dec * kDeg) / kDeg * 3600;
}

void OffsetArcsec(const SkyPlace& a, const SkyPlace& b, double& east, double& north) {
    // gnomonic projection about a: exact for the few arc-minutes of a galaxy
    const double ra = (b.ra - a.ra) * kDeg, d0 = a.dec * kDeg, d = b.dec * kDeg;
    const double cosc = std::sin(d0) * std::sin(d) + std::cos(d0) * std::cos(d) * std::cos(ra);
    east = std::cos(d) * std::sin(ra) / cosc / kDeg * 3600;
    north = (std::cos(d0) * std::sin(d) - std::sin(d0) * std::cos(d) * std::cos(ra)) / cosc / kDeg * 3600;
}

void ForEachLine(const std::string& path, const std::string& what,
                 const std::function<void(const std::string&)>& line) {
    struct stat st {};
    if (path.empty()) throw Error(kNoFileNamed, "No " + what + " is named");
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw Error(kFileMissing, "The " + what + " \"" + path + "\" does not exist");
    // gzread reads a plain file as it stands
    std::unique_ptr<gzFile_s, GzClose> f(gzopen(path.c_str(), "rb"));
    if (!f) throw Error(kFileMissing, "The " + what + " \"" + path + "\" cannot be read");
    gzbuffer(f.get(), 1 << 20);
    std::string text;
    char buf[4096];
    while (gzgets(f.get(), buf, sizeof buf)) {
        text += buf; // up to a NUL byte: a binary file's lines read short, never past the buffer
        if ((text.empty() || text.back() != '\n') && !gzeof(f.get())) continue; // a line longer than the buffer
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        line(text);
        text.clear();
    }
    int err = 0;
    gzerror(f.get(), &err);
    if (err != Z_OK && err != Z_STREAM_END) throw Error(kFileDamaged, "The " + what + " \"" + path + "\" is damaged");
}

} // namespace checks
