// CRC-32 of the compressed container (the gzip checksum: reflected
// polynomial 0xEDB88320, initial and final inversion).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnvel::udm {

// The CRC-32 of the bytes continued from crc (0 for a fresh checksum); the
// same value as zlib's crc32.
std::uint32_t crc32_update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size);

}  // namespace tarnvel::udm
