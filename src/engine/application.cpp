#include "engine/application.h"

#include <malloc.h>

#include "engine/document.h"

namespace engine {
namespace {
// Images are tens of megabytes each, and a processing run makes and frees
// dozens of them. glibc maps every such block afresh from the kernel and
// unmaps it when freed, so each one costs a page fault per 4 KB, taken on one
// core. Kept in the heap instead, a freed image's memory serves the next one.
// Blocks of 32 MB and more (a 4096 x 4096 float image is 64) are mapped all
// the same: in the heap, the gaps they leave among smaller blocks raised a
// run's peak 20 MB above what it holds at once, for 3 % of its time
// (docs/speed.md).
void keepImageMemory() {
    static const bool once = [] {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 512 << 20);
        return true;
    }();
    (void)once;
}
} // namespace

Application::Application() : registry_(std::make_shared<Registry>()) { keepImageMemory(); }
Application::~Application() = default;

std::shared_ptr<Document> Application::CreateDocument() { return std::make_shared<Document>(registry_); }

void Application::CloseAll() {
    const auto open = registry_->documents(); // closing changes the list
    for (Document* d : open) d->CloseDocument();
}

void Application::SetCatalog(const std::string& code, const std::string& path, double maxMag) {
    registry_->catalog = {code, path, maxMag};
}

} // namespace engine
