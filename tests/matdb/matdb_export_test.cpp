// matdb export: the written file imports back into the same grades, read
// through the access layer and compared item by item with bit-equal values;
// one value edited in the text imports as that change alone; numbers read
// back bit-equal; what the file cannot carry is named.
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "matdb/matdb.h"
#include "matdb/md_ascii_writer.h"
#include "matdb/md_catalogue.h"
#include "services/syppaths.h"
#include "services/vttoken.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
namespace md = tarnvel::matdb;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

const std::string kStandard = std::string(TARNVEL_BIN_DIR) + "/../share/tarnvel/data/dat";
const std::string kExample = std::string(TARNVEL_SOURCE_DIR) + "/examples/moulding_grades.asc";

using Key = std::pair<std::string, std::string>;
using Grades = std::map<Key, MdGrade>;

ProcessResult Matdb(const std::vector<std::string>& args) {
    return RunProcess(BuiltProgram("matdb"), args, "", {{"VTPATH", ""}});
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every grade of the database in folder with its own items only, read in
// process through the access layer.
Grades ReadAll(const std::string& folder) {
    const bool standard = fs::exists(folder + "/mtds.rax");
    const fs::path was = fs::current_path();
    int slot = MD_LOCAL;
    if (standard) {
        setenv("VTPATH", fs::absolute(folder).c_str(), 1);
        slot = MD_STANDARD;
    } else {
        EXPECT_EQ(sypChangeDirectory(folder.c_str()), 0);
    }
    Grades grades;
    EXPECT_NE(md_open(slot, MD_READ), MD_OPEN_FAILED) << folder;
    for (MdPosition supplier = md_first_supplier(md_position(slot)); supplier.valid;
         supplier = md_next_supplier(supplier)) {
        for (MdPosition at = md_first_grade(supplier); at.valid && at.supplier == supplier.supplier;
             at = md_next_grade(at)) {
            std::unique_ptr<MdGrade> grade = md_read_grade(at);
            if (!grade) {
                ADD_FAILURE() << "unreadable grade in " << folder;
                continue;
            }
            std::erase_if(grade->items, [](const MdProperty& item) { return item.inherited; });
            grades[{grade->supplier, grade->code}] = std::move(*grade);
        }
    }
    md_close_all();
    sypChangeDirectory(was.c_str());
    return grades;
}

// The differences of two items as text, empty when equal in everything
// the file carries.
std::string ItemDifference(const MdProperty& a, const MdProperty& b) {
    if (a.property != b.property || a.format != b.format || a.model != b.model ||
        a.variables != b.variables || a.text != b.text || a.values.size() != b.values.size())
        return "property " + std::to_string(a.property) + " form";
    for (std::size_t k = 0; k < a.values.size(); ++k)
        if (a.values[k].bits != b.values[k].bits)
            return "property " + std::to_string(a.property) + " value " + std::to_string(k);
    return {};
}

// Every difference of two databases, one line each.
std::vector<std::string> Differences(const Grades& before, const Grades& after) {
    std::vector<std::string> lines;
    for (const auto& [key, grade] : before) {
        const std::string name = key.first + " " + key.second + ": ";
        const auto other = after.find(key);
        if (other == after.end()) {
            lines.push_back(name + "missing");
            continue;
        }
        if (grade.description != other->second.description) lines.push_back(name + "description");
        if (grade.items.size() != other->second.items.size()) {
            lines.push_back(name + "item count");
            continue;
        }
        for (std::size_t i = 0; i < grade.items.size(); ++i)
            if (auto text = ItemDifference(grade.items[i], other->second.items[i]); !text.empty())
                lines.push_back(name + text);
    }
    for (const auto& [key, grade] : after)
        if (!before.contains(key)) lines.push_back(key.first + " " + key.second + ": added");
    return lines;
}

class MatdbExport : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "matdb-export-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // Exports folder to NAME.asc, imports it into NAME (a Standard database
    // when the source is one) and checks that both hold the same grades.
    Grades RoundTrip(const std::string& folder, const std::string& name) {
        const ProcessResult exported = Matdb({"export", folder, "-o", Path(name + ".asc")});
        EXPECT_EQ(exported.exit_code, 0) << exported.err;
        std::vector<std::string> import = {"import", Path(name + ".asc"), Path(name)};
        if (fs::exists(folder + "/mtds.rax")) import.insert(import.begin() + 1, "--standard");
        const ProcessResult imported = Matdb(import);
        EXPECT_EQ(imported.exit_code, 0) << imported.out << imported.err;
        const Grades before = ReadAll(folder);
        const Grades after = ReadAll(Path(name));
        EXPECT_FALSE(before.empty());
        EXPECT_EQ(Differences(before, after), std::vector<std::string>{});
        const ProcessResult diff = Matdb({"diff", folder, Path(name)});
        EXPECT_EQ(diff.exit_code, 0) << diff.out << diff.err;
        return before;
    }

    fs::path dir_;
};

TEST_F(MatdbExport, StandardDatabaseReadsBackTheSame) {
    const Grades grades = RoundTrip(kStandard, "standard");
    int numbers = 0;
    for (const auto& [key, grade] : grades)
        for (const MdProperty& item : grade.items) numbers += static_cast<int>(item.values.size());
    EXPECT_GT(numbers, 100);
}

// The grade-list builder of tarnvel -asc takes the exported file as it takes
// the file the database was made from: every grade is converted.
TEST_F(MatdbExport, TarnvelConvertsEveryExportedGrade) {
    ASSERT_EQ(Matdb({"export", kStandard, "-o", Path("standard.asc")}).exit_code, 0);
    const auto converted = [&](const std::string& file) {
        const ProcessResult run = RunProcess(
            BuiltProgram("tarnvel"), {"-asc", file, "-udb", Path("out.udb")}, dir_.string());
        EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
        std::size_t lines = 0;
        for (std::size_t at = run.out.find(" of "); at != std::string::npos;
             at = run.out.find(" of ", at + 1))
            ++lines;
        return lines;
    };
    const std::size_t grades = ReadAll(kStandard).size();
    EXPECT_EQ(converted(Path("standard.asc")), grades);
    EXPECT_EQ(converted(std::string(TARNVEL_SOURCE_DIR) + "/product/data/dat/standard.asc"),
              grades);
}

TEST_F(MatdbExport, ImportedExampleReadsBackAndOneEditIsTheOnlyChange) {
    ASSERT_EQ(Matdb({"import", kExample, Path("mine")}).exit_code, 0);
    const Grades before = RoundTrip(Path("mine"), "copy");

    // One value of the exported text changed, the rest as written.
    std::string text = Slurp(Path("copy.asc"));
    const std::size_t at = text.find("\nConductivity ");
    ASSERT_NE(at, std::string::npos) << text;
    const std::size_t value = at + std::strlen("\nConductivity ");
    text.replace(value, text.find_first_of(" \n", value) - value, "0.321");
    std::ofstream(Path("edited.asc"), std::ios::binary) << text;
    ASSERT_EQ(Matdb({"import", Path("edited.asc"), Path("edited")}).exit_code, 0);
    const std::vector<std::string> changes = Differences(before, ReadAll(Path("edited")));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_NE(changes[0].find("property 1 value 0"), std::string::npos) << changes[0];
    // matdb diff names the same one change.
    const ProcessResult diff = Matdb({"diff", Path("mine"), Path("edited")});
    EXPECT_EQ(diff.exit_code, 1);
    EXPECT_EQ(std::count(diff.out.begin(), diff.out.end(), '\n'), 1) << diff.out;
    EXPECT_NE(diff.out.find("property 1 Conductivity [0]:"), std::string::npos) << diff.out;
    const Grades edited = ReadAll(Path("edited"));
    bool found = false;
    for (const auto& [key, grade] : edited)
        for (const MdProperty& item : grade.items)
            found = found || (item.property == 1 && item.format == MD_SINGLE_POINT &&
                              item.values[0].real() == 0.321f);
    EXPECT_TRUE(found);
}

// A grade with every form the reader takes, the longest names, an empty
// description, unset values, odd bytes in a text and extreme floats.
TEST_F(MatdbExport, EveryFormAndEdgeReadsBack) {
    MdGrade grade;
    grade.supplier = "ABCDEFGH";
    grade.code = "XYZ123";
    auto item = [&](int property, int format, std::vector<float> values) -> MdProperty& {
        MdProperty& added = grade.items.emplace_back();
        added.property = property;
        added.format = format;
        for (float v : values) added.values.push_back(MdWord::Real(v));
        return added;
    };
    item(1, MD_SINGLE_POINT, {0.17f});
    item(2, MD_SINGLE_POINT, {-16384.0f});
    item(6, MD_COEFFICIENTS, {5.20453e+12f, 263.15f, 0.0f, 1e-38f, 1.5e38f}).model = 2;
    item(6, MD_STANDARD_POINTS, {200, 100, 366.491f, 230, 1000, 1.401298e-45f}).variables = {1, 2};
    MdProperty& shrink = item(59, MD_COEFFICIENTS, {});
    shrink.values = {MdWord::Integer(3), MdWord::Integer(-7), MdWord::Real(0.0123f)};
    item(58, MD_TEXT, {}).text = "Caf\xc3\xa9 - grade, with: separators";
    item(75, MD_TEXT, {}).text = "";
    item(md::kMdGenericLink, MD_TEXT, {}).text = "GENERIC PP";
    // The same grade with the longest description, and with one that
    // begins with its code and a separator.
    MdGrade longest = grade, coded = grade;
    longest.code = "L";
    longest.description = std::string(72, 'D') + "\xc3";  // the 73 the database keeps
    coded.code = "C";
    coded.description = "C :, COLON";
    std::string text;
    std::vector<md::MdAsciiLoss> losses;
    for (const MdGrade* each : {&grade, &longest, &coded})
        md::md_ascii_grade_text(*each, false, text, losses);
    EXPECT_TRUE(losses.empty()) << losses.front().what;
    std::ofstream(Path("forms.asc"), std::ios::binary) << text;
    ASSERT_EQ(Matdb({"import", Path("forms.asc"), Path("forms")}).exit_code, 0) << text;
    const Grades read = ReadAll(Path("forms"));
    ASSERT_EQ(read.size(), 3u);
    for (const MdGrade* want : {&grade, &longest, &coded}) {
        const MdGrade& back = read.at({want->supplier, want->code});
        EXPECT_EQ(back.description, want->description);
        ASSERT_EQ(back.items.size(), want->items.size()) << text;
        for (const MdProperty& item : want->items) {
            bool same = false;
            for (const MdProperty& got : back.items)
                same = same || ItemDifference(item, got).empty();
            EXPECT_TRUE(same) << "property " << item.property << " in\n" << text;
        }
    }
}

float Next(float value) {
    return std::nextafter(value, value < 0 ? -HUGE_VALF : HUGE_VALF);
}

// Any bit pattern: NaN and the infinities have no text, nearly every value
// reads back bit-equal, and the rest one unit in the last place away.
TEST(MdAsciiNumber, ReadsBackBitEqualOrNearest) {
    std::mt19937 random(22);
    int inexact = 0, finite = 0;
    for (int n = 0; n < 100000; ++n) {
        const std::uint32_t bits = random();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        const auto number = md::md_ascii_number(value);
        if (value != value || value - value != 0) {
            EXPECT_FALSE(number);
            continue;
        }
        ++finite;
        ASSERT_TRUE(number);
        const float read = tokNumberValue(number->text);
        ASSERT_EQ(number->exact, std::memcmp(&read, &value, sizeof value) == 0) << number->text;
        if (number->exact) continue;
        ++inexact;
        EXPECT_TRUE(read == Next(value) || Next(read) == value) << number->text;
    }
    EXPECT_LT(inexact, finite / 20);
}

// Values read from decimals of up to seven significant digits, as measured
// data is written, always write back exactly.
TEST(MdAsciiNumber, ValuesOfSevenDigitsWriteBackExactly) {
    std::mt19937 random(7);
    for (int n = 0; n < 100000; ++n) {
        const std::string written = std::to_string(random() % 10000000) + "e" +
                                    std::to_string(static_cast<int>(random() % 70) - 40);
        const float value = tokNumberValue(written);
        const auto number = md::md_ascii_number(value);
        ASSERT_TRUE(number && number->exact) << written;
        const float read = tokNumberValue(number->text);
        ASSERT_EQ(std::memcmp(&read, &value, sizeof value), 0) << written << " " << number->text;
    }
}

TEST(MdAsciiGradeText, NamesWhatTheFileCannotCarry) {
    MdGrade grade;
    grade.supplier = "SUPPLIERX";  // nine characters: the reader keeps eight
    grade.code = "G1";
    grade.description = "lower case";
    MdProperty text;
    text.property = 1;  // not a text property
    text.format = MD_TEXT;
    text.text = "x";
    MdProperty lonely;
    lonely.property = 2;
    lonely.format = MD_COEFFICIENTS;
    lonely.values = {MdWord::Real(1)};
    MdProperty inherited = lonely;
    inherited.inherited = 1;
    MdProperty huge = lonely;
    huge.property = 3;
    huge.values = {MdWord::Real(1), MdWord::Real(3.4028235e38f)};  // no decimal reaches it
    grade.items = {text, lonely, inherited, huge};
    std::string written;
    std::vector<md::MdAsciiLoss> losses;
    md::md_ascii_grade_text(grade, false, written, losses);
    std::vector<int> properties;
    for (const md::MdAsciiLoss& loss : losses) {
        EXPECT_EQ(loss.supplier, "SUPPLIERX");
        properties.push_back(loss.property);
    }
    EXPECT_EQ(properties, (std::vector<int>{0, 0, 1, 2, 3}));
    EXPECT_NE(losses.back().what.find("3.4028235e+38 reads back as 3.4028233e+38"),
              std::string::npos)
        << losses.back().what;
    losses.clear();
    md::md_ascii_grade_text(grade, true, written, losses);
    EXPECT_EQ(losses.size(), 6u);  // the inherited list is written too
}

// A grade stored in a database that the file cannot carry exactly is still
// written, named on the error stream, and the export exits 1.
TEST_F(MatdbExport, AValueTheFileCannotCarryIsNamed) {
    const fs::path was = fs::current_path();
    fs::create_directory(Path("odd"));
    ASSERT_EQ(sypChangeDirectory(Path("odd").c_str()), 0);
    ASSERT_EQ(md_open(MD_LOCAL, MD_CREATE), MD_CREATED);
    MdGrade grade;
    grade.supplier = "ODD";
    grade.code = "G1";
    grade.description = "ONE HUGE VALUE";
    MdProperty& item = grade.items.emplace_back();
    item.property = 9;  // Poisson Ratio: no unit to write it in
    item.format = MD_SINGLE_POINT;
    item.values = {MdWord::Real(3.4028235e38f)};
    EXPECT_EQ(md_store_grade(MD_LOCAL, &grade), 1);
    md_close_all();
    sypChangeDirectory(was.c_str());
    const ProcessResult exported = Matdb({"export", Path("odd"), "-o", Path("odd.asc")});
    EXPECT_EQ(exported.exit_code, 1);
    EXPECT_NE(exported.err.find("grade ODD G1, property 9 (Poisson Ratio): not carried exactly"),
              std::string::npos)
        << exported.err;
    EXPECT_NE(Slurp(Path("odd.asc")).find("Header ONE HUGE VALUE\nPoisson_Ratio "),
              std::string::npos);
}

TEST_F(MatdbExport, OneGradeToTheStandardOutputAndUsageErrors) {
    ASSERT_EQ(Matdb({"import", kExample, Path("mine")}).exit_code, 0);
    const ProcessResult one = Matdb({"export", Path("mine"), "merridew", "ml210", "-o", "-"});
    EXPECT_EQ(one.exit_code, 0) << one.err;
    EXPECT_EQ(one.out.rfind("Supplier MERRIDEW\nGrade ML210\nHeader ", 0), 0u) << one.out;
    EXPECT_EQ(one.out.find("Grade ", 20), std::string::npos);
    // Resolved against the Standard database the grade also carries what its
    // generic grade gives it, as its own items.
    const ProcessResult resolved = Matdb({"export", Path("mine"), "MERRIDEW", "ML210", "-o", "-",
                                          "--standard", kStandard, "--resolved"});
    EXPECT_EQ(resolved.exit_code, 0) << resolved.err;
    EXPECT_EQ(resolved.out.rfind("Supplier MERRIDEW\nGrade ML210\nHeader ", 0), 0u);
    EXPECT_GT(std::count(resolved.out.begin(), resolved.out.end(), '\n'),
              std::count(one.out.begin(), one.out.end(), '\n'));
    EXPECT_EQ(Matdb({"export", Path("mine"), "MERRIDEW", "NONE", "-o", "-"}).exit_code, 1);
    EXPECT_EQ(Matdb({"export", Path("mine")}).exit_code, 2);
    EXPECT_EQ(Matdb({"list", Path("mine"), "-o", "x"}).exit_code, 2);
}

}  // namespace
