#pragma once
// Typed errors of the engines and services: a number and a description, as the
// message boxes of the windows show them.
#include <stdexcept>
#include <string>

namespace platform {

class Error : public std::runtime_error {
public:
    Error(int number, const std::string& description)
        : std::runtime_error(description), number_(number), description_(description) {}
    int number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }

private:
    int number_;
    std::string description_;
};

} // namespace platform
