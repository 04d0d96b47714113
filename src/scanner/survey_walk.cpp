#include "scanner/survey_walk.h"

#include <algorithm>
#include <cctype>

#include "scanner/survey_files.h"

namespace scanner {
namespace fs = std::filesystem;

namespace {

void report(const WalkCallbacks& cb, const std::string& what) {
    if (cb.report) cb.report(what);
}

bool stopped(const WalkCallbacks& cb) { return cb.stop && cb.stop(); }

std::vector<fs::path> list(const fs::path& folder, bool folders, std::error_code& ec) {
    std::vector<fs::path> out = Files().list(folder, folders, ec);
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

// Copies the files of `from` into `to`, keeping their times; returns the
// copies made. Each goes to a temporary name first, so that a failed copy (a
// full disk) never leaves a damaged image under a real name.
std::vector<fs::path> copyContent(const fs::path& from, const fs::path& to, const WalkCallbacks& cb,
                                  bool& copiedAll) {
    std::vector<fs::path> copies;
    copiedAll = true;
    std::error_code listError;
    for (const auto& f : list(from, false, listError)) {
        std::error_code ec;
        const auto target = to / f.filename();
        const auto part = to / (f.filename().string() + ".part");
        auto& files = Files();
        if (files.exists(target, ec) || ec) { // never over an image already there
            report(cb, "cannot copy " + f.string() + ": " + target.string() + (ec ? " cannot be checked" : " exists"));
            copiedAll = false;
            continue;
        }
        files.copyFile(f, part, ec);
        if (!ec) {
            const auto t = files.lastWriteTime(f, ec);
            if (!ec) files.setLastWriteTime(part, t, ec);
        }
        if (!ec) files.rename(part, target, ec);
        if (ec) {
            report(cb, "cannot copy " + f.string() + " to " + target.string() + ": " + ec.message());
            std::error_code ignored;
            fs::remove(part, ignored);
            copiedAll = false;
            continue;
        }
        copies.push_back(target);
    }
    if (listError) {
        report(cb, "cannot read " + from.string() + ": " + listError.message());
        copiedAll = false;
    }
    return copies;
}

// Keeps the newest of the copies just made (the first listed of equal times);
// "" when a time cannot be read, as the newest is then unknown.
std::string pruneToNewest(const std::vector<fs::path>& copies, const WalkCallbacks& cb) {
    fs::path kept;
    fs::file_time_type keptTime{};
    for (const auto& g : copies) {
        std::error_code e;
        const auto t = Files().lastWriteTime(g, e);
        if (e) {
            report(cb, "cannot read the time of " + g.string() + ": " + e.message());
            return {};
        }
        if (kept.empty() || t > keptTime) {
            kept = g;
            keptTime = t;
        }
    }
    for (const auto& g : copies) {
        if (g == kept) continue;
        std::error_code e;
        Files().remove(g, e);
        if (e) report(cb, "cannot delete " + g.string() + ": " + e.message());
    }
    return kept.string();
}

// The first filling of a reference folder from a numbered folder. A partial
// one would make an image the reference unseen: it is undone and "" returned.
std::string makeReference(const fs::path& numbered, const fs::path& reference, const WalkCallbacks& cb) {
    bool copiedAll = false;
    const auto copies = copyContent(numbered, reference, cb, copiedAll);
    std::string kept;
    if (copiedAll && !copies.empty()) kept = copies.size() > 1 ? pruneToNewest(copies, cb) : copies.back().string();
    if (kept.empty())
        for (const auto& c : copies) {
            std::error_code e;
            Files().remove(c, e);
        }
    return kept;
}

} // namespace

bool IsNumberedFolder(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::vector<fs::path> ListFolders(const fs::path& folder) {
    std::error_code ec;
    return list(folder, true, ec);
}
std::vector<fs::path> ListFiles(const fs::path& folder) {
    std::error_code ec;
    return list(folder, false, ec);
}

namespace {

// The target's reference image ("" while there is none yet); false when the
// target must wait for the next scan (its reference folder cannot be read).
// Leftovers of a copy cut short by a kill (NAME.part) are no reference: they
// are cleaned away.
bool findReference(const fs::path& target, const WalkCallbacks& cb, std::string& referenceFile) {
    auto& files = Files();
    const fs::path reference = target / "reference";
    std::error_code ec;
    const bool hasReference = files.isDirectory(reference, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        report(cb, "cannot look at " + reference.string() + ": " + ec.message() + "; " + target.string() +
                       " is left for the next scan");
        return false;
    }
    if (!hasReference) {
        files.createDirectory(reference, ec);
        if (ec) report(cb, "cannot create " + reference.string() + ": " + ec.message());
        return true;
    }
    const auto inReference = list(reference, false, ec);
    if (ec) { // an unread reference folder is never filled anew over what it holds
        report(cb, "cannot read " + reference.string() + ": " + ec.message() + "; " + target.string() +
                       " is left for the next scan");
        return false;
    }
    std::vector<fs::path> kept;
    for (const auto& f : inReference) {
        if (f.extension() != ".part") {
            kept.push_back(f);
            continue;
        }
        std::error_code removeError;
        files.remove(f, removeError);
        report(cb, removeError ? "cannot delete the leftover " + f.string() + ": " + removeError.message()
                               : "deleted the leftover " + f.string() + " of an interrupted copy");
    }
    if (!kept.empty()) referenceFile = kept.back().string(); // the last one listed
    return true;
}

// How the offer of a numbered folder's images ended: each looked at, one not
// (unreadable, or the reference failed it: the folder stays), or a stop.
enum class Offered { All, NotAll, Stopped };

Offered offerImages(const fs::path& target, const std::vector<fs::path>& images, const std::string& referenceFile,
                    const WalkCallbacks& cb) {
    auto& files = Files();
    bool complete = true;
    for (const auto& file : images) {
        if (stopped(cb)) return Offered::Stopped;
        const std::string newImageFile = file.string();
        // new when the time stamps differ; a test that fails counts as new
        std::error_code e1, e2;
        const auto refTime = files.lastWriteTime(referenceFile, e1);
        const auto newTime = files.lastWriteTime(newImageFile, e2);
        if (e2) {
            std::error_code e3;
            if (files.exists(file, e3) || e3) {
                report(cb, "cannot read the time of " + newImageFile + ": " + e2.message());
                complete = false;
            } else {
                report(cb, newImageFile + " vanished during the scan");
            }
            continue;
        }
        if (e1 && !referenceFile.empty())
            report(cb, "cannot read the time of " + referenceFile + ": " + e1.message() + "; " + newImageFile +
                           " counts as new");
        const bool isNew = e1 || referenceFile.empty() || refTime != newTime;
        if (isNew && cb.offer &&
            !cb.offer({target.filename().string(), target.string(), referenceFile, newImageFile, refTime, newTime}))
            complete = false; // the reference failed it: the folder waits for the next scan
    }
    return complete ? Offered::All : Offered::NotAll;
}

// Moves a numbered folder whose images were all looked at into "processed".
void fileFolder(const fs::path& target, const fs::path& numbered, const WalkCallbacks& cb) {
    auto& files = Files();
    std::error_code ec;
    const fs::path processed = target / "processed";
    if (!files.isDirectory(processed, ec)) {
        files.createDirectory(processed, ec);
        if (ec) {
            report(cb, "cannot create " + processed.string() + ": " + ec.message());
            return;
        }
    }
    const fs::path destination = processed / numbered.filename();
    const bool taken = files.exists(destination, ec);
    if (taken || ec) {
        report(cb, "cannot move " + numbered.string() + ": " + destination.string() +
                       (ec ? " cannot be checked" : " exists") + "; it is offered again by the next scan");
        return;
    }
    files.rename(numbered, destination, ec);
    if (ec) report(cb, "cannot move " + numbered.string() + " to " + processed.string() + ": " + ec.message());
}

} // namespace

// A numbered folder is filed under "processed" only when every image in it was
// looked at: one that could not be read stays, and with it its folder, for the
// next scan to offer again.
void WalkSurvey(const std::string& baseFolder, const WalkCallbacks& cb) {
    std::error_code baseError;
    const auto targets = list(baseFolder, true, baseError);
    if (baseError) report(cb, "cannot read " + baseFolder + ": " + baseError.message());
    for (const auto& target : targets) {
        if (stopped(cb)) return;
        std::string referenceFile;
        if (!findReference(target, cb, referenceFile)) continue;
        std::error_code foldersError;
        const auto numberedFolders = list(target, true, foldersError);
        if (foldersError) { // a partial listing could put a later folder first and make it the reference
            report(cb, "cannot read " + target.string() + ": " + foldersError.message() + "; the target is left for the next scan");
            continue;
        }
        for (const auto& numbered : numberedFolders) {
            if (stopped(cb)) return;
            if (!IsNumberedFolder(numbered.filename().string())) continue;
            std::error_code filesError;
            const auto images = list(numbered, false, filesError);
            if (filesError) report(cb, "cannot read " + numbered.string() + ": " + filesError.message());
            if (referenceFile.empty() && (filesError || !images.empty())) {
                // the first numbered folder makes the reference; the later ones wait until it exists
                if (!filesError) referenceFile = makeReference(numbered, target / "reference", cb);
                if (referenceFile.empty()) {
                    report(cb, "the reference of " + target.string() + " could not be made; the target is left for the next scan");
                    break;
                }
            }
            // a stop while files of this folder are still to come leaves it in place;
            // once its last image was shown it is filed as usual
            const Offered offered = offerImages(target, images, referenceFile, cb);
            if (offered == Offered::Stopped) return;
            if (offered == Offered::NotAll || filesError) {
                report(cb, numbered.string() + " is left in place; it is offered again by the next scan");
                continue;
            }
            fileFolder(target, numbered, cb);
        }
    }
}

} // namespace scanner
