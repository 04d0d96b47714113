// vospen-process: the processing run without windows. Same products, same log,
// same folder; the suspicious stars on standard output.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "checks/card_sources.h"
#include "checks/card_words.h"
#include "checks/discovery_report.h"
#include "platform/error.h"
#include "engine/application.h"
#include "engine/document.h"
#include "platform/app_folder.h"
#include "processing/processing_run.h"
#include "settings/vospen_settings.h"
#include "stars/catalog_check_run.h"
#include "stars/star_lines.h"

namespace {
const char* const kUsage =
    "usage: vospen-process REFERENCE RESHOT [--catalog DIR] [--catalog-index N] [--check] [--json]\n"
    "                      [--report DIR]\n"
    "Aligns REFERENCE to RESHOT, subtracts it and prints the suspicious stars as\n"
    "pixel lines (x y magnitude rawflux), or as JSON. Products and the log go to the\n"
    "\"current\" folder beside RESHOT. With --check, the catalog check follows and\n"
    "prints each candidate as its pixel line and its sky position; with --json each\n"
    "candidate carries its card (minor planets, variable stars, known transients,\n"
    "offset from the nucleus, magnitude and limits, sky-survey plate), and --report\n"
    "writes DIR/DiscoveryReport.txt and DIR/Candidates.reg. Settings not given come\n"
    "from VospenConfig.ini ([Checks] names the checks' files).\n"
    "Exit code 0 on success, 1 when the run cannot continue, 2 for bad arguments.\n";

std::vector<checks::CardCandidate> CardCandidates(const stars::CatalogCheckResult& checked) {
    std::vector<checks::CardCandidate> c;
    for (const auto& cand : checked.candidates) c.push_back({cand.pixelLine, cand.text});
    return c;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs(kUsage, argc == 2 && std::string(argv[1]) == "--help" ? stdout : stderr);
        return argc == 2 && std::string(argv[1]) == "--help" ? 0 : 2;
    }
    const auto settings =
        settings::ReadSettings(platform::ApplicationFolder() + "/" + settings::kConfigFileName).settings;
    processing::RunInputs in;
    in.referencePath = argv[1];
    in.reshotPath = argv[2];
    in.catalog = settings.catalog;
    in.snrSubtracted = settings.snrSubtracted;
    bool json = false, check = false;
    std::string reportFolder;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--json") json = true;
        else if (a == "--check") check = true;
        else if (a == "--report" && i + 1 < argc) reportFolder = argv[++i], check = true;
        else if ((a == "--catalog" || a == "--catalog-index") && i + 1 < argc) {
            const std::string v = argv[++i];
            if (a == "--catalog") in.catalog.folder = v;
            else {
                char* end = nullptr;
                const long n = std::strtol(v.c_str(), &end, 10);
                if (*end || n < 0 || n > 2) {
                    std::fprintf(stderr, "vospen-process: --catalog-index must be 0, 1 or 2\n");
                    return 2;
                }
                in.catalog.code = *settings::CatalogCodeAt(static_cast<int>(n));
            }
        } else {
            std::fprintf(stderr, "vospen-process: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    std::unique_ptr<engine::Application> app;
    std::shared_ptr<engine::Document> ref, reshot, sub;
    const auto r = processing::RunProcessing(in, {app, ref, reshot, sub});
    if (r.failure != processing::RunFailure::None) {
        std::fprintf(stderr, "vospen-process: %s\n", r.message.c_str());
        if (!r.detail.empty()) std::fprintf(stderr, "vospen-process: %s\n", r.detail.c_str());
        return 1;
    }
    if (r.extractionFailed)
        std::fprintf(stderr, "vospen-process: star extraction: error %d %s\n", r.extractionErrorNumber,
                     r.extractionError.c_str());
    if (!json)
        for (const auto& l : r.suspicious) std::cout << l << '\n';
    app->CloseAll();
    std::optional<stars::CatalogCheckResult> checked;
    if (check) {
        // the catalog check, as "Check against Catalog" does it
        checked = stars::RunCatalogCheck(
            processing::CheckInputs(in, r, settings.snrCatalog, settings.matchToleranceDeg, settings.minRawFlux));
        if (!checked->ok)
            std::fprintf(stderr, "vospen-process: check: error %d %s\n", checked->failure.number,
                         checked->failure.description.c_str());
    }
    std::optional<checks::CardSet> cards;
    if (checked && (json || !reportFolder.empty())) {
        try {
            cards = checks::BuildCards(CardCandidates(*checked), checks::CardSourcesFor(settings, r.workFolder, checked->catalog));
            if (!reportFolder.empty()) checks::WriteDiscoveryReport(reportFolder, *cards);
        } catch (const platform::Error& e) {
            std::fprintf(stderr, "vospen-process: candidate cards: error %d %s\n", e.number(), e.description().c_str());
            if (!reportFolder.empty()) return 1;
        }
    }
    if (json) {
        // one document: the candidates inside it, not as text after it
        using checks::JsonString;
        std::cout << "{\"workFolder\": " << JsonString(r.workFolder) << ", \"object\": " << JsonString(r.objectName)
                  << ", \"suspicious\": [";
        for (std::size_t i = 0; i < r.suspicious.size(); ++i) std::cout << (i ? ", " : "") << JsonString(r.suspicious[i]);
        std::cout << "]";
        if (checked) {
            std::cout << ", \"candidates\": [";
            for (std::size_t i = 0; i < checked->candidates.size(); ++i) {
                const auto& cand = checked->candidates[i];
                std::cout << (i ? ", " : "");
                if (cards && i < cards->cards.size()) std::cout << checks::CardJson(cards->cards[i]);
                else std::cout << "{\"line\": " << JsonString(cand.pixelLine) << ", \"text\": " << JsonString(cand.text) << "}";
            }
            std::cout << "]";
            if (cards) std::cout << ", \"images\": " << checks::FactsJson(cards->facts);
        }
        std::cout << "}\n";
    } else if (checked) {
        std::cout << "# candidates\n";
        if (checked->candidates.empty()) std::cout << "No unidentifyable Stars in Image\n";
        for (const auto& cand : checked->candidates) std::cout << cand.pixelLine << " | " << cand.text << '\n';
    }
    return 0;
}
