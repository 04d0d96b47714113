#include "scanner/survey_walk.h"

#include <algorithm>
#include <cctype>

namespace scanner {
namespace fs = std::filesystem;

namespace {

void report(const WalkCallbacks& cb, const std::string& what) {
    if (cb.report) cb.report(what);
}

bool stopped(const WalkCallbacks& cb) { return cb.stop && cb.stop(); }

std::vector<fs::path> list(const fs::path& folder, bool folders) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        const bool isDir = it->is_directory(e2);
        if (e2) continue;
        if (isDir == folders && (folders || it->is_regular_file(e2))) out.push_back(it->path());
    }
    std::sort(out.begin(), out.end(), [](const fs::path& a, const fs::path& b) {
        const std::string an = a.filename().string(), bn = b.filename().string();
        const bool na = IsNumberedFolder(an), nb = IsNumberedFolder(bn);
        if (na && nb) {
            // numeric order without overflow: shorter digit strings first (leading zeros aside)
            const auto strip = [](const std::string& s) {
                const auto p = s.find_first_not_of('0');
                return p == std::string::npos ? std::string("0") : s.substr(p);
            };
            const std::string sa = strip(an), sb = strip(bn);
            if (sa.size() != sb.size()) return sa.size() < sb.size();
            if (sa != sb) return sa < sb;
        }
        if (na != nb) return na;
        return an < bn;
    });
    return out;
}

// Copies the files of `from` into `to`, keeping their times; the files already
// there with the same names are replaced.
bool copyContent(const fs::path& from, const fs::path& to, const WalkCallbacks& cb) {
    bool ok = true;
    for (const auto& f : ListFiles(from)) {
        std::error_code ec;
        const auto target = to / f.filename();
        fs::copy_file(f, target, fs::copy_options::overwrite_existing, ec);
        if (!ec) fs::last_write_time(target, fs::last_write_time(f, ec), ec);
        if (ec) {
            report(cb, "cannot copy " + f.string() + " to " + target.string() + ": " + ec.message());
            ok = false;
        }
    }
    return ok;
}

// Keeps the newest file of the reference folder (the first listed of equal times).
std::string pruneToNewest(const fs::path& reference, const WalkCallbacks& cb) {
    const auto files = ListFiles(reference);
    if (files.empty()) return {};
    fs::path kept = files.front();
    std::error_code ec;
    auto keptTime = fs::last_write_time(kept, ec);
    for (const auto& g : files) {
        std::error_code e;
        const auto t = fs::last_write_time(g, e);
        if (e) continue;
        if (t > keptTime) {
            if (kept != g && !fs::remove(kept, e)) report(cb, "cannot delete " + kept.string() + ": " + e.message());
            kept = g;
            keptTime = t;
        } else if (g != kept) {
            if (!fs::remove(g, e)) report(cb, "cannot delete " + g.string() + ": " + e.message());
        }
    }
    return kept.string();
}

} // namespace

bool IsNumberedFolder(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::vector<fs::path> ListFolders(const fs::path& folder) { return list(folder, true); }
std::vector<fs::path> ListFiles(const fs::path& folder) { return list(folder, false); }

void WalkSurvey(const std::string& baseFolder, const WalkCallbacks& cb) {
    for (const auto& target : ListFolders(baseFolder)) {
        if (stopped(cb)) return;
        std::string referenceFile;
        const fs::path reference = target / "reference";
        std::error_code ec;
        if (fs::is_directory(reference, ec)) {
            for (const auto& f : ListFiles(reference)) referenceFile = f.string(); // the last one listed
        } else if (!fs::create_directory(reference, ec)) {
            report(cb, "cannot create " + reference.string() + ": " + ec.message());
        }
        for (const auto& numbered : ListFolders(target)) {
            if (stopped(cb)) return;
            if (!IsNumberedFolder(numbered.filename().string())) continue;
            // a stop while files of this folder are still to come leaves it in place;
            // once its last image was shown it is filed as usual
            for (const auto& file : ListFiles(numbered)) {
                if (stopped(cb)) return;
                const std::string newImageFile = file.string();
                if (referenceFile.empty()) {
                    copyContent(numbered, reference, cb);
                    const auto inReference = ListFiles(reference);
                    referenceFile = inReference.size() > 1 ? pruneToNewest(reference, cb)
                                                           : (inReference.empty() ? "" : inReference.back().string());
                }
                // new when the time stamps differ; a test that fails counts as new
                std::error_code e1, e2;
                const auto refTime = fs::last_write_time(referenceFile, e1);
                const auto newTime = fs::last_write_time(newImageFile, e2);
                if (e2) {
                    report(cb, newImageFile + " vanished during the scan");
                    continue;
                }
                const bool isNew = e1 || referenceFile.empty() || refTime != newTime;
                if (isNew && cb.offer)
                    cb.offer({target.filename().string(), target.string(), referenceFile, newImageFile, refTime, newTime});
            }
            const fs::path processed = target / "processed";
            if (!fs::is_directory(processed, ec) && !fs::create_directory(processed, ec)) {
                report(cb, "cannot create " + processed.string() + ": " + ec.message());
                continue;
            }
            const fs::path destination = processed / numbered.filename();
            if (fs::exists(destination, ec)) {
                report(cb, "cannot move " + numbered.string() + ": " + destination.string() + " exists; it is offered again by the next scan");
                continue;
            }
            fs::rename(numbered, destination, ec);
            if (ec) report(cb, "cannot move " + numbered.string() + " to " + processed.string() + ": " + ec.message());
        }
    }
}

} // namespace scanner
