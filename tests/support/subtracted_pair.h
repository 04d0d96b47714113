#pragma once
// A simulated pair of a folder (reference.fts, reshot.fts, catalog/) as the
// processing run subtracts it: a copy of the reshot, the reference aligned to
// it and subtracted.
#include <memory>
#include <string>

#include "engine/application.h"
#include "engine/document.h"

namespace testsupport {

struct SubtractedPair {
    engine::Application app; // first: the documents go before it
    std::shared_ptr<engine::Document> ref, reshot, sub;

    explicit SubtractedPair(const std::string& folder, bool psfMatching = true) {
        app.SetCatalog("5", folder + "/catalog", 18);
        app.SetPsfMatching(psfMatching);
        ref = app.CreateDocument();
        reshot = app.CreateDocument();
        ref->OpenFile(folder + "/reference.fts");
        reshot->OpenFile(folder + "/reshot.fts");
        sub = reshot->DuplicateDocument();
        sub->AlignToThis(3, false);
        sub->SubtractDocument(*ref);
    }
};

} // namespace testsupport
