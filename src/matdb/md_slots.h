// The process-wide table of the four database slots.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "matdb/rax_file.h"

namespace tarnvel::matdb {

struct SlotState {
    const char* name = "";
    // 0 closed, 1 open for reading, 2 open for writing, 3 created.
    int state = 0;
    bool writable = false;
    std::array<std::unique_ptr<RaxFile>, kRaxFileKinds> files;
};

// The slot's entry, or null outside 0 to 3.
SlotState* Slot(int slot);
// An open slot's file, or null.
RaxFile* SlotFile(int slot, RaxFileKind kind);

}  // namespace tarnvel::matdb
