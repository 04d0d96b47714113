#pragma once
// An image document of the engine: pixels, header cards and plate solution.
namespace engine {

class Document {
public:
    Document() = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
};

} // namespace engine
