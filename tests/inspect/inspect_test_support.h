// The files the inspection tests look at: UDB files that tarnvel writes
// from the shipped examples, small models written through the library, and
// udmconv run as a process.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "support/process.h"
#include "udm/udm.h"

namespace tarnvel::inspect::testing {

namespace fs = std::filesystem;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

inline const std::string kSource = TARNVEL_SOURCE_DIR;
using Environment = std::vector<std::pair<std::string, std::string>>;

// A private folder, with "tmp" as the temporary directory of tarnvel.
class Folder {
  public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "inspectXXXXXX").string();
        EXPECT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "tmp");
    }
    ~Folder() { fs::remove_all(root_); }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    std::string File(const std::string& name) const { return (root_ / name).string(); }
    const fs::path& root() const { return root_; }

  private:
    fs::path root_;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline ProcessResult Udmconv(const std::vector<std::string>& args, const Environment& env = {}) {
    return RunProcess(BuiltProgram("udmconv"), args, "", env);
}

// Runs tarnvel with the input option (-rax, -asc, -vxmat) on a shipped
// example, writing out; its exit code.
inline ProcessResult Tarnvel(const Folder& folder, const std::string& option,
                             const std::string& example, const std::string& out,
                             Environment env = {}) {
    env.emplace_back("tmp", folder.File("tmp"));
    return RunProcess(BuiltProgram("tarnvel"),
                      {option, kSource + "/examples/" + example, "-udb", out},
                      folder.root().string(), env);
}

// A model made current for the life of the object, destroyed after.
class Model {
  public:
    Model() { EXPECT_EQ(udm_model_open(nullptr, UDM_MODE_TEXT, &model_), UDM_OK); }
    explicit Model(const std::string& path) {
        EXPECT_EQ(udm_model_open(path.c_str(), UDM_MODE_AS_LOADED, &model_), UDM_OK) << path;
    }
    ~Model() {
        if (model_ != nullptr) udm_model_destroy(&model_);
    }
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;
    void Select() const { udm_model_select(model_); }

  private:
    UdmModel* model_ = nullptr;
};

// Adds a set with codes (code, description, values) to the current model.
struct CodeSpec {
    std::int32_t code;
    std::string description;
    std::vector<double> values;
};
inline void AddSet(std::int32_t type, std::int32_t label, const std::string& description,
                   const std::vector<CodeSpec>& codes) {
    UdmTcod* list = nullptr;
    for (auto it = codes.rbegin(); it != codes.rend(); ++it) {
        ASSERT_EQ(udm_tcod_new(it->code, it->description.c_str(),
                               static_cast<std::int32_t>(it->values.size()), it->values.data(),
                               list, &list),
                  UDM_OK);
    }
    UdmTset* tset = nullptr;
    ASSERT_EQ(udm_tset_create(type, label, description.c_str(), list, &tset), UDM_OK);
}

}  // namespace tarnvel::inspect::testing
