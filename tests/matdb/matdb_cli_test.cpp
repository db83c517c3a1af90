// The matdb inspector as a process, over databases the tests build through
// the access layer (and then swap or damage byte by byte).
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "matdb/matdb.h"
#include "matdb/md_catalogue.h"
#include "services/vtout.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using tarnvel::matdb::kMdGenericLink;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

constexpr int kSupplierRecord = 42;
constexpr int kGradeRecord = 108;
constexpr int kDataRecord = 96;
constexpr std::int32_t kStandardMagic = 27856;
constexpr int kShrinkagePredictiveError = 65;

MdProperty Single(int property, float value) {
    MdProperty item;
    item.property = property;
    item.format = MD_SINGLE_POINT;
    item.values = {MdWord::Real(value)};
    return item;
}

MdProperty Text(int property, const std::string& text) {
    MdProperty item;
    item.property = property;
    item.format = MD_TEXT;
    item.text = text;
    return item;
}

MdProperty PvtTable() {
    MdProperty item;
    item.property = 12;
    item.format = MD_STANDARD_POINTS;
    item.variables = {1, 4};
    for (float v : {200.0f, 0.0f, 0.001f, 200.0f, 5e7f, 0.00095f, 250.0f, 0.0f, 0.00105f})
        item.values.push_back(MdWord::Real(v));
    return item;
}

MdGrade Grade(const std::string& supplier, const std::string& code, const std::string& text,
              std::vector<MdProperty> items) {
    MdGrade grade;
    grade.supplier = supplier;
    grade.code = code;
    grade.description = text;
    grade.items = std::move(items);
    return grade;
}

std::vector<char> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const fs::path& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
}

void PutWord(std::vector<char>& bytes, std::size_t offset, std::int32_t value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

void SwapWord(std::vector<char>& bytes, std::size_t offset) {
    std::swap(bytes[offset], bytes[offset + 3]);
    std::swap(bytes[offset + 1], bytes[offset + 2]);
}

// Reverses every word of one file: the header's seven words and, in each
// record, the words at the given offsets; text fields stay as they are.
void SwapFile(const fs::path& path, std::size_t record, const std::vector<std::size_t>& words) {
    std::vector<char> bytes = ReadBytes(path);
    for (std::size_t offset = 0; offset < 28; offset += 4) SwapWord(bytes, offset);
    for (std::size_t start = record; start + record <= bytes.size(); start += record)
        for (std::size_t offset : words) SwapWord(bytes, start + offset);
    WriteBytes(path, bytes);
}

class MatdbCli : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/matdb-cli-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root_ = name;
        vtOutSetMode(kVtPassLines);
        vtOutSetSink(vtOutDiscard);
    }
    void TearDown() override {
        md_close_all();
        fs::remove_all(root_);
    }

    // Creates a personal database in root/name holding the grades.
    fs::path Build(const std::string& name, const std::vector<MdGrade>& grades) {
        const fs::path folder = root_ / name;
        fs::create_directory(folder);
        const fs::path previous = fs::current_path();
        fs::current_path(folder);
        EXPECT_EQ(md_open(MD_LOCAL, MD_CREATE), MD_CREATED);
        for (const MdGrade& grade : grades) md_write_grade(MD_LOCAL, &grade);
        md_close_all();
        fs::current_path(previous);
        return folder;
    }

    // A personal database turned into a Standard one: the files renamed and
    // the Standard magic word in each header.
    fs::path BuildStandard(const std::string& name, const std::vector<MdGrade>& grades) {
        const fs::path folder = Build(name, grades);
        for (const char* letter : {"f", "g", "d"}) {
            const fs::path personal = folder / (std::string("mt") + letter + "p.rax");
            const fs::path standard = folder / (std::string("mt") + letter + "s.rax");
            std::vector<char> bytes = ReadBytes(personal);
            PutWord(bytes, 20, kStandardMagic);
            WriteBytes(standard, bytes);
            fs::remove(personal);
        }
        return folder;
    }

    // A copy of a database with every word in the other byte order.
    fs::path Swapped(const fs::path& source, const std::string& name) {
        const fs::path folder = root_ / name;
        fs::copy(source, folder);
        SwapFile(folder / "mtfp.rax", kSupplierRecord, {10, 14, 18, 22, 26});
        SwapFile(folder / "mtgp.rax", kGradeRecord, {80, 84, 88, 92, 96, 100, 104});
        std::vector<std::size_t> data_words;
        for (std::size_t offset = 0; offset < kDataRecord; offset += 4)
            data_words.push_back(offset);
        SwapFile(folder / "mtdp.rax", kDataRecord, data_words);
        return folder;
    }

    ProcessResult Run(const std::vector<std::string>& args) {
        return RunProcess(BuiltProgram("matdb"), args, "", {{"VTPATH", ""}});
    }

    fs::path Sample() {
        return Build("local", {Grade("ACME", "PP100", "GENERAL PURPOSE",
                                     {Single(1, 0.25f), PvtTable(), Text(77, "POLYFINE 100")}),
                               Grade("ACME", "PP200", "HIGH FLOW", {Single(1, 0.21f)}),
                               Grade("BETA", "PA66", "NYLON",
                                     {Single(2, 1700.0f), Text(kMdGenericLink, "GSUP GEN1")})});
    }

    fs::path root_;
};

TEST_F(MatdbCli, ListsSuppliersAndGradesInWalkOrder) {
    const fs::path db = Sample();
    const ProcessResult text = Run({"list", db.string()});
    ASSERT_EQ(text.exit_code, 0) << text.err;
    EXPECT_EQ(text.out,
              "version: (none)\n"
              "ACME\n  PP100  GENERAL PURPOSE\n  PP200  HIGH FLOW\n"
              "BETA\n  PA66   NYLON\n");

    const ProcessResult out = Run({"list", "--json", db.string()});
    ASSERT_EQ(out.exit_code, 0) << out.err;
    const json expected = json::parse(R"({"version": null, "suppliers": [
        {"name": "ACME", "grades": [{"code": "PP100", "description": "GENERAL PURPOSE"},
                                    {"code": "PP200", "description": "HIGH FLOW"}]},
        {"name": "BETA", "grades": [{"code": "PA66", "description": "NYLON"}]}]})");
    EXPECT_EQ(json::parse(out.out), expected);
}

TEST_F(MatdbCli, ListGivesTheVersionSupplier) {
    const fs::path db = Build(
        "versioned", {Grade("$V2.0", "V", "", {}), Grade("ACME", "PP100", "GENERAL PURPOSE", {})});
    const ProcessResult out = Run({"list", "--json", db.string()});
    ASSERT_EQ(out.exit_code, 0) << out.err;
    const json doc = json::parse(out.out);
    ASSERT_TRUE(doc["version"].is_string());
    EXPECT_NE(doc["version"].get<std::string>().find("V2.0"), std::string::npos);
}

TEST_F(MatdbCli, ShowsEveryItemOfAGrade) {
    const fs::path db = Sample();
    const ProcessResult out = Run({"show", "--json", db.string(), "acme", "pp100"});
    ASSERT_EQ(out.exit_code, 0) << out.err;
    const json doc = json::parse(out.out);
    EXPECT_EQ(doc["supplier"], "ACME");
    EXPECT_EQ(doc["grade"], "PP100");
    EXPECT_EQ(doc["description"], "GENERAL PURPOSE");
    EXPECT_EQ(doc["database"], "Local");
    EXPECT_TRUE(doc["link"].is_null());
    std::map<int, json> items;
    for (const json& item : doc["items"]) items[item["property"].get<int>()] = item;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1]["name"], "Conductivity");
    EXPECT_EQ(items[1]["format"], 1);
    EXPECT_EQ(items[1]["values"], json::parse("[0.25]"));
    EXPECT_EQ(items[1]["inherited"], false);
    EXPECT_EQ(items[12]["format"], 2);
    EXPECT_EQ(items[12]["variables"], json::parse("[1, 4]"));
    EXPECT_EQ(items[12]["values"].size(), 9u);
    EXPECT_DOUBLE_EQ(items[12]["values"][4].get<double>(), 5e7);
    EXPECT_EQ(items[77]["text"], "POLYFINE 100");
    EXPECT_EQ(items[77]["values"], json::array());

    const ProcessResult text = Run({"show", db.string(), "ACME", "PP100"});
    ASSERT_EQ(text.exit_code, 0) << text.err;
    EXPECT_NE(text.out.find("ACME PP100 (Local database)\nGENERAL PURPOSE\n"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("  1 Conductivity"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("text \"POLYFINE 100\""), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("inherited"), std::string::npos) << text.out;
}

TEST_F(MatdbCli, GenericLinksResolveAgainstTheNamedStandardDatabase) {
    const fs::path db = Sample();
    const fs::path standard = BuildStandard(
        "std",
        {Grade("GSUP", "GEN1", "GENERIC",
               {Single(2, 1500.0f), Single(3, 900.0f), Single(kShrinkagePredictiveError, 0.1f)})});
    const ProcessResult out =
        Run({"show", "--json", "--standard", standard.string(), db.string(), "BETA", "PA66"});
    ASSERT_EQ(out.exit_code, 0) << out.err;
    const json doc = json::parse(out.out);
    EXPECT_EQ(doc["link"], "GSUP GEN1");
    std::map<int, json> items;
    for (const json& item : doc["items"]) items[item["property"].get<int>()] = item;
    // The grade's own Specific Heat wins; Melt Density comes through the
    // link; a linked Shrinkage Predictive Error is never inherited.
    EXPECT_EQ(items[2]["values"], json::parse("[1700.0]"));
    EXPECT_EQ(items[2]["inherited"], false);
    ASSERT_TRUE(items.count(3));
    EXPECT_EQ(items[3]["inherited"], true);
    EXPECT_FALSE(items.count(kShrinkagePredictiveError));

    const ProcessResult text =
        Run({"show", "--standard", standard.string(), db.string(), "BETA", "PA66"});
    EXPECT_NE(text.out.find("link: GSUP GEN1\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(" inherited\n"), std::string::npos) << text.out;

    // Without a Standard database the link stays unresolved.
    const json alone = json::parse(Run({"show", "--json", db.string(), "BETA", "PA66"}).out);
    EXPECT_EQ(alone["link"], "GSUP GEN1");
    for (const json& item : alone["items"]) EXPECT_EQ(item["inherited"], false);
}

TEST_F(MatdbCli, ReadsAStandardDatabaseDirectly) {
    const fs::path standard =
        BuildStandard("std", {Grade("GSUP", "GEN1", "GENERIC", {Single(3, 900.0f)})});
    const ProcessResult out = Run({"show", "--json", standard.string(), "GSUP", "GEN1"});
    ASSERT_EQ(out.exit_code, 0) << out.err;
    EXPECT_EQ(json::parse(out.out)["database"], "Standard");
    // --standard belongs to a personal database.
    EXPECT_EQ(Run({"list", standard.string(), "--standard", standard.string()}).exit_code, 2);
}

TEST_F(MatdbCli, ASwappedDatabaseReadsIdentically) {
    const fs::path plain =
        Build("plain", {Grade("ACME", "PP100", "GENERAL PURPOSE", {Single(1, 0.25f), PvtTable()}),
                        Grade("LONGNAME10", "PA6", "NYLON 6", {Single(3, 1000.0f)})});
    const fs::path swapped = Swapped(plain, "swapped");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", "--json"},
          std::vector<std::string>{"show", "--json", "", "ACME", "PP100"},
          std::vector<std::string>{"show", "", "LONGNAME10", "PA6"}}) {
        std::vector<std::string> a = args, b = args;
        const auto place = [](std::vector<std::string>& v, const fs::path& db) {
            if (v.size() == 2)
                v.push_back(db.string());
            else
                for (std::string& word : v)
                    if (word.empty()) word = db.string();
        };
        place(a, plain);
        place(b, swapped);
        const ProcessResult first = Run(a);
        const ProcessResult second = Run(b);
        ASSERT_EQ(first.exit_code, 0) << first.err;
        EXPECT_EQ(second.exit_code, 0) << second.err;
        EXPECT_EQ(second.out, first.out);
    }
}

TEST_F(MatdbCli, ADamagedDatabaseFailsWithItsFolderNamed) {
    const fs::path db = Sample();
    const fs::path bad_magic = root_ / "magic";
    fs::copy(db, bad_magic);
    std::vector<char> data = ReadBytes(bad_magic / "mtdp.rax");
    PutWord(data, 20, 4242);
    WriteBytes(bad_magic / "mtdp.rax", data);
    const ProcessResult magic = Run({"list", bad_magic.string()});
    EXPECT_EQ(magic.exit_code, 1);
    EXPECT_NE(magic.err.find(bad_magic.string()), std::string::npos) << magic.err;

    // Data chains that loop or lead past the end of the file.
    for (const std::int32_t link : {2, 100000}) {
        const fs::path broken = root_ / ("link" + std::to_string(link));
        fs::copy(db, broken);
        std::vector<char> bytes = ReadBytes(broken / "mtdp.rax");
        PutWord(bytes, kDataRecord + 92, link);  // link word of record 2
        WriteBytes(broken / "mtdp.rax", bytes);
        const ProcessResult show = Run({"show", broken.string(), "ACME", "PP100"});
        EXPECT_EQ(show.exit_code, 1) << link;
        EXPECT_NE(show.err.find(broken.string()), std::string::npos) << show.err;
    }

    // A grade file cut inside its second record.
    const fs::path cut = root_ / "cut";
    fs::copy(db, cut);
    fs::resize_file(cut / "mtgp.rax", kGradeRecord + 50);
    const ProcessResult list = Run({"list", cut.string()});
    EXPECT_NE(list.exit_code, 0);
    EXPECT_NE(list.exit_code, -1);  // exited, did not crash
}

TEST_F(MatdbCli, UsageAndLookupFailures) {
    const fs::path db = Sample();
    const ProcessResult help = Run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind("Usage: matdb list DIR", 0), 0u) << help.out;
    EXPECT_EQ(Run({}).exit_code, 2);
    EXPECT_EQ(Run({"drop", db.string()}).exit_code, 2);
    EXPECT_EQ(Run({"show", db.string(), "ACME"}).exit_code, 2);
    EXPECT_EQ(Run({"list", db.string(), "--colour"}).exit_code, 2);
    EXPECT_EQ(Run({"list", db.string(), "--standard"}).exit_code, 2);

    const ProcessResult missing = Run({"list", (root_ / "nowhere").string()});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_NE(missing.err.find("nowhere"), std::string::npos);
    const ProcessResult absent = Run({"show", db.string(), "ACME", "XX1"});
    EXPECT_EQ(absent.exit_code, 1);
    EXPECT_NE(absent.err.find("ACME XX1 not found"), std::string::npos) << absent.err;
}

// GNU conventions: one-line usage errors, -h, --opt=value, "--", "-" for the
// standard input, the system's reason for a failed open, and a failed write
// to the standard output.
TEST_F(MatdbCli, FollowsTheConventionsOfACommandLineTool) {
    const fs::path db = Sample();
    const ProcessResult unknown = Run({"list", db.string(), "--colour"});
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_EQ(unknown.err,
              "matdb: unrecognized option '--colour'\nTry 'matdb --help' for more information.\n");
    EXPECT_EQ(Run({"-h"}).out.rfind("Usage: matdb", 0), 0u);
    EXPECT_EQ(Run({"--version"}).out.rfind("matdb ", 0), 0u);

    const fs::path standard = BuildStandard("std", {Grade("GSUP", "GEN1", "GENERIC", {})});
    const ProcessResult separate =
        Run({"show", db.string(), "BETA", "PA66", "--standard", standard.string()});
    const ProcessResult joined =
        Run({"show", "--standard=" + standard.string(), db.string(), "BETA", "PA66"});
    EXPECT_EQ(joined.exit_code, 0) << joined.err;
    EXPECT_EQ(joined.out, separate.out);
    EXPECT_EQ(Run({"list", "--", db.string()}).exit_code, 0);

    const fs::path ascii = root_ / "one.asc";
    std::ofstream(ascii) << "Supplier GAMMA\nGrade G1\nHeader One grade\nConductivity 0.2\n";
    const fs::path piped = root_ / "piped";
    const std::string sh = "/bin/sh";
    const ProcessResult from_stdin = RunProcess(
        sh, {"-c", BuiltProgram("matdb") + " import - " + piped.string() + " < " + ascii.string()});
    EXPECT_EQ(from_stdin.exit_code, 0) << from_stdin.err;
    EXPECT_NE(Run({"list", piped.string()}).out.find("G1"), std::string::npos);

    const ProcessResult missing = Run({"import", (root_ / "none.asc").string(), piped.string()});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_EQ(missing.err, "matdb: cannot open '" + (root_ / "none.asc").string() +
                               "': No such file or directory\n");
    const ProcessResult full =
        RunProcess(sh, {"-c", BuiltProgram("matdb") + " list " + db.string() + " > /dev/full"});
    EXPECT_EQ(full.exit_code, 1);
    EXPECT_NE(full.err.find("matdb: cannot write to the standard output"), std::string::npos);
}

}  // namespace
