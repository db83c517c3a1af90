// Helpers for the UDM model and writer tests: a model opened for one test,
// a private scratch directory, property sets built in one call, and small
// entity families that stand in for the geometry and mesh families.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "udm/udm.h"
#include "udm/udm_classes.h"
#include "udm/udm_writer.h"

namespace udm_test {

// Opens a fresh model, current for the test, and destroys it afterwards.
class ModelTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(udm_model_open(nullptr, UDM_MODE_TEXT, &model_), UDM_OK); }
    void TearDown() override {
        if (model_ != nullptr) udm_model_destroy(&model_);
        udm_model_select(nullptr);
    }
    UdmModel* model_ = nullptr;
};

// A private directory removed with everything in it.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "udmtestXXXXXX").string();
        path_ = mkdtemp(pattern.data()) == nullptr ? std::string() : pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// A property set in the current model with one code per entry of codes,
// each holding the given values.
inline UdmTset* MakeSet(std::int32_t type, std::int32_t label, const char* description,
                        std::initializer_list<std::int32_t> codes = {},
                        std::vector<double> values = {}) {
    auto* tset = static_cast<UdmTset*>(udm_entity_new(UDM_CLASS_TSET, type, label));
    if (tset == nullptr) return nullptr;
    udm_tset_set_description(tset, description);
    for (std::int32_t code : codes) {
        UdmTcod* tcod = udm_tset_code(tset, code, 1);
        udm_tcod_set_values(tcod, static_cast<std::int32_t>(values.size()), values.data());
    }
    return tset;
}

inline std::vector<std::int32_t> CodesOf(const UdmTset* tset) {
    std::vector<std::int32_t> codes;
    for (const UdmTcod* tcod = tset->codes; tcod != nullptr; tcod = tcod->next) {
        codes.push_back(tcod->code);
    }
    return codes;
}

}  // namespace udm_test
