// vospen-skysim: realistic survey data for tests, the demo and the benchmarks.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>

#include "pair.h"
#include "survey.h"

namespace {

const char* const kUsage = R"(usage:
  vospen-skysim pair --out DIR [options]     a reference, a reshot, truth.json and catalog/
  vospen-skysim survey --out DIR [options]   a survey folder tree, its catalog and truth.json
  vospen-skysim demo --out DIR               the demo pair: a galaxy with a supernova
options for pair:
  --seed N  --size WxH  --scale ARCSEC  --ra HOURS --dec DEG  --object NAME
  --sn MAG (repeatable)  --no-solution  --sip  --flip  --mirror
  --no-galaxy  --no-cosmics  --no-hot  --max-offset ARCMIN  --density N
  --catalog-limit MAG  --usno-little-endian  --preview
  --dss (also dss.fits: a survey-plate cut-out of the reshot's field with a DSS plate solution)
  --ref-offset DRA,DDEC (arcmin)  --new-offset DRA,DDEC
  --ref-rotation DEG  --new-rotation DEG  --ref-seeing ARCSEC  --new-seeing ARCSEC
  --ref-transparency T  --new-transparency T  --ref-exptime S  --new-exptime S
  --ref-sky ADU  --new-sky ADU
  --ref-scale ARCSEC  --new-scale ARCSEC  --ref-size WxH  --new-size WxH   (another telescope, camera)
  --ref-no-gain  --new-no-gain   (no GAIN or EGAIN card)
  --flaws   (a zero-filled band in the reference and its solution 2 px off, a vignetted reshot,
             bad columns and clusters, flickering warm pixels, saturated bleeds)
options for survey:
  --seed N  --targets N  --size WxH  --scale ARCSEC
)";

struct Args {
    int argc;
    char** argv;
    int i = 2;
    bool more() const { return i < argc; }
    std::string next() { return argv[i++]; }
    std::string value(const std::string& flag) {
        if (i >= argc) throw std::runtime_error(flag + " needs a value");
        return argv[i++];
    }
};

double number(const std::string& s) {
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || *end) throw std::runtime_error("not a number: " + s);
    return v;
}

void size(const std::string& s, int& w, int& h) {
    if (std::sscanf(s.c_str(), "%dx%d", &w, &h) != 2 || w < 16 || h < 16 || w > 20000 || h > 20000)
        throw std::runtime_error("size must be WxH, each 16 to 20000: " + s);
}

void sizeOf(const std::string& s, std::optional<int>& w, std::optional<int>& h) {
    int a = 0, b = 0;
    size(s, a, b);
    w = a, h = b;
}

void pairOf(const std::string& s, std::optional<double>& a, std::optional<double>& b) {
    const auto comma = s.find(',');
    if (comma == std::string::npos) throw std::runtime_error("expected two numbers A,B: " + s);
    a = number(s.substr(0, comma));
    b = number(s.substr(comma + 1));
}

int runPair(Args& a, bool demo) {
    skysim::PairOptions o;
    if (demo) {
        o.supernovae = {15.0};
        o.preview = true;
        o.reference.offsetRa = 2.2;
        o.reference.offsetDec = -1.4;
        o.reference.rotation = 1.2;
        o.reshot.rotation = -0.4;
        o.seed = 2026;
        o.dss = true;
    }
    while (a.more()) {
        const std::string f = a.next();
        if (f == "--out") o.out = a.value(f);
        else if (f == "--seed") o.seed = std::stoull(a.value(f));
        else if (f == "--size") size(a.value(f), o.width, o.height);
        else if (f == "--scale") o.scale = number(a.value(f));
        else if (f == "--ra") o.ra = number(a.value(f)) * 15.0;
        else if (f == "--dec") o.dec = number(a.value(f));
        else if (f == "--object") o.object = a.value(f);
        else if (f == "--sn") o.supernovae.push_back(number(a.value(f)));
        else if (f == "--no-solution") o.solution = false;
        else if (f == "--sip") o.sip = true;
        else if (f == "--flip") o.flip = true;
        else if (f == "--mirror") o.mirror = true;
        else if (f == "--no-galaxy") o.galaxy = false;
        else if (f == "--no-cosmics") o.cosmicRays = false;
        else if (f == "--no-hot") o.hotPixels = false;
        else if (f == "--max-offset") o.maxOffsetArcmin = number(a.value(f));
        else if (f == "--density") o.density = number(a.value(f));
        else if (f == "--catalog-limit") o.catalogLimit = number(a.value(f));
        else if (f == "--usno-little-endian") o.usnoLittleEndian = true;
        else if (f == "--preview") o.preview = true;
        else if (f == "--dss") o.dss = true;
        else if (f == "--ref-offset") pairOf(a.value(f), o.reference.offsetRa, o.reference.offsetDec);
        else if (f == "--new-offset") pairOf(a.value(f), o.reshot.offsetRa, o.reshot.offsetDec);
        else if (f == "--ref-rotation") o.reference.rotation = number(a.value(f));
        else if (f == "--new-rotation") o.reshot.rotation = number(a.value(f));
        else if (f == "--ref-seeing") o.reference.seeing = number(a.value(f));
        else if (f == "--new-seeing") o.reshot.seeing = number(a.value(f));
        else if (f == "--ref-transparency") o.reference.transparency = number(a.value(f));
        else if (f == "--new-transparency") o.reshot.transparency = number(a.value(f));
        else if (f == "--ref-exptime") o.reference.exptime = number(a.value(f));
        else if (f == "--new-exptime") o.reshot.exptime = number(a.value(f));
        else if (f == "--ref-sky") o.reference.sky = number(a.value(f));
        else if (f == "--new-sky") o.reshot.sky = number(a.value(f));
        else if (f == "--ref-scale") o.reference.scale = number(a.value(f));
        else if (f == "--new-scale") o.reshot.scale = number(a.value(f));
        else if (f == "--ref-size") sizeOf(a.value(f), o.reference.width, o.reference.height);
        else if (f == "--new-size") sizeOf(a.value(f), o.reshot.width, o.reshot.height);
        else if (f == "--ref-no-gain") o.reference.noGain = true;
        else if (f == "--flaws") o.flaws = true;
        else if (f == "--new-no-gain") o.reshot.noGain = true;
        else throw std::runtime_error("unknown option " + f);
    }
    if (o.out.empty()) throw std::runtime_error("--out DIR is required");
    if (o.scale <= 0 || o.scale > 100) throw std::runtime_error("--scale must be in (0, 100]");
    if (o.dec < -90 || o.dec > 90) throw std::runtime_error("--dec must lie in [-90, 90]");
    const skysim::Pair p = skysim::MakePair(o);
    skysim::WritePair(o, p);
    std::printf("%s: reference %zu stars, reshot %zu stars, %zu supernovae\n", o.out.c_str(),
                p.reference.stars.size(), p.reshot.stars.size(), p.reshot.supernovae.size());
    return 0;
}

int runSurvey(Args& a) {
    skysim::SurveyOptions o;
    while (a.more()) {
        const std::string f = a.next();
        if (f == "--out") o.out = a.value(f);
        else if (f == "--seed") o.seed = std::stoull(a.value(f));
        else if (f == "--targets") o.targets = std::stoi(a.value(f));
        else if (f == "--size") size(a.value(f), o.width, o.height);
        else if (f == "--scale") o.scale = number(a.value(f));
        else throw std::runtime_error("unknown option " + f);
    }
    if (o.out.empty()) throw std::runtime_error("--out DIR is required");
    skysim::WriteSurvey(o);
    std::printf("%s/survey: %d targets\n", o.out.c_str(), o.targets);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    try {
        Args a{argc, argv};
        const std::string cmd = argv[1];
        if (cmd == "pair") return runPair(a, false);
        if (cmd == "demo") return runPair(a, true);
        if (cmd == "survey") return runSurvey(a);
        throw std::runtime_error("unknown command " + cmd);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vospen-skysim: %s\n%s", e.what(), kUsage);
        return 2;
    }
}
