#include "pair.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "dss_cutout.h"
#include "fits_image_writer.h"
#include "outputs.h"
#include "random.h"

namespace skysim {
namespace {

Epoch makeEpoch(const PairOptions& o, const Field& field, bool isReference, Random& rnd) {
    const EpochOverrides& ov = isReference ? o.reference : o.reshot;
    Epoch e;
    e.object = o.object;
    e.width = ov.width.value_or(o.width);
    e.height = ov.height.value_or(o.height);
    e.scale = ov.scale.value_or(o.scale) * (o.exactScale ? 1 : 1 + rnd.uniform(-0.004, 0.004));
    e.gainCard = !ov.noGain;
    const double reach = isReference ? o.maxOffsetArcmin : 0.3;
    const double dist = rnd.uniform(0.3 * reach, reach), angle = rnd.uniform(0, 2 * M_PI);
    const double dra = ov.offsetRa.value_or(dist * std::sin(angle)) / 60.0;
    const double ddec = ov.offsetDec.value_or(dist * std::cos(angle)) / 60.0;
    FromStandardCoordinates(field.ra, field.dec, dra, ddec, e.ra, e.dec);
    e.rotation = ov.rotation.value_or(rnd.uniform(-1.5, 1.5)) + (!isReference && o.flip ? 180 : 0);
    e.mirrored = isReference && o.mirror;
    e.sip = o.sip;
    e.seeing = ov.seeing.value_or(rnd.uniform(2.4, 4.0));
    e.transparency = ov.transparency.value_or(rnd.uniform(0.75, 1.0));
    e.exptime = ov.exptime.value_or(60);
    e.sky = ov.sky.value_or(rnd.uniform(500, 1200));
    e.gradientX = rnd.uniform(-0.1, 0.1) * e.sky;
    e.gradientY = rnd.uniform(-0.1, 0.1) * e.sky;
    e.dateObs = isReference ? "2025-10-02T22:10:14" : "2026-11-20T21:05:37";
    e.hotPixels = o.hotPixels ? -1 : 0;
    e.cosmicRays = !isReference && o.cosmicRays;
    e.supernovae = !isReference;
    e.solution = o.solution;
    e.cameraSeed = o.seed * 7 + 3;
    e.noiseSeed = o.seed * 1000 + (isReference ? 1 : 2);
    e.flaws.warmClusters = o.warmClusters;
    if (o.flaws) {
        e.flaws.zeroColumns = isReference ? e.width / 8 : 0;
        e.solutionError = isReference ? 2 : 0;
        e.flaws.exposedRadius = isReference ? 0 : 0.97;
        e.flaws.badColumns = true;
        e.flaws.warmPixels = e.width * e.height / 4000;
        e.flaws.bleeds = true;
    }
    return e;
}

} // namespace

Pair MakePair(const PairOptions& o) {
    Pair p;
    FieldOptions fo;
    fo.ra = o.ra;
    fo.dec = o.dec;
    double halfDiagonal = 0;
    for (const EpochOverrides* ov : {&o.reference, &o.reshot})
        halfDiagonal = std::max(halfDiagonal, std::hypot(ov->width.value_or(o.width), ov->height.value_or(o.height)) *
                                                  ov->scale.value_or(o.scale) / 2 / 3600.0);
    fo.halfSizeDeg = halfDiagonal + (o.maxOffsetArcmin + 5) / 60.0;
    fo.densityAt20 = o.density;
    fo.galaxy = o.galaxy;
    fo.seed = o.seed;
    p.field = MakeField(fo);
    for (std::size_t i = 0; i < o.supernovae.size(); ++i)
        AddSupernovaBesideCore(p.field, o.supernovae[i], o.seed, static_cast<int>(i));
    Random rnd(o.seed, 2);
    p.referenceEpoch = makeEpoch(o, p.field, true, rnd);
    p.reshotEpoch = makeEpoch(o, p.field, false, rnd);
    if (o.editField) o.editField(p.field, p.referenceEpoch, p.reshotEpoch);
    p.reference = Render(p.field, p.referenceEpoch);
    p.reshot = Render(p.field, p.reshotEpoch);
    return p;
}

void WriteCatalogFolder(const std::string& folder, const std::vector<const Field*>& fields,
                        std::optional<double> limit, std::uint64_t seed, bool usnoLittleEndian) {
    std::vector<SkyStar> stars;
    for (const Field* f : fields) stars.insert(stars.end(), f->stars.begin(), f->stars.end());
    // Each catalog has its own depth and its own measurement errors.
    CatalogErrors usno, ucac, gsc;
    usno.completeTo = limit.value_or(19.5);
    ucac.completeTo = limit.value_or(15.5);
    ucac.positionSigma = 0.07;
    ucac.magnitudeSigma = 0.15;
    gsc.completeTo = limit.value_or(14.5);
    gsc.positionSigma = 0.3;
    double decMin = 90, decMax = -90;
    for (const Field* f : fields) {
        decMin = std::min(decMin, f->decMin - 1.0);
        decMax = std::max(decMax, f->decMax + 1.0);
    }
    WriteUsnoA2(folder, DrawCatalog(stars, usno, seed * 3 + 1), usnoLittleEndian,
                std::max(decMin, -90.0), std::min(decMax, 90.0));
    WriteUcac2(folder, DrawCatalog(stars, ucac, seed * 3 + 2));
    WriteGscAct(folder, DrawCatalog(stars, gsc, seed * 3 + 3), seed);
}

void WritePair(const PairOptions& o, const Pair& p) {
    namespace fs = std::filesystem;
    fs::create_directories(o.out);
    const fs::path out(o.out);
    WriteFitsImage((out / "reference.fts").string(), p.reference, p.referenceEpoch);
    WriteFitsImage((out / "reshot.fts").string(), p.reshot, p.reshotEpoch);
    WriteTruthJson((out / "truth.json").string(), {"reference", &p.reference},
                   {"reshot", &p.reshot}, p.field);
    WriteCatalogFolder((out / "catalog").string(), {&p.field}, o.catalogLimit, o.seed,
                       o.usnoLittleEndian);
    if (o.dss) {
        DssOptions d;
        d.ra = p.reshotEpoch.ra;
        d.dec = p.reshotEpoch.dec;
        // the field the retrieval asks for: the reshot's width and height
        d.widthArcmin = p.reshot.width * o.scale / 60;
        d.heightArcmin = p.reshot.height * o.scale / 60;
        d.seed = o.seed;
        WriteDssCutout((out / "dss.fits").string(), p.field, d);
    }
    if (o.preview) {
        WritePreviewJpeg((out / "reference.jpg").string(), p.reference);
        WritePreviewJpeg((out / "reshot.jpg").string(), p.reshot);
    }
}

} // namespace skysim
