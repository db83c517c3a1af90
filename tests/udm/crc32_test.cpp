#include "udm/udm_crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

// Every length around the 16- and 64-byte folding steps, at unaligned
// starts, and continued from a running checksum, must give zlib's value.
TEST(UdmCrc32, MatchesZlibForEveryLengthAndAlignment) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> bytes(9000);
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
    for (std::size_t size = 0; size <= 300; ++size) {
        for (std::size_t start : {0, 1, 5, 15}) {
            const std::uint8_t* at = bytes.data() + start;
            const auto expected = static_cast<std::uint32_t>(crc32(0, at, size));
            ASSERT_EQ(tarnvel::udm::crc32_update(0, at, size), expected) << size << " " << start;
            const auto continued = static_cast<std::uint32_t>(crc32(expected, at + size, 4099));
            ASSERT_EQ(tarnvel::udm::crc32_update(expected, at + size, 4099), continued);
        }
    }
}

TEST(UdmCrc32, KnownCheckValue) {
    const char* text = "123456789";
    EXPECT_EQ(tarnvel::udm::crc32_update(0, reinterpret_cast<const std::uint8_t*>(text), 9),
              0xCBF43926u);
}

}  // namespace
