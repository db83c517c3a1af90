// What the fuzz targets that build structures from bytes share: a reader
// of the input that gives zeros once the bytes run out, and a check that
// ends the run as a finding when a property of the code does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace tarnvel::fuzzing {

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    bool more() const { return at < size; }
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    // Four bytes, the first the highest.
    std::uint32_t word() {
        std::uint32_t w = 0;
        for (int i = 0; i < 4; ++i) w = (w << 8) | byte();
        return w;
    }
};

inline void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace tarnvel::fuzzing
