// The test material database of the pipeline tests: its export writes the
// keyword files of known grades, and the output of a run is read back.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "driver/rax_pipeline.h"
#include "services/syppaths.h"
#include "udm/udm.h"

namespace tarnvel::driver::pipeline_testing {

namespace fs = std::filesystem;

// A private folder per test with "tmp" (the temporary directory the
// pipelines use, so a file left behind shows) and "run" (the working
// directory); VTPATH is unset for the test and the start state restored.
class PipelineFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pipeline_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "tmp");
        fs::create_directories(root_ / "db");
        fs::create_directories(root_ / "run");
        start_directory_ = fs::current_path();
        fs::current_path(root_ / "run");
        setenv("tmp", (root_ / "tmp").c_str(), 1);
        services::ResetTempDirectoryForTesting();
        if (const char* value = std::getenv(kVtPathVariable)) saved_vtpath_ = value;
        unsetenv(kVtPathVariable);
    }
    void TearDown() override {
        fs::current_path(start_directory_);
        unsetenv("tmp");
        services::ResetTempDirectoryForTesting();
        if (saved_vtpath_) setenv(kVtPathVariable, saved_vtpath_->c_str(), 1);
        fs::remove_all(root_);
    }

    fs::path Out() const { return root_ / "run" / "out.udb"; }
    bool TempDirectoryEmpty() const { return fs::is_empty(root_ / "tmp"); }

    fs::path root_;
    fs::path start_directory_;
    std::optional<std::string> saved_vtpath_;
};

inline std::string Header() {
    std::string text;
    for (int i = 1; i <= kGradeListHeaderLines; ++i) text += "header " + std::to_string(i) + "\n";
    return text;
}

inline std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string KeywordFile(const std::string& supplier, const std::string& grade) {
    return "MATERIAL_DESCRIPTION: \\\n" + grade + "  test grade\nMATERIAL_GRADE: " + grade +
           "\nMATERIAL_SUPPLIER: " + supplier +
           "\nMATERIAL_THERMAL_DENSITY_SINGLE: 0.950000E+03\n"
           "MATERIAL_TRADE_NAME: \\\nTrade " +
           grade + "\nMATERIAL_UNKNOWN_KEYWORD: 1\n";
}

// One export call as the test database saw it.
struct ExportCall {
    std::vector<std::string> arguments;
    std::string directory;
    std::optional<std::string> vtpath;
};

// A database whose export writes the keyword file of a known grade (and
// finds no other), and whose Local database may carry a version. The
// export of a known grade listed in `failing` fails without writing.
struct TestDatabase {
    std::map<std::string, std::string> grades;
    std::set<std::string> failing;
    std::optional<std::string> local_version;
    std::vector<ExportCall> calls;

    MaterialDatabase Access() {
        MaterialDatabase access;
        access.export_grade = [this](int argc, char** argv) { return Export(argc, argv); };
        access.slot_version = [this](int slot) {
            return slot == kLocalSlot ? local_version : std::nullopt;
        };
        return access;
    }

    int Export(int argc, char** argv) {
        ExportCall call;
        for (int i = 1; i < argc; ++i) call.arguments.emplace_back(argv[i]);
        call.directory = fs::current_path().string();
        if (const char* value = std::getenv(kVtPathVariable)) call.vtpath = value;
        calls.push_back(call);
        EXPECT_EQ(argc, 7);
        EXPECT_EQ(argv[0], nullptr);
        const auto found = grades.find(call.arguments[1] + " " + call.arguments[3]);
        if (found == grades.end()) return kExportNotFound;
        if (failing.contains(found->first)) return 1;
        WriteText(call.arguments[5], found->second);
        return 0;
    }

    void Add(const std::string& supplier, const std::string& grade) {
        grades[supplier + " " + grade] = KeywordFile(supplier, grade);
    }
};

// One converted set of the output: its label and the grade and supplier
// codes.
struct OutputSet {
    int label;
    std::string grade;
    std::string supplier;
    std::string viscosity_index;
};

inline std::string CodeText(UdmTset* tset, int code) {
    const UdmTcod* tcod = udm_tset_code(tset, code, 0);
    return tcod == nullptr || udm_tcod_text(tcod) == nullptr ? "" : udm_tcod_text(tcod);
}

// The property sets of a packed output and its UDMW TYPE global.
struct Output {
    bool read = false;
    std::string type;
    std::vector<OutputSet> sets;
};

inline Output ReadOutput(const fs::path& path) {
    Output output;
    UdmModel* previous = udm_model_current();
    UdmModel* model = nullptr;
    if (udm_model_open(path.c_str(), 1, &model) != UDM_OK) return output;
    output.read = true;
    const char* type = nullptr;
    if (udm_global_get("UDMW", "TYPE", &type) == UDM_OK && type != nullptr) output.type = type;
    for (void* entity = udm_entity_first(UDM_CLASS_TSET, 21000); entity != nullptr;
         entity = udm_entity_next(UDM_CLASS_TSET, 21000, udm_entity_label(entity))) {
        auto* tset = static_cast<UdmTset*>(entity);
        output.sets.push_back({udm_entity_label(entity), CodeText(tset, 1993), CodeText(tset, 1994),
                               CodeText(tset, 1328)});
    }
    udm_model_destroy(&model);
    udm_model_select(previous);
    return output;
}

}  // namespace tarnvel::driver::pipeline_testing
