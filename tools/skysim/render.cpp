#include "render.h"

#include <algorithm>
#include <cmath>

#include "random.h"

namespace skysim {
namespace {

struct Canvas {
    int w, h;
    std::vector<float> v;
    float& at(int x, int y) { return v[static_cast<std::size_t>(y) * w + x]; }
};

// The Moffat profile (1 / alpha^2 = ia2) averaged over the pixel whose centre
// lies (dx, dy) from the profile's: on a grid, finer where it changes fast.
double moffatPixel(double dx, double dy, double ia2, double beta) {
    const int n = (std::abs(dx) < 3 && std::abs(dy) < 3) ? 7 : 3;
    double value = 0;
    for (int sy = 0; sy < n; ++sy)
        for (int sx = 0; sx < n; ++sx) {
            const double ux = dx + (sx + 0.5) / n - 0.5, uy = dy + (sy + 0.5) / n - 0.5;
            value += std::pow(1 + (ux * ux + uy * uy) * ia2, -beta);
        }
    return value / (n * n);
}

// Moffat profile of total flux `flux` centred at the 0-based pixel position (cx, cy).
// The stamp is normalised to the whole flux, so that the truth file's flux is
// what lies in the pixels.
void addMoffat(Canvas& c, double cx, double cy, double flux, double fwhmPx, double beta) {
    const double alpha = fwhmPx / (2 * std::sqrt(std::pow(2.0, 1.0 / beta) - 1));
    const double norm = flux * (beta - 1) / (M_PI * alpha * alpha);
    const double floorLevel = 0.02;
    double radius = alpha * std::sqrt(std::pow(std::max(norm / floorLevel, 1.0), 1.0 / beta) - 1);
    radius = std::clamp(radius, 3.0, 120.0);
    const int x0 = static_cast<int>(std::floor(cx - radius)), x1 = static_cast<int>(std::ceil(cx + radius));
    const int y0 = static_cast<int>(std::floor(cy - radius)), y1 = static_cast<int>(std::ceil(cy + radius));
    const int sw = x1 - x0 + 1, sh = y1 - y0 + 1;
    std::vector<double> stamp(static_cast<std::size_t>(sw) * sh);
    const double ia2 = 1.0 / (alpha * alpha);
    double sum = 0;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const double value = moffatPixel(x - cx, y - cy, ia2, beta);
            stamp[static_cast<std::size_t>(y - y0) * sw + (x - x0)] = value;
            sum += value;
        }
    }
    const double scale = sum > 0 ? flux / sum : 0;
    (void)norm;
    for (int y = std::max(0, y0); y <= std::min(c.h - 1, y1); ++y)
        for (int x = std::max(0, x0); x <= std::min(c.w - 1, x1); ++x)
            c.at(x, y) += static_cast<float>(scale * stamp[static_cast<std::size_t>(y - y0) * sw + (x - x0)]);
}

void addGalaxy(Canvas& c, const Galaxy& g, const Epoch& e, const Plate& plate) {
    double gx, gy;
    if (!plate.skyToPixel(g.ra, g.dec, gx, gy)) return;
    gx -= 1;
    gy -= 1;
    const double scale = e.scale;
    const double radiusPx = std::max(9 * g.discH, 12 * g.bulgeRe) / scale;
    const double soften = 0.05; // arcsec: keeps the cusp finite
    const double pa = g.positionAngle * M_PI / 180;
    const int n = static_cast<int>(2 * radiusPx) + 1;
    std::vector<double> bulge(static_cast<std::size_t>(n) * n), disc(bulge.size());
    std::vector<char> core(bulge.size(), 0);
    double sumB = 0, sumD = 0;
    const int bx0 = static_cast<int>(std::floor(gx - radiusPx));
    const int by0 = static_cast<int>(std::floor(gy - radiusPx));
    auto profile = [&](double px, double py, double& b, double& d) {
        double ra, dec, xi, eta;
        b = d = 0;
        plate.pixelToSky(px, py, ra, dec);
        if (!StandardCoordinates(g.ra, g.dec, ra, dec, xi, eta)) return;
        xi *= 3600;
        eta *= 3600;
        const double major = xi * std::sin(pa) + eta * std::cos(pa);
        const double minor = (xi * std::cos(pa) - eta * std::sin(pa)) / g.axisRatio;
        const double r = std::sqrt(major * major + minor * minor + soften * soften);
        b = std::exp(-7.669 * (std::pow(r / g.bulgeRe, 0.25) - 1));
        d = std::exp(-r / g.discH);
    };
    // The light a pixel collects, not the profile at its centre. Near the
    // nucleus that is not enough: a pixel there holds several per cent of the
    // bulge's light, and spread from the pixel's centre it moved the nucleus by
    // up to half a pixel, another way each night; two nights showed a dipole no
    // kernel could match. So within kCore pixels the light is kept on an
    // eighth-pixel grid and spread from there.
    constexpr int kFine = 8;
    constexpr double kCore = 3;
    struct FineLight {
        int i, j, phase; // host pixel in the grid, cell within it
        double bulge, disc;
    };
    std::vector<FineLight> fine;
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            const double px = bx0 + i + 1, py = by0 + j + 1;
            const double dist = std::hypot(px - 1 - gx, py - 1 - gy);
            double b = 0, d = 0;
            const std::size_t k = static_cast<std::size_t>(j) * n + i;
            if (dist < kCore) {
                // the cells, each resolved to a fraction of the cusp's softening by the nucleus
                const int sub = dist < 1.5 ? 8 : 2;
                for (int fy = 0; fy < kFine; ++fy)
                    for (int fx = 0; fx < kFine; ++fx) {
                        double cb = 0, cd = 0;
                        for (int sj = 0; sj < sub; ++sj)
                            for (int si = 0; si < sub; ++si) {
                                double bb, dd;
                                profile(px - 0.5 + (fx + (si + 0.5) / sub) / kFine,
                                        py - 0.5 + (fy + (sj + 0.5) / sub) / kFine, bb, dd);
                                cb += bb;
                                cd += dd;
                            }
                        const double share = 1.0 / (sub * sub * kFine * kFine);
                        fine.push_back({i, j, fy * kFine + fx, cb * share, cd * share});
                        b += cb * share;
                        d += cd * share;
                    }
                core[k] = 1;
            } else {
                const int sub = dist < 4 * g.bulgeRe / scale ? 3 : 1;
                for (int sj = 0; sj < sub; ++sj)
                    for (int si = 0; si < sub; ++si) {
                        double bb, dd;
                        profile(px - 0.5 + (si + 0.5) / sub, py - 0.5 + (sj + 0.5) / sub, bb, dd);
                        b += bb;
                        d += dd;
                    }
                b /= sub * sub;
                d /= sub * sub;
            }
            bulge[k] = b;
            disc[k] = d;
            sumB += b;
            sumD += d;
        }
    }
    // The seeing blurs the galaxy as it blurs the stars: with the very profile
    // the stars get, integrated over each pixel and reaching far into the wings
    // (a real nucleus is never sharper than a star, and a kernel that matches the
    // stars of two nights matches their galaxies too). A profile cut at 2.5
    // FWHM lost a few per cent of the light from the wings, a share that changes
    // with the seeing.
    const double fb = e.fluxOf(g.bulgeMag) / sumB, fd = e.fluxOf(g.discMag) / sumD;
    std::vector<double> light(bulge.size());
    for (std::size_t k = 0; k < light.size(); ++k) light[k] = core[k] ? 0 : fb * bulge[k] + fd * disc[k];
    const double fwhm = e.seeing / scale;
    const double alpha = fwhm / (2 * std::sqrt(std::pow(2.0, 1 / e.beta) - 1));
    const int reach = std::max(3, static_cast<int>(std::ceil(6 * fwhm)));
    const int side = 2 * reach + 1;
    {
        const std::vector<double> k = MoffatShares(0, 0, alpha, e.beta, reach);
        std::vector<double> t(light.size(), 0.0);
#pragma omp parallel for schedule(dynamic, 4)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                double acc = 0;
                for (int v = std::max(-reach, -j); v <= std::min(reach, n - 1 - j); ++v) {
                    const double* kr = &k[static_cast<std::size_t>(v + reach) * side + reach];
                    const double* ar = &light[static_cast<std::size_t>(j + v) * n + i];
                    for (int u = std::max(-reach, -i); u <= std::min(reach, n - 1 - i); ++u) acc += kr[u] * ar[u];
                }
                t[static_cast<std::size_t>(j) * n + i] = acc;
            }
        light.swap(t);
    }
    {
        std::vector<std::vector<double>> tables(kFine * kFine);
#pragma omp parallel for schedule(dynamic, 1)
        for (int p = 0; p < kFine * kFine; ++p)
            tables[p] = MoffatShares((p % kFine + 0.5) / kFine - 0.5, (p / kFine + 0.5) / kFine - 0.5, alpha, e.beta,
                                    reach);
        for (const auto& f : fine) {
            const double amount = fb * f.bulge + fd * f.disc;
            const auto& k = tables[f.phase];
            for (int v = std::max(-reach, -f.j); v <= std::min(reach, n - 1 - f.j); ++v)
                for (int u = std::max(-reach, -f.i); u <= std::min(reach, n - 1 - f.i); ++u)
                    light[static_cast<std::size_t>(f.j + v) * n + f.i + u] +=
                        amount * k[static_cast<std::size_t>(v + reach) * side + u + reach];
        }
    }
    for (int j = 0; j < n; ++j) {
        const int y = by0 + j;
        if (y < 0 || y >= c.h) continue;
        for (int i = 0; i < n; ++i) {
            const int x = bx0 + i;
            if (x < 0 || x >= c.w) continue;
            c.at(x, y) += static_cast<float>(light[static_cast<std::size_t>(j) * n + i]);
        }
    }
}

// The share of the sky's light that reaches pixel (x, y): all of it within a
// vignetted field's circle, falling off over its last tenth, nothing beyond.
double exposedShare(const Epoch& e, int x, int y) {
    if (!(e.flaws.exposedRadius > 0)) return 1;
    const double half = 0.5 * std::hypot(e.width, e.height);
    const double r = std::hypot(x + 0.5 - 0.5 * e.width, y + 0.5 - 0.5 * e.height) / (e.flaws.exposedRadius * half);
    if (r >= 1) return 0;
    return r <= 0.9 ? 1 : 0.5 + 0.5 * std::cos(M_PI * (r - 0.9) / 0.1);
}

// Hot and cold columns and clusters at the camera's places; warm pixels there
// too, at another level in every frame (dark current that flickers).
void addFlawDefects(Canvas& defects, const Epoch& e) {
    Random cam(e.cameraSeed, 78), frame(e.noiseSeed, 79);
    if (e.flaws.badColumns) {
        const int hotColumn = e.width / 3 + cam.below(e.width / 6), coldColumn = 2 * e.width / 3 + cam.below(e.width / 6);
        for (int y = 0; y < e.height; ++y) {
            defects.at(hotColumn, y) += 400;
            defects.at(coldColumn, y) -= static_cast<float>(0.6 * e.sky);
        }
        const int hx = 20 + cam.below(e.width - 40), hy = 20 + cam.below(e.height - 40);
        const int cx = 20 + cam.below(e.width - 40), cy = 20 + cam.below(e.height - 40);
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) {
                defects.at(hx + dx, hy + dy) += 5000;
                defects.at(cx + dx, cy + dy) -= static_cast<float>(0.8 * e.sky);
            }
    }
    for (int i = 0; i < e.flaws.warmPixels; ++i) {
        const int x = cam.below(e.width), y = cam.below(e.height);
        const double level = cam.uniform(200, 3000);
        defects.at(x, y) += static_cast<float>(level * frame.uniform(0.6, 1.4) * e.exptime / 60.0);
    }
    for (int i = 0; i < e.flaws.warmClusters; ++i) {
        const int x = 2 + cam.below(e.width - 4), y = 2 + cam.below(e.height - 4);
        const int n = 2 + cam.below(2);
        for (int k = 0; k < n; ++k) {
            const int dx = k ? cam.below(5) - 2 : 0, dy = k ? cam.below(5) - 2 : 0;
            const double level = cam.uniform(300, 3000);
            defects.at(x + dx, y + dy) += static_cast<float>(level * frame.uniform(0.6, 1.4) * e.exptime / 60.0);
        }
    }
}

// A saturated pixel's charge beyond the full well runs up and down its column.
void bleedAlongColumns(std::vector<double>& raw, int w, int h) {
    const double well = 65535;
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            double& v = raw[static_cast<std::size_t>(y) * w + x];
            if (v <= well) continue;
            double excess = v - well;
            v = well;
            for (int d = 1; excess > 0 && d < h; ++d)
                for (const int yy : {y - d, y + d}) {
                    if (yy < 0 || yy >= h || excess <= 0) continue;
                    double& u = raw[static_cast<std::size_t>(yy) * w + x];
                    const double room = std::max(0.0, well - u), moved = std::min(room, 0.5 * excess + 1);
                    u += moved;
                    excess -= moved;
                }
        }
}

} // namespace

std::vector<double> MoffatShares(double ox, double oy, double alpha, double beta, int reach) {
    const int side = 2 * reach + 1;
    std::vector<double> k(static_cast<std::size_t>(side) * side);
    double sum = 0;
    for (int v = -reach; v <= reach; ++v)
        for (int u = -reach; u <= reach; ++u)
            sum += k[static_cast<std::size_t>(v + reach) * side + u + reach] =
                moffatPixel(u - ox, v - oy, 1 / (alpha * alpha), beta);
    for (auto& v : k) v /= sum;
    return k;
}

Image Render(const Field& field, const Epoch& e) {
    Plate plate = MakePlate(e.ra, e.dec, e.width, e.height, e.scale, e.rotation, e.mirrored);
    if (e.sip) {
        // a gentle barrel distortion, as short focal reducers give
        const double k = 2.5e-8 * 1024.0 / std::max(e.width, e.height);
        plate.sip = true;
        plate.a20 = k;
        plate.a02 = 0.6 * k;
        plate.a11 = 0.3 * k;
        plate.b20 = -0.4 * k;
        plate.b11 = 0.8 * k;
        plate.b02 = 1.1 * k;
    }
    return RenderWithPlate(field, e, plate);
}

Image RenderWithPlate(const Field& field, const Epoch& e, const Plate& plate) {
    Image img;
    img.width = e.width;
    img.height = e.height;
    img.plate = plate;
    Canvas c{e.width, e.height, std::vector<float>(static_cast<std::size_t>(e.width) * e.height)};
    const double fwhmPx = e.seeing / e.scale;

    auto place = [&](double ra, double dec, double mag, std::vector<TruthStar>& out) {
        double p, q;
        if (!img.plate.skyToPixel(ra, dec, p, q)) return;
        const double margin = 40;
        if (p < -margin || q < -margin || p > e.width + margin || q > e.height + margin) return;
        const double flux = e.fluxOf(mag);
        addMoffat(c, p - 1, q - 1, flux, fwhmPx, e.beta);
        if (p >= 0.5 && q >= 0.5 && p <= e.width + 0.5 && q <= e.height + 0.5)
            out.push_back({ra, dec, p, q, mag, flux});
    };
    for (const auto& s : field.stars) place(s.ra, s.dec, s.mag, img.stars);
    if (e.supernovae)
        for (const auto& sn : field.supernovae) place(sn.ra, sn.dec, sn.mag, img.supernovae);
    if (field.galaxy) addGalaxy(c, *field.galaxy, e, img.plate);

    // camera defects and cosmic rays, added on top of the noisy sky
    Canvas defects{e.width, e.height, std::vector<float>(c.v.size())};
    Random cam(e.cameraSeed, 77);
    const int hot = e.hotPixels >= 0 ? e.hotPixels
                                     : static_cast<int>(double(e.width) * e.height / 150000.0);
    for (int i = 0; i < hot; ++i) {
        const int x = cam.below(e.width), y = cam.below(e.height);
        defects.at(x, y) += static_cast<float>(cam.uniform(3000, 30000) * e.exptime / 60.0);
        img.hotPixels.emplace_back(x + 1.0, y + 1.0);
    }
    if (e.cosmicRays) {
        Random cr(e.noiseSeed, 99);
        const int count =
            static_cast<int>(double(e.width) * e.height * e.exptime / 60.0 / 100000.0) + 1;
        for (int i = 0; i < count; ++i) {
            double x = cr.uniform(0, e.width), y = cr.uniform(0, e.height);
            img.cosmicRays.emplace_back(std::floor(x) + 1.0, std::floor(y) + 1.0);
            const int length = 1 + cr.below(4);
            const double angle = cr.uniform(0, 2 * M_PI);
            for (int k = 0; k < length; ++k) {
                const int px = static_cast<int>(x), py = static_cast<int>(y);
                if (px >= 0 && py >= 0 && px < e.width && py < e.height)
                    defects.at(px, py) += static_cast<float>(cr.uniform(1500, 15000));
                x += std::cos(angle);
                y += std::sin(angle);
            }
        }
    }

    addFlawDefects(defects, e);
    std::vector<double> raw(c.v.size());
    const double skyE = e.sky;
#pragma omp parallel for schedule(static)
    for (int y = 0; y < e.height; ++y) {
        Random rnd(e.noiseSeed, 1000000 + static_cast<std::uint64_t>(y));
        for (int x = 0; x < e.width; ++x) {
            const double level = skyE + e.gradientX * (x / double(e.width) - 0.5) +
                                 e.gradientY * (y / double(e.height) - 0.5);
            const double signal = std::max(0.0, level + c.at(x, y)) * exposedShare(e, x, y);
            raw[static_cast<std::size_t>(y) * e.width + x] = rnd.poisson(signal * e.gain) / e.gain +
                                                              rnd.normal() * e.readNoise / e.gain + e.bias +
                                                              defects.at(x, y);
        }
    }
    if (e.flaws.bleeds) bleedAlongColumns(raw, e.width, e.height);
    img.pixels.resize(c.v.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const bool zeroFilled = static_cast<int>(i % e.width) < e.flaws.zeroColumns;
        img.pixels[i] = zeroFilled ? 0 : static_cast<std::uint16_t>(std::clamp(std::round(raw[i]), 0.0, 65535.0));
    }
    return img;
}

} // namespace skysim
