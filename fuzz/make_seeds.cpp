// vospen-fuzz-seeds OUTDIR [REALDATA]: seed corpora for every fuzz target, one
// folder per target. Simulated images and catalogs in their real formats, and,
// where the real-data folder exists, small images carrying real headers
// (never the real files themselves: they are too large for fuzzing).
#include <fitsio.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "catalog_entries.h"
#include "fits_image_writer.h"
#include "render.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// A 24 x 16 image of `bitpix` carrying `cards` (80-character header cards,
// structural ones left out); compressed when the name asks for it.
void smallImage(const fs::path& path, const std::vector<std::string>& cards, int bitpix = 16,
                bool compressed = false) {
    fs::create_directories(path.parent_path());
    int status = 0;
    fitsfile* f = nullptr;
    if (fits_create_file(&f, ("!" + path.string()).c_str(), &status)) {
        std::cerr << "seed " << path << ": cannot create\n";
        return;
    }
    if (compressed) fits_set_compression_type(f, RICE_1, &status);
    long axes[2] = {24, 16};
    fits_create_img(f, bitpix, 2, axes, &status);
    for (const auto& card : cards) {
        const std::string key = card.substr(0, 8);
        static const char* structural[] = {"SIMPLE  ", "BITPIX  ", "NAXIS", "EXTEND  ", "END     ", "BZERO   ",
                                           "BSCALE  ", "XTENSION", "PCOUNT  ", "GCOUNT  ", "Z"};
        bool skip = false;
        for (const char* s : structural) skip = skip || key.rfind(s, 0) == 0;
        if (skip || card.find_first_not_of(' ') == std::string::npos) continue;
        int st = 0;
        fits_write_record(f, card.c_str(), &st);
    }
    std::vector<float> px(24 * 16);
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = static_cast<float>(100 + (i * 37) % 50);
    px[5 * 24 + 7] = 250;
    fits_write_img(f, TFLOAT, 1, static_cast<LONGLONG>(px.size()), px.data(), &status);
    fits_close_file(f, &status);
    if (status) std::cerr << "seed " << path << ": cfitsio status " << status << "\n";
}

std::vector<std::string> cardsOfFits(const fs::path& path) {
    std::vector<std::string> cards;
    int status = 0;
    fitsfile* f = nullptr;
    if (fits_open_file(&f, path.c_str(), READONLY, &status)) return cards;
    int hdus = 0, type = 0;
    fits_get_num_hdus(f, &hdus, &status);
    for (int h = 1; h <= hdus; ++h) { // the first HDU with an image
        fits_movabs_hdu(f, h, &type, &status);
        int naxis = 0;
        fits_get_img_dim(f, &naxis, &status);
        if (naxis >= 2 || h == hdus) break;
    }
    int n = 0;
    fits_get_hdrspace(f, &n, nullptr, &status);
    for (int i = 1; i <= n; ++i) {
        char card[FLEN_CARD] = {};
        fits_read_record(f, i, card, &status);
        std::string c(card);
        c.resize(80, ' ');
        cards.push_back(c);
    }
    fits_close_file(f, &status);
    return cards;
}

// Header text files: one card per line, or 80-character cards in one run.
std::vector<std::string> cardsOfText(const fs::path& path) {
    const std::string text = readAll(path);
    std::vector<std::string> cards;
    if (text.find('\n') == std::string::npos) {
        for (std::size_t i = 0; i + 80 <= text.size(); i += 80) cards.push_back(text.substr(i, 80));
    } else {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            line.resize(80, ' ');
            cards.push_back(line);
        }
    }
    return cards;
}

skysim::Image simulated(int kind) {
    skysim::Image img;
    img.width = 24;
    img.height = 16;
    img.pixels.assign(24 * 16, 1100);
    img.pixels[8 * 24 + 12] = 30000;
    img.plate = skysim::MakePlate(150.0 + kind, 20.0 - 30 * kind, 24, 16, 1.5, 20.0 * kind, kind == 2);
    img.plate.sip = kind == 1;
    if (img.plate.sip) img.plate.a20 = 1e-6;
    return img;
}

void fitsSeeds(const fs::path& out, const fs::path& real) {
    skysim::Epoch epoch;
    for (int k = 0; k < 3; ++k) skysim::WriteFitsImage((out / ("sim" + std::to_string(k) + ".fits")).string(),
                                                      simulated(k), epoch);
    smallImage(out / "float.fits", {}, FLOAT_IMG);
    smallImage(out / "byte.fits", {}, BYTE_IMG);
    if (!fs::is_directory(real)) return;
    int n = 0;
    for (const auto& e : fs::recursive_directory_iterator(real)) {
        if (!e.is_regular_file()) continue;
        const auto name = e.path().filename().string();
        std::vector<std::string> cards;
        if (name.find(".hdr") != std::string::npos) cards = cardsOfText(e.path());
        else if (name.find(".fit") != std::string::npos) cards = cardsOfFits(e.path());
        else continue;
        if (cards.empty()) continue;
        const auto base = out / ("real" + std::to_string(n++));
        smallImage(base.string() + ".fits", cards);
        if (n % 4 == 0) smallImage(base.string() + ".fz", cards, SHORT_IMG, true); // tile-compressed
    }
}

std::vector<skysim::CatalogEntry> entries(double raLo, double raHi, double decLo, double decHi) {
    std::vector<skysim::CatalogEntry> out;
    for (int i = 0; i < 12; ++i)
        out.push_back({raLo + (raHi - raLo) * (i + 0.5) / 12, decLo + (decHi - decLo) * ((i * 7) % 12 + 0.5) / 12,
                       10.0 + i, 11.0 + i});
    return out;
}

void catalogSeeds(const fs::path& out, const fs::path& real) {
    const fs::path tmp = out / "tmp";
    // USNO-A2.0: zone0900 with and without its accelerator, both byte orders
    for (bool little : {false, true}) {
        fs::remove_all(tmp);
        skysim::WriteUsnoA2(tmp.string(), entries(10.2, 11.8, 1.1, 1.9), little, 1, 2);
        const std::string cat = readAll(tmp / "zone0900.cat");
        writeAll(out / "usno" / (little ? "little" : "big"), cat);
        writeAll(out / "usno" / (little ? "little-acc" : "big-acc"), cat + "\n--\n" + readAll(tmp / "zone0900.acc"));
    }
    // UCAC2: the zone's counts as increments, then the zone's records
    fs::remove_all(tmp);
    skysim::WriteUcac2(tmp.string(), entries(10.2, 11.8, 0.15, 0.35));
    {
        const std::string index = readAll(tmp / "u2index.da");
        std::string seed;
        std::int32_t prev = 0;
        for (int j = 0; j < 240; ++j) {
            std::int32_t v;
            std::memcpy(&v, index.data() + 4 * ((180 * 240) + j), 4);
            seed += static_cast<char>(std::min(v - prev, 0xEF));
            prev = v;
        }
        seed += readAll(tmp / "z181");
        writeAll(out / "ucac2" / "zone181", seed);
    }
    // GSC: a region file and the regions table
    fs::remove_all(tmp);
    skysim::WriteGscAct(tmp.string(), entries(1, 9, 1, 4), 3);
    const std::string table = readAll(tmp / "tables" / "regions.tbl");
    for (const auto& e : fs::recursive_directory_iterator(tmp))
        if (e.path().extension() == ".gsc") {
            writeAll(out / "gsc" / e.path().filename(), readAll(e.path()) + "\n--\n" + table);
            break;
        }
    if (fs::exists(real / "gsc" / "0908.gsc"))
        writeAll(out / "gsc" / "real0908", readAll(real / "gsc" / "0908.gsc") + "\n--\n" + table);
    fs::remove_all(tmp);
}

void textSeeds(const fs::path& out) {
    writeAll(out / "profile_file" / "settings",
             "[Settings]\r\ncatalogPath=/home/ann/USNO\r\ncatalogCode=5\r\nminRawFlux=250\r\n"
             "threshold=2.5\r\n\r\n[Scanner]\r\nbaseFolder=/data/survey\r\n\n--\nSettingsthresholdX3.0");
    writeAll(out / "profile_file" / "empty", "\n--\nScanner baseFolder/data/x");
    writeAll(out / "profile_file" / "odd", "key=before\n[ settings ]\n=x\nMINRAWFLUX = 7 \n[Settings\n\n--\nsettingsminRawFlux12");
    writeAll(out / "star_lines" / "demo",
             "9.53612 21.50201 14.2 5123\n812 633 14.2 5123\n9.5361 21.5021 15.1 3000\n100 200 15.1 3000\n"
             "-0.001 -0.5 12 100\n1 2 3 4\n23.99999 45.99999 9 9\n5 5 9 9\n--\n9.53612 21.50201 14.0 0\n"
             "9.5 21.5 13 0\n");
    writeAll(out / "check_files" / "orbits",
             "MPCORB\n--------\n00001    3.34  0.15 K2555 188.70269   73.27343   80.25221   10.58780  0.0794013  "
             "0.21424651   2.7660512  0 E2024-V47  7330 125 1801-2024 0.80 M-v 30k MPCLINUX   4000      (1) Ceres"
             "              20241101\n");
    writeAll(out / "check_files" / "vsx",
             "  12345 V0001 Test                     0 188.70000 +10.50000 RRAB                            14.200 V"
             "      16.800 V\n");
    writeAll(out / "check_files" / "tns",
             "\"2026-11-21 00:00:00\"\n\"name_prefix\",\"name\",\"ra\",\"declination\",\"type\",\"discoverydate\"\n"
             "\"SN\",\"2026xyz\",\"188.7\",\"10.5\",\"SN Ia\",\"2026-11-19\"\n\"AT\",\"b\",\"12:34:56.7\",\"-01:02:03\",\"\",\"\"\n");
    writeAll(out / "check_files" / "header",
             "DATE-OBS= '2025-08-20T02:59:00.5'                                              "
             "EXPTIME =                119.0                                                  "
             "SITELAT = '-30 10 03.73'                                                        "
             "SITELONG= '-70 48 16.76'                                                        ");
    writeAll(out / "command_line" / "run", "C:\\img\\ref.fts,C:\\img\\new.fts,/cat/usno,1");
    writeAll(out / "command_line" / "scan", "/data/survey");
    writeAll(out / "command_line" / "bad", "a,b,,  2 ,x");
}

void dssSeeds(const fs::path& out) {
    smallImage(out / "dss_reply" / "fits", {"OBJECT  = 'DSS'"});
    const std::string fits = readAll(out / "dss_reply" / "fits");
    gzFile gz = gzopen((out / "dss_reply" / "gzip").c_str(), "wb");
    gzwrite(gz, fits.data(), static_cast<unsigned>(fits.size()));
    gzclose(gz);
    writeAll(out / "dss_reply" / "html", "<html><body>Error: the server is busy</body></html>\n");
    writeAll(out / "dss_reply" / "text", "ERROR 503\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: vospen-fuzz-seeds OUTDIR [REALDATA]\n";
        return 2;
    }
    const fs::path out(argv[1]);
    const fs::path real(argc > 2 ? argv[2] : "");
    fs::create_directories(out / "fits_image");
    fitsSeeds(out / "fits_image", real);
    catalogSeeds(out, real);
    textSeeds(out);
    dssSeeds(out);
    return 0;
}
