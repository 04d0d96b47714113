#pragma once
#include <future>
#include <string>

namespace scanner {

// The part of a target's preparation that the blink does not wait for: the
// difference and four of the six products, made on a thread of their own.
class TargetProducts {
public:
    TargetProducts() = default;
    explicit TargetProducts(std::future<void> rest) : rest_(std::move(rest)) {}
    TargetProducts(TargetProducts&&) = default;
    TargetProducts& operator=(TargetProducts&& o) noexcept {
        if (rest_.valid()) rest_.wait();
        rest_ = std::move(o.rest_);
        return *this;
    }
    ~TargetProducts() {
        if (rest_.valid()) rest_.wait();
    }
    // Waits until every product is written; throws what failed, once.
    void finish() {
        if (rest_.valid()) rest_.get();
    }

private:
    std::future<void> rest_;
};

// The engine half of a target's preparation: the reference aligned to the new
// image and subtracted, the six products written into `currentFolder`. No
// plate-solve check, no log, no extraction. Returns once the two pictures the
// blink shows are written; the rest goes on until finish(). Throws
// platform::Error.
[[nodiscard]] TargetProducts PrepareTargetProducts(const std::string& referenceFile,
                                                   const std::string& newImageFile,
                                                   const std::string& currentFolder);

} // namespace scanner
