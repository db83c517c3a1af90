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
    // Grade writes into the slot that failed since it was opened.
    int write_failures = 0;
    // A slot open for writing (or created) works on private copies of its
    // files, which are saved over the files when the slot is closed or
    // committed, and thrown away when it is discarded.
    std::array<std::unique_ptr<RaxFile>, kRaxFileKinds> files;
};

// The slot's entry, or null outside 0 to 3.
SlotState* Slot(int slot);
// An open slot's file, or null.
RaxFile* SlotFile(int slot, RaxFileKind kind);

// Saves the private copies of a writable slot over its three files, all
// three together under a new generation; true when there was nothing to
// save or all three were put in place. On failure a line says why and the
// copies not yet in place are kept for the slot's close to throw away.
bool SaveSlotFiles(SlotState& entry);

}  // namespace tarnvel::matdb
