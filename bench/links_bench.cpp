// Cost of the database walks as the database grows, and on link graphs and
// cross-linked records that made earlier versions quadratic or exponential.
//
// Runs the real programs (`matdb list`, `matdb show`, `tarnvel -rax`) as
// child processes over databases it generates in a forked child:
//
// - Local databases of 1,000, 10,000 and 50,000 grades under 100 suppliers
//   (a few single points, a PVT table, a text and a generic link to a plain
//   grade of the bench's own Standard database each), with a grade list of every
//   grade: `matdb list` and `tarnvel -rax` should cost the same per grade at
//   every size;
// - cross-linked: 2,000 supplier records that all point at one list of 2,000
//   grades (`matdb list`, and `tarnvel -rax` of one grade per supplier);
// - fan-out: ten Standard grades that each link to the nine others, and a
//   grade list of all ten plus a personal grade linking to one of them;
// - a grade whose primary chain starts at a record of a 2 GiB sparse data
//   file that links to itself (`matdb show`).
//
// Every run is killed after kLimitSeconds (and then not repeated). Each
// figure is the median wall time of its runs (three, one at 50,000 grades),
// with the CPU time (user + system, from wait4) beside it. With LINKS_BENCH_BASELINE naming a
// folder holding another build's tarnvel and matdb, the same runs are made with them in the same
// run.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_run.h"
#include "matdb/matdb.h"
#include "matdb_bench_grades.h"
#include "services/vtout.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSuppliers = 100;
constexpr int kSizes[] = {1000, 10000, 50000};
constexpr int kCrossLinked = 2000;
constexpr int kLimitSeconds = 120;

using tarnvel::bench::Single;
using tarnvel::bench::Text;

// The usual benchmark grade, linked to the generic grade GEN PLAIN.
MdGrade MakeGrade(const std::string& supplier, const std::string& code, int i) {
    MdGrade grade = tarnvel::bench::BenchmarkGrade(supplier, code, i);
    grade.items.push_back(Text(17, "GEN PLAIN"));
    return grade;
}

// The grade without its PVT table and its link.
void DropTableAndLink(MdGrade& grade) {
    std::erase_if(grade.items, [](const MdProperty& item) {
        return item.property == 12 || item.property == 17;
    });
}

std::string GradeList(const std::vector<std::string>& lines) {
    std::string text;
    for (int i = 0; i < 9; ++i) text += "header\n";
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// Writes grades into a new personal database in folder.
void WritePersonal(const fs::path& folder, int count, const std::vector<MdGrade>& extra) {
    fs::create_directories(folder);
    fs::current_path(folder);
    md_close_all();
    md_open(MD_LOCAL, MD_CREATE);
    for (int i = 0; i < count; ++i) {
        const MdGrade grade = MakeGrade(std::string("SUP").append(std::to_string(i % kSuppliers)),
                                        std::string("G").append(std::to_string(i / kSuppliers)), i);
        md_write_grade(MD_LOCAL, &grade);
    }
    for (const MdGrade& grade : extra) md_write_grade(MD_LOCAL, &grade);
    md_close_all();
}

// The personal database of folder under the Standard names and magic.
void MakeStandard(const fs::path& folder) {
    for (const char* letter : {"f", "g", "d"}) {
        const fs::path from = folder / (std::string("mt") + letter + "p.rax");
        std::ifstream in(from, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::int32_t magic = 27856;
        std::memcpy(bytes.data() + 20, &magic, 4);
        std::ofstream(folder / (std::string("mt") + letter + "s.rax"), std::ios::binary) << bytes;
        fs::remove(from);
    }
}

// Ten grades, each linking to the nine others, and the plain generic grade
// that the grades of the sized databases link to.
void WriteStandard(const fs::path& folder) {
    MdGrade plain = MakeGrade("GEN", "PLAIN", 0);
    DropTableAndLink(plain);
    std::vector<MdGrade> grades = {plain};
    for (int k = 0; k < 10; ++k) {
        MdGrade grade = MakeGrade("GEN", std::string("G").append(std::to_string(k)), k);
        DropTableAndLink(grade);
        grade.items.push_back(Single(5 + k, static_cast<float>(k)));
        for (int j = 0; j < 10; ++j)
            if (j != k) grade.items.push_back(Text(17, "GEN G" + std::to_string(j)));
        grades.push_back(grade);
    }
    WritePersonal(folder, 0, grades);
    MakeStandard(folder);
}

void Word(std::string& bytes, int length, int record, int offset, std::int32_t value) {
    const std::size_t at = static_cast<std::size_t>(record - 1) * length + offset;
    if (bytes.size() < at + 4) bytes.resize(static_cast<std::size_t>(record) * length, '\0');
    std::memcpy(bytes.data() + at, &value, 4);
}

// kCrossLinked supplier records that all point at one list of as many
// grades, written record by record.
void WriteCrossLinked(const fs::path& folder) {
    fs::create_directories(folder);
    const int count = kCrossLinked;
    std::string files[3];
    const int lengths[3] = {42, 108, 96};
    for (int f = 0; f < 3; ++f) {
        Word(files[f], lengths[f], 1, 0, f < 2 ? count + 2 : 2);
        Word(files[f], lengths[f], 1, 8, f < 2 ? count : 0);
        Word(files[f], lengths[f], 1, 16, 32700);
        Word(files[f], lengths[f], 1, 20, 133);
        Word(files[f], lengths[f], 1, 24, lengths[f]);
    }
    std::vector<std::string> lines;
    for (int n = 2; n < count + 2; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "S%04d", n);
        Word(files[0], 42, n, 10, n + 1 < count + 2 ? n + 1 : 0);
        Word(files[0], 42, n, 14, 2);
        Word(files[0], 42, n, 22, count);
        Word(files[0], 42, n, 26, count);
        std::memcpy(files[0].data() + (n - 1) * 42, (std::string(name) + "     ").data(), 10);
        char text[16];
        std::snprintf(text, sizeof text, "G%04d", n);
        Word(files[1], 108, n, 80, n + 1 < count + 2 ? n + 1 : 0);
        std::memset(files[1].data() + (n - 1) * 108, ' ', 80);
        std::memcpy(files[1].data() + (n - 1) * 108, text, 5);
        // The last grade of the shared list, once under every supplier.
        lines.push_back(std::string(name) + " G" + std::to_string(count + 1));
    }
    const char* names[3] = {"mtfp.rax", "mtgp.rax", "mtdp.rax"};
    for (int f = 0; f < 3; ++f) std::ofstream(folder / names[f], std::ios::binary) << files[f];
    std::ofstream(folder / "grades.lst") << GradeList(lines);
}

// One grade whose primary chain starts at record 20,000,000 of a 2 GiB
// sparse data file, a record that links to itself.
void WriteSparseLoop(const fs::path& folder) {
    WritePersonal(folder, 1, {});
    const std::int32_t record = 20000000;
    const int data = open((folder / "mtdp.rax").c_str(), O_WRONLY);
    const off_t at = static_cast<off_t>(record - 1) * 96;
    const std::int32_t one = 1;
    if (data < 0 || ftruncate(data, 2LL << 30) != 0 || pwrite(data, &one, 4, at) != 4 ||
        pwrite(data, &record, 4, at + 92) != 4)
        std::abort();
    close(data);
    const int grades = open((folder / "mtgp.rax").c_str(), O_WRONLY);
    if (grades < 0 || pwrite(grades, &record, 4, 108 + 84) != 4) std::abort();
    close(grades);
}

void MakeInputs(const fs::path& root) {
    vtOutSetSink(vtOutDiscard);
    WriteStandard(root / "std");
    for (const int count : kSizes) {
        const fs::path folder = root / std::to_string(count);
        WritePersonal(folder, count, {});
        std::vector<std::string> lines;
        for (int i = 0; i < count; ++i)
            lines.push_back(std::string("SUP").append(std::to_string(i % kSuppliers)) + " G" +
                            std::to_string(i / kSuppliers));
        std::ofstream(folder / "grades.lst") << GradeList(lines);
    }
    WriteCrossLinked(root / "cross");
    MdGrade mine = MakeGrade("ACME", "MINE", 0);
    WritePersonal(root / "fanout", 0, {mine});
    std::vector<std::string> lines = {"ACME MINE"};
    for (int k = 0; k < 10; ++k) lines.push_back("GEN G" + std::to_string(k));
    std::ofstream(root / "fanout" / "grades.lst") << GradeList(lines);
    WriteSparseLoop(root / "sparse");
}

// Runs the program in folder, its output to /dev/null, killed after the
// limit.
tarnvel::bench::ChildRun Run(const std::string& program, const std::vector<std::string>& args,
                             const fs::path& folder, const fs::path& temporary) {
    return tarnvel::bench::RunChild(program, args,
                                    {folder.string(), temporary.string(), kLimitSeconds});
}

struct Case {
    std::string name;
    // Grades the run covers, for the cost per grade (0: none given).
    int grades;
    std::string program;
    std::vector<std::string> args;
    fs::path folder;
};

// The cases of one build (bin: the folder of its tarnvel and matdb).
std::vector<Case> Cases(const fs::path& root, const std::string& bin) {
    const std::string tarnvel = bin + "/tarnvel";
    const std::string matdb = bin + "/matdb";
    const std::string standard = (root / "std").string();
    std::vector<Case> cases;
    for (const int count : kSizes) {
        const fs::path folder = root / std::to_string(count);
        cases.push_back({"matdb list", count, matdb, {"list", folder.string()}, root});
        cases.push_back({"tarnvel -rax",
                         count,
                         tarnvel,
                         {"-rax", "grades.lst", "-udb", "../out.udb", "-vtpath", standard},
                         folder});
    }
    const fs::path cross = root / "cross";
    cases.push_back(
        {"matdb list, cross-linked", kCrossLinked, matdb, {"list", cross.string()}, root});
    cases.push_back({"tarnvel -rax, cross-linked",
                     kCrossLinked,
                     tarnvel,
                     {"-rax", "grades.lst", "-udb", "../out.udb", "-vtpath", standard},
                     cross});
    cases.push_back({"tarnvel -rax, fan-out",
                     11,
                     tarnvel,
                     {"-rax", "grades.lst", "-udb", "../out.udb", "-vtpath", standard},
                     root / "fanout"});
    cases.push_back({"matdb show, 2 GiB sparse loop",
                     1,
                     matdb,
                     {"show", (root / "sparse").string(), "SUP0", "G0"},
                     root});
    return cases;
}

void Measure(const std::string& label, const std::vector<Case>& cases, const fs::path& root) {
    for (const Case& c : cases) {
        // Larger runs are repeated less: the machine has two shared cores.
        const int repeats = c.grades >= 50000 ? 1 : 3;
        std::vector<tarnvel::bench::ChildRun> runs;
        // A run killed at the limit is not repeated.
        for (int r = 0; r < repeats && (runs.empty() || runs.back().ended); ++r)
            runs.push_back(Run(c.program, c.args, c.folder, root));
        std::sort(runs.begin(), runs.end(),
                  [](const tarnvel::bench::ChildRun& a, const tarnvel::bench::ChildRun& b) {
                      return a.wall < b.wall;
                  });
        const tarnvel::bench::ChildRun& median = runs[runs.size() / 2];
        std::printf("%-9s %-32s %7d %10.3f %10.3f %12.2f  %s\n", label.c_str(), c.name.c_str(),
                    c.grades, median.wall, median.cpu, median.cpu / c.grades * 1e6,
                    median.ended ? ("exit " + std::to_string(median.status)).c_str()
                                 : "killed at the limit");
        std::fflush(stdout);
    }
}

}  // namespace

int main() {
    std::string pattern = (fs::temp_directory_path() / "linksbenchXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return 1;
    const fs::path root = pattern;
    // The inputs are made in a child, so that the bench's own state (open
    // databases, working directory) stays as it was.
    const pid_t child = fork();
    if (child == 0) {
        MakeInputs(root);
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return 1;
    std::printf("%-9s %-32s %7s %10s %10s %12s  %s\n", "build", "run", "grades", "wall s", "cpu s",
                "cpu us/grade", "result");
    Measure("this", Cases(root, TARNVEL_BENCH_BIN_DIR), root);
    if (const char* baseline = std::getenv("LINKS_BENCH_BASELINE"))
        Measure("baseline", Cases(root, baseline), root);
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
