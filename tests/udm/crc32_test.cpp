#include "udm/udm_crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// The container checksum must be zlib's crc32 (the gzip checksum), not one
// of ISA-L's other CRC-32 variants: every length up to and around the
// folding block sizes, at unaligned starts, and continued from a running
// value.
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

// One large block and the same bytes in uneven pieces give one value.
TEST(UdmCrc32, PiecesAddUpToTheWholeOverMegabytes) {
    std::mt19937 random(11);
    std::vector<std::uint8_t> bytes((3u << 20) + 77);
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
    const auto expected = static_cast<std::uint32_t>(crc32(0, bytes.data(), bytes.size()));
    EXPECT_EQ(tarnvel::udm::crc32_update(0, bytes.data(), bytes.size()), expected);
    std::uint32_t running = 0;
    for (std::size_t at = 0, step = 1; at < bytes.size(); at += step, step = step * 3 + 1) {
        const std::size_t size = std::min(step, bytes.size() - at);
        running = tarnvel::udm::crc32_update(running, bytes.data() + at, size);
    }
    EXPECT_EQ(running, expected);
}

TEST(UdmCrc32, KnownCheckValue) {
    const char* text = "123456789";
    EXPECT_EQ(tarnvel::udm::crc32_update(0, reinterpret_cast<const std::uint8_t*>(text), 9),
              0xCBF43926u);
}

}  // namespace
