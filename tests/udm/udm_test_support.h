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

// Payload of the stand-in families: one referenced label (a node for the
// element stand-in) and a property set reference.
struct RefPayload {
    std::int32_t node;
    std::int32_t tset_type;
    std::int32_t tset_label;
};

inline int CopyRef(void* target, const void* source) {
    *static_cast<RefPayload*>(target) = *static_cast<const RefPayload*>(source);
    return UDM_OK;
}

inline void FixRef(void* payload) {
    auto* ref = static_cast<RefPayload*>(payload);
    ref->node = tarnvel::udm::MergeMapLabel(UDM_CLASS_NODE, ref->node);
    tarnvel::udm::MergeMapTset(&ref->tset_type, &ref->tset_label);
}

inline void WriteRef(UdmStream* stream, const void* payload) {
    const auto* ref = static_cast<const RefPayload*>(payload);
    udm_put_newlines(stream, 1);
    udm_put_keyword(stream, "REFX");
    udm_put_open(stream);
    udm_put_int(stream, udm_entity_label(payload));
    udm_put_blanks(stream, 1);
    udm_put_int(stream, ref->node);
    udm_put_close(stream);
}

inline constexpr tarnvel::udm::UdmFamily kNodeStandIn = {
    sizeof(RefPayload), "\n//  stand-in nodes", nullptr, nullptr, CopyRef, nullptr, WriteRef};
inline constexpr tarnvel::udm::UdmFamily kElementStandIn = {
    sizeof(RefPayload), "\n//  stand-in elements", nullptr, nullptr, CopyRef, FixRef, WriteRef};

// Puts the stand-in families into the NODE row and every element row for
// the life of the object.
class StandInFamilies {
  public:
    StandInFamilies() {
        tarnvel::udm::SetClassFamily(UDM_CLASS_NODE, &kNodeStandIn);
        for (int element_class : tarnvel::udm::kElementClasses) {
            tarnvel::udm::SetClassFamily(element_class, &kElementStandIn);
        }
    }
    ~StandInFamilies() {
        tarnvel::udm::SetClassFamily(UDM_CLASS_NODE, nullptr);
        for (int element_class : tarnvel::udm::kElementClasses) {
            tarnvel::udm::SetClassFamily(element_class, nullptr);
        }
    }
    StandInFamilies(const StandInFamilies&) = delete;
    StandInFamilies& operator=(const StandInFamilies&) = delete;
};

}  // namespace udm_test
