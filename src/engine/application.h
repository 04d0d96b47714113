#pragma once
// The image engine's application object: it creates the documents, knows which
// are open (AlignToThis acts on every other open one) and holds the catalog
// settings that plate solving uses.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engine {

class Document;

struct Registry {
    std::vector<Document*> open; // not owning: documents register and unregister themselves
    std::string catalogCode = "5";
    std::string catalogPath;
    double catalogMaxMag = 18;
    std::uint64_t nextGeometry = 1;
    bool psfMatching = true; // off only to measure what it costs and gives
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
    void SetPsfMatching(bool on) { registry_->psfMatching = on; }
    std::size_t openDocuments() const { return registry_->open.size(); }

private:
    std::shared_ptr<Registry> registry_;
};

} // namespace engine
