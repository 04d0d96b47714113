#include "survey.h"

#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

#include "fits_image_writer.h"
#include "pair.h"
#include "random.h"

namespace skysim {
namespace {
namespace fs = std::filesystem;

struct Target {
    const char* name;
    double ra, dec;
};
constexpr Target kTargets[] = {
    {"NGC7331", 339.2671, 34.4158}, {"NGC2903", 143.0417, 21.5008}, {"M51", 202.4696, 47.1953},
    {"NGC4565", 189.0866, 25.9876}, {"NGC891", 35.6392, 42.3491},   {"M101", 210.8025, 54.3488},
    {"NGC3627", 170.0625, 12.9915}, {"NGC1300", 49.9208, -19.4111},
};

std::string isoTime(std::time_t t) {
    char buf[32];
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

struct Writer {
    const SurveyOptions& o;
    std::ofstream& truth;
    bool firstImage = true;

    void image(const fs::path& path, const Field& field, int index, bool supernova, std::time_t when,
               const char* role) {
        Random rnd(o.seed, 9000 + index);
        Epoch e;
        e.object = path.parent_path().parent_path().filename().string();
        e.width = o.width;
        e.height = o.height;
        e.scale = o.scale * (1 + rnd.uniform(-0.003, 0.003));
        FromStandardCoordinates(field.ra, field.dec, rnd.uniform(-2, 2) / 60, rnd.uniform(-2, 2) / 60,
                                e.ra, e.dec);
        e.rotation = rnd.uniform(-1, 1);
        e.seeing = rnd.uniform(2.4, 3.8);
        e.transparency = rnd.uniform(0.8, 1.0);
        e.sky = rnd.uniform(500, 1100);
        e.cosmicRays = true;
        e.supernovae = supernova;
        e.dateObs = isoTime(when - 120);
        e.cameraSeed = o.seed * 7 + 3;
        e.noiseSeed = o.seed * 100000 + index;
        const Image img = Render(field, e);
        fs::create_directories(path.parent_path());
        WriteFitsImage(path.string(), img, e);
        fs::last_write_time(path, std::chrono::file_clock::from_sys(
                                      std::chrono::system_clock::from_time_t(when)));
        truth << (firstImage ? "\n" : ",\n") << "    {\"path\": \"" << fs::relative(path, o.out).string()
              << "\", \"role\": \"" << role << "\", \"supernovae\": [";
        firstImage = false;
        for (std::size_t i = 0; i < img.supernovae.size(); ++i) {
            char buf[160];
            std::snprintf(buf, sizeof buf, "%s{\"ra\": %.10f, \"dec\": %.10f, \"mag\": %.3f}",
                          i ? ", " : "", img.supernovae[i].ra, img.supernovae[i].dec,
                          img.supernovae[i].mag);
            truth << buf;
        }
        truth << "]}";
    }
};
} // namespace

void WriteSurvey(const SurveyOptions& o) {
    const fs::path base = fs::path(o.out) / "survey";
    fs::create_directories(base);
    std::ofstream truth(fs::path(o.out) / "truth.json", std::ios::trunc);
    truth << "{\n  \"base\": \"survey\",\n  \"images\": [";
    Writer w{o, truth};
    std::vector<std::unique_ptr<Field>> fields;
    const std::time_t start = 1760000000; // October 2025
    const int count = std::clamp(o.targets, 1, static_cast<int>(std::size(kTargets)));
    int index = 0;
    for (int t = 0; t < count; ++t) {
        const Target& target = kTargets[t];
        FieldOptions fo;
        fo.ra = target.ra;
        fo.dec = target.dec;
        fo.halfSizeDeg = std::hypot(o.width, o.height) * o.scale / 7200.0 + 8.0 / 60;
        fo.seed = o.seed * 31 + t;
        auto field = std::make_unique<Field>(MakeField(fo));
        AddSupernovaBesideCore(*field, 14.5 + 0.5 * t, fo.seed, 0);
        const fs::path dir = base / target.name;
        const std::string file = std::string(target.name) + "-S001-R001-C001-Clear";
        const std::time_t day = start + t * 86400 * 3;
        auto img = [&](const fs::path& folder, int n, bool sn, std::time_t when, const char* role) {
            w.image(dir / folder / (file + "-" + std::to_string(n) + ".fts"), *field, index++, sn,
                    when, role);
        };
        switch (t % 4) {
        case 0: // no reference yet: folder 1 gives it, 2 and 3 are offered
            img("1", 1, false, day, "first-reference");
            img("2", 2, true, day + 40 * 86400, "new");
            img("3", 3, false, day + 80 * 86400, "new");
            break;
        case 1: // the first numbered folder holds three images: the newest becomes the reference
            img("1", 1, false, day, "new");
            img("1", 2, true, day + 3600, "new");
            img("1", 3, false, day + 7200, "first-reference");
            img("2", 4, false, day + 50 * 86400, "new");
            break;
        case 2: // a reference filled earlier, a non-numeric folder and stray files
            img("reference", 1, false, day, "reference");
            img("4", 2, true, day + 60 * 86400, "new");
            fs::create_directories(dir / "notes");
            std::ofstream(dir / "notes" / "observing-notes.txt") << "seeing poor\n";
            std::ofstream(dir / "target.txt") << "stray file\n";
            break;
        default: { // an image with the reference's own time stamp is not new
            img("reference", 1, false, day, "reference");
            const fs::path ref = dir / "reference" / (file + "-1.fts");
            fs::create_directories(dir / "7");
            fs::copy_file(ref, dir / "7" / (file + "-copy.fts"));
            fs::last_write_time(dir / "7" / (file + "-copy.fts"), fs::last_write_time(ref));
            img("8", 3, true, day + 70 * 86400, "new");
            break;
        }
        }
        fields.push_back(std::move(field));
    }
    std::ofstream(base / "survey-log.txt") << "survey run finished\n";
    truth << "\n  ]\n}\n";
    std::vector<const Field*> fp;
    for (const auto& f : fields) fp.push_back(f.get());
    WriteCatalogFolder((fs::path(o.out) / "catalog").string(), fp, std::nullopt, o.seed, false);
}

} // namespace skysim
