#include "engine/application.h"

#include "engine/document.h"

namespace engine {

Application::Application() : registry_(std::make_shared<Registry>()) {}
Application::~Application() = default;

std::shared_ptr<Document> Application::CreateDocument() { return std::make_shared<Document>(registry_); }

void Application::CloseAll() {
    const auto open = registry_->open; // closing changes the list
    for (Document* d : open) d->CloseDocument();
}

void Application::SetCatalog(const std::string& code, const std::string& path, double maxMag) {
    registry_->catalogCode = code;
    registry_->catalogPath = path;
    registry_->catalogMaxMag = maxMag;
}

} // namespace engine
