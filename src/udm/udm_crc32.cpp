// The container checksum through ISA-L, which picks the fastest form the
// processor offers (carry-less multiplication folding where available) at
// run time. Its gzip variant is the reflected CRC-32 that zlib computes,
// continued from a running value the same way.
#include "udm/udm_crc32.h"

#include <isa-l/crc.h>

namespace tarnvel::udm {

std::uint32_t crc32_update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return crc;
    return crc32_gzip_refl(crc, bytes, size);
}

}  // namespace tarnvel::udm
