// Helpers for the UDM reader and udmconv tests: a private directory, a model
// held for one test, a sample model with awkward texts and values, and an
// image of a model's property sets to compare reads against writes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "udm/udm.h"

namespace reader_test {

// A private directory removed with everything in it.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "udmreadXXXXXX").string();
        path_ = mkdtemp(pattern.data()) == nullptr ? std::string() : pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The lines a write changes (KEYW, DATE, TIME, the build version) blanked.
inline std::string WithoutWriteStamps(const std::string& text) {
    std::string kept;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const bool stamp = line.rfind("  KEYW{", 0) == 0 || line.rfind("  DATE{", 0) == 0 ||
                           line.rfind("  TIME{", 0) == 0 || line.rfind("    \"Version\"", 0) == 0;
        kept += stamp ? "" : line;
        kept += '\n';
        start = end + 1;
    }
    return kept;
}

// A fresh model, current while the holder lives; destroyed with it.
class HeldModel {
  public:
    HeldModel() { EXPECT_EQ(udm_model_open(nullptr, UDM_MODE_TEXT, &model_), UDM_OK); }
    ~HeldModel() {
        if (model_ != nullptr) udm_model_destroy(&model_);
    }
    HeldModel(const HeldModel&) = delete;
    HeldModel& operator=(const HeldModel&) = delete;
    UdmModel* get() const { return model_; }
    void Select() const { udm_model_select(model_); }

  private:
    UdmModel* model_ = nullptr;
};

// One property code entry as plain values; doubles compared bit for bit.
struct CodeImage {
    std::int32_t code = 0;
    std::string description;
    std::vector<std::uint64_t> bits;
    bool operator==(const CodeImage&) const = default;
};

struct SetImage {
    std::int32_t type = 0;
    std::int32_t label = 0;
    std::string description;
    std::vector<CodeImage> codes;
    bool operator==(const SetImage&) const = default;
};

inline void PrintTo(const SetImage& set, std::ostream* out) {
    *out << "TSET(" << set.type << "," << set.label << ",\"" << set.description << "\","
         << set.codes.size() << " codes)";
}

inline std::uint64_t Bits(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The property sets of the current model in collection order.
inline std::vector<SetImage> SetsOfCurrent() {
    std::vector<SetImage> sets;
    for (void* entity = udm_entity_first(UDM_CLASS_TSET, 0); entity != nullptr;
         entity =
             udm_entity_next(UDM_CLASS_TSET, udm_entity_type(entity), udm_entity_label(entity))) {
        const auto* tset = static_cast<const UdmTset*>(entity);
        SetImage image{udm_entity_type(entity),
                       udm_entity_label(entity),
                       udm_tset_description(tset) ? udm_tset_description(tset) : "",
                       {}};
        for (const UdmTcod* tcod = tset->codes; tcod != nullptr; tcod = tcod->next) {
            CodeImage code{udm_tcod_code(tcod), udm_tcod_text(tcod) ? udm_tcod_text(tcod) : "", {}};
            for (std::int32_t n = 0; n < udm_tcod_count(tcod); ++n) {
                code.bits.push_back(Bits(udm_tcod_value(tcod, n)));
            }
            image.codes.push_back(code);
        }
        sets.push_back(image);
    }
    return sets;
}

inline std::vector<SetImage> SetsOf(UdmModel* model) {
    UdmModel* previous = udm_model_current();
    udm_model_select(model);
    std::vector<SetImage> sets = SetsOfCurrent();
    udm_model_select(previous);
    return sets;
}

// Adds a set with codes to the current model.
inline void AddSet(std::int32_t type, std::int32_t label, const char* description,
                   const std::vector<std::pair<std::int32_t, std::vector<double>>>& codes,
                   const char* code_description = "Not Available") {
    auto* tset = static_cast<UdmTset*>(udm_entity_new(UDM_CLASS_TSET, type, label));
    ASSERT_NE(tset, nullptr);
    udm_tset_set_description(tset, description);
    for (const auto& [code, values] : codes) {
        UdmTcod* tcod = udm_tset_code(tset, code, 1);
        ASSERT_NE(tcod, nullptr);
        udm_tcod_set_description(tcod, code_description);
        udm_tcod_set_values(tcod, static_cast<std::int32_t>(values.size()), values.data());
    }
}

// A model whose texts hold quotes, backslashes (one at the end) and line
// feeds, and whose values print exactly in the default float format.
inline void BuildTextSafeModel() {
    udm_title_set_name("grades \"2024\" C:\\data\\");
    udm_global_set("UDMW", "TYPE", "21000");
    udm_global_set("ABCD", "key with \\ and \"", "multi\nline");
    AddSet(21000, 1, "PA 66 \"natural\"", {{1992, {}}, {11002, {473.5, -1.25e-05, 0.0}}});
    AddSet(21000, 2, "ends in \\", {{1004, {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0}}});
    AddSet(20000, 7, "", {{1, {2.5e+100}}}, "");
}

// Values that only a binary encoding keeps exactly.
inline void AddBinaryOnlyValues() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    AddSet(21000, 3, "exact",
           {{5,
             {0.1, -0.0, 1.0 / 3.0, std::numeric_limits<double>::denorm_min(), inf, -inf, nan,
              std::numeric_limits<double>::max()}}});
}

}  // namespace reader_test
