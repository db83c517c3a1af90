// Opens a personal material database made of three fuzzed files (supplier,
// grade and data file), reads it whole as the diff, grade list and export
// commands do (a database compared with itself must show no difference),
// then walks every supplier and grade, reads each grade and writes it back. Whatever the files
// hold, the access layer must end every walk, chain and link without crashing, hanging or growing
// without bound.
//
// Input: two 16-bit little-endian lengths (supplier file, grade file), then
// the supplier file, the grade file and, with the rest, the data file.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_rax_folder.h"
#include "matdb/matdb.h"
#include "matdb/md_ascii_writer.h"
#include "matdb/md_diff.h"
#include "matdb/md_grade_list.h"
#include "services/vtout.h"

namespace {

constexpr std::size_t kLengthBytes = 4;
// Grades visited per input; the walks are bounded anyway, this keeps a
// single input quick.
constexpr int kMaxGrades = 200;

void WriteFile(const char* name, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(name, "wb");
    if (!file) std::abort();
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);
}

std::size_t Length(const std::uint8_t* data) {
    return static_cast<std::size_t>(data[0]) | static_cast<std::size_t>(data[1]) << 8;
}

void RewriteEveryGrade() {
    std::vector<MdPosition> grades;
    for (MdPosition s = md_first_supplier(md_position(MD_LOCAL)); s.valid; s = md_next_supplier(s))
        for (MdPosition g = md_first_grade(s); g.valid && grades.size() < kMaxGrades;
             g = md_next_grade(g))
            grades.push_back(g);
    for (const MdPosition& at : grades) {
        std::unique_ptr<MdGrade> grade = md_read_grade(at);
        if (grade) md_write_grade(MD_LOCAL, grade.get());
    }
}

// The whole-database readers: a snapshot compared with itself, the grade
// list and the text of every grade.
void ReadWhole() {
    const tarnvel::matdb::MdSnapshot snapshot = tarnvel::matdb::md_read_snapshot(MD_LOCAL, false);
    if (!tarnvel::matdb::md_diff(snapshot, snapshot).empty()) std::abort();
    md_grade_list(MD_LOCAL);
    std::string text;
    std::vector<tarnvel::matdb::MdAsciiLoss> losses;
    for (const MdGrade& grade : snapshot.grades)
        tarnvel::matdb::md_ascii_grade_text(grade, false, text, losses);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarnvel::fuzzing::EnterRaxFolder("matdb-fuzz");
    vtOutSetMode(kVtPassLines);
    vtOutSetSink(vtOutDiscard);
    if (size < kLengthBytes) return 0;
    const std::size_t supplier_size = Length(data);
    const std::size_t grade_size = Length(data + 2);
    if (kLengthBytes + supplier_size + grade_size > size) return 0;
    const std::uint8_t* supplier = data + kLengthBytes;
    const std::uint8_t* grade = supplier + supplier_size;
    const std::uint8_t* rest = grade + grade_size;
    WriteFile(tarnvel::fuzzing::kRaxFiles[0], supplier, supplier_size);
    WriteFile(tarnvel::fuzzing::kRaxFiles[1], grade, grade_size);
    WriteFile(tarnvel::fuzzing::kRaxFiles[2], rest, static_cast<std::size_t>(data + size - rest));
    if (md_open(MD_LOCAL, MD_READ) != MD_OPEN_FAILED) ReadWhole();
    md_close_all();
    if (md_open(MD_LOCAL, MD_WRITE) != MD_OPEN_FAILED) RewriteEveryGrade();
    md_close_all();
    return 0;
}
