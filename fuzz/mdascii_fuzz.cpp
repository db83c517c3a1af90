// Feeds arbitrary bytes as a tessel ASCII material file into a scratch
// personal database. Whatever the bytes, the reader must end with its
// warnings or abort message, store what came before and never crash, hang
// or write past a field; every stored grade must read back.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "fuzz_rax_folder.h"
#include "matdb/matdb.h"
#include "matdb/md_ascii.h"
#include "services/vtout.h"

namespace {

// The work folder of the run; the console output of the database layer is
// discarded.
void EnterWorkFolder() {
    if (tarnvel::fuzzing::EnterRaxFolder("mdascii-fuzz")) vtOutSetSink(vtOutDiscard);
}

void CheckStoredGrades() {
    for (MdPosition s = md_first_supplier(md_position(MD_LOCAL)); s.valid; s = md_next_supplier(s))
        for (MdPosition g = md_first_grade(s); g.valid; g = md_next_grade(g))
            if (!md_read_grade(g)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    EnterWorkFolder();
    for (const char* name : tarnvel::fuzzing::kRaxFiles) std::remove(name);
    if (md_open(MD_LOCAL, MD_CREATE) != MD_CREATED) std::abort();
    std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (in != nullptr) {
        const MdAsciiResult result = md_read_ascii(in);
        std::fclose(in);
        if (result.stored < 0) std::abort();
        CheckStoredGrades();
    }
    md_close_all();
    return 0;
}
