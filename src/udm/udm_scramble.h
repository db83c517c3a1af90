// The scrambling steps of the UDM encodings: a one-byte XOR mask, or the
// output step of RC4 started from the fixed initial permutation (no key
// scheduling). Scrambling and unscrambling are the same operation; the
// keystream state runs on across calls for the whole stream.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "udm/udm_encodings.h"

namespace tarnvel::udm {

class Scrambler {
  public:
    Scrambler() = default;
    explicit Scrambler(Scrambling kind) : kind_(kind) {}

    Scrambling kind() const { return kind_; }

    // XORs every byte with the mask or with the next keystream bytes.
    void apply(std::uint8_t* bytes, std::size_t size) {
        if (kind_ == Scrambling::xor_mask) {
            for (std::size_t n = 0; n < size; ++n) bytes[n] ^= kXorMask;
        } else if (kind_ == Scrambling::keystream) {
            apply_keystream(bytes, size);
        }
    }

  private:
    // The indices stay in registers for the whole block and are stored
    // back once; the permutation is updated in place.
    void apply_keystream(std::uint8_t* bytes, std::size_t size) {
        std::uint8_t* s = s_.data();
        unsigned i = i_;
        unsigned j = j_;
        for (std::size_t n = 0; n < size; ++n) {
            i = (i + 1) & 0xFFu;
            const std::uint8_t si = s[i];
            j = (j + si) & 0xFFu;
            const std::uint8_t sj = s[j];
            s[i] = sj;
            s[j] = si;
            bytes[n] ^= s[(si + sj) & 0xFFu];
        }
        i_ = static_cast<std::uint8_t>(i);
        j_ = static_cast<std::uint8_t>(j);
    }

    Scrambling kind_ = Scrambling::none;
    // The two keystream indices, both 0 at the start of a stream.
    std::uint8_t i_ = 0;
    std::uint8_t j_ = 0;
    // This stream's copy of the permutation.
    std::array<std::uint8_t, 256> s_ = kKeystreamInit;
};

}  // namespace tarnvel::udm
