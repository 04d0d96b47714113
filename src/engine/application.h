#pragma once
// The image engine's application object: it creates the documents, knows which
// are open (AlignToThis acts on every other open one) and holds the catalog
// settings that plate solving uses.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "astrometry/catalog.h"

namespace engine {

class Document;

struct Registry {
    // The open documents, not owned: they register and unregister themselves,
    // from any thread (two files may be opened side by side).
    void add(Document* d) {
        std::lock_guard<std::mutex> lock(mutex);
        open.push_back(d);
    }
    void remove(Document* d) {
        std::lock_guard<std::mutex> lock(mutex);
        open.erase(std::remove(open.begin(), open.end(), d), open.end());
    }
    std::vector<Document*> documents() const {
        std::lock_guard<std::mutex> lock(mutex);
        return open;
    }
    std::uint64_t newGeometry() {
        std::lock_guard<std::mutex> lock(mutex);
        return nextGeometry++;
    }

    astrometry::CatalogSettings catalog;
    bool psfMatching = true; // off only to measure what it costs and gives

private:
    mutable std::mutex mutex;
    std::vector<Document*> open;
    std::uint64_t nextGeometry = 1;
};

class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    std::shared_ptr<Document> CreateDocument();
    // Closes every open document.
    void CloseAll();
    void SetCatalog(const std::string& code, const std::string& path, double maxMag);
    void SetCatalog(const astrometry::CatalogSettings& catalog) { registry_->catalog = catalog; }
    void SetPsfMatching(bool on) { registry_->psfMatching = on; }
    std::size_t openDocuments() const { return registry_->documents().size(); }

private:
    std::shared_ptr<Registry> registry_;
};

} // namespace engine
