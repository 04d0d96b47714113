#pragma once
// The image engine's application object: it knows the open documents.
#include <memory>
#include <vector>

namespace engine {

class Document;

class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Closes every open document.
    void CloseAll();

private:
    std::vector<std::shared_ptr<Document>> documents_;
};

} // namespace engine
