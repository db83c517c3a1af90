// Checked allocation for the material database modules: a failed
// allocation ends the process with a message. With the environment variable
// VT_CHECKFREE set, every live block is recorded and releasing a block that
// was not handed out (or was released already) is a fatal error.
#pragma once

#include <cstddef>

void* vtMalloc(std::size_t size);
void* vtCalloc(std::size_t count, std::size_t size);
void* vtRealloc(void* block, std::size_t size);
// Releases a block; a null pointer is no fault.
void vtFree(void* block);

// Prints the message (with the text of errno when it is set) on the
// standard error stream and ends the process: with abort() when VT_COREDUMP
// is set, so that a core dump is made, else with status 1.
[[noreturn]] void vtFatal(const char* message);

namespace tarnvel::services {
// The number of blocks recorded as live (0 when tracking is off).
std::size_t VtLiveBlocks();
}  // namespace tarnvel::services
