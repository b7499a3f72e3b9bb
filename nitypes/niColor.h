#pragma once

#include <cstdint>
#include <ostream>

namespace niTypes {

// A colour as one 32-bit unsigned value.
class niColor {
public:
    niColor() = default;
    explicit niColor(std::uint32_t value) : value_(value) {}

    std::uint32_t value() const { return value_; }

    friend bool operator==(niColor a, niColor b) { return a.value_ == b.value_; }
    friend bool operator!=(niColor a, niColor b) { return a.value_ != b.value_; }
    friend std::ostream& operator<<(std::ostream& out, niColor c) { return out << "niColor(" << c.value_ << ')'; }

private:
    std::uint32_t value_ = 0;
};

}  // namespace niTypes
