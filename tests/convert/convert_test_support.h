// Helpers for the tests of the conversion code: a private scratch directory,
// property sets described in one expression and written as UDM files, and
// reading a set's codes back.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "udm/udm.h"

namespace convert_test {

// A private directory removed with everything in it.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "converttestXXXXXX").string();
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
    // The names of the files in the directory, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::string path_;
};

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One property code: its code, text (null for none) and values.
struct Code {
    std::int32_t code;
    const char* text = nullptr;
    std::vector<double> values = {};
};

// One property set.
struct Set {
    std::int32_t type;
    std::int32_t label;
    const char* description = nullptr;
    std::vector<Code> codes = {};
};

// Creates a set with exactly the given keys in the current model (label 0
// is kept as it is) and fills it.
inline UdmTset* AddSet(const Set& set) {
    void* payload = nullptr;
    if (udm_entity_create(UDM_CLASS_TSET, set.type, set.label, &payload) != UDM_OK) return nullptr;
    auto* tset = static_cast<UdmTset*>(payload);
    udm_tset_set_description(tset, set.description);
    for (const Code& code : set.codes) {
        UdmTcod* tcod = udm_tset_code(tset, code.code, 1);
        udm_tcod_set_description(tcod, code.text);
        udm_tcod_set_values(tcod, static_cast<std::int32_t>(code.values.size()),
                            code.values.data());
    }
    return tset;
}

// A model opened for one test (selected while sets are added) and destroyed
// with the object; the caller's current model is selected again.
class Model {
  public:
    explicit Model(const std::vector<Set>& sets = {}, const char* type_text = nullptr) {
        UdmModel* previous = udm_model_current();
        udm_model_open(nullptr, UDM_MODE_TEXT, &model_);
        if (type_text != nullptr) udm_global_set("UDMW", "TYPE", type_text);
        for (const Set& set : sets) AddSet(set);
        udm_model_select(previous);
    }
    ~Model() {
        if (model_ != nullptr) udm_model_destroy(&model_);
    }
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    UdmModel* get() const { return model_; }
    // The set with these keys, or null.
    UdmTset* Find(std::int32_t type, std::int32_t label) const {
        UdmModel* previous = udm_model_current();
        udm_model_select(model_);
        void* payload = nullptr;
        udm_entity_find(UDM_CLASS_TSET, type, label, &payload);
        udm_model_select(previous);
        return static_cast<UdmTset*>(payload);
    }
    // Writes the model to path (0 text, 1 packed).
    int Write(const std::string& path, int mode) const {
        UdmModel* previous = udm_model_current();
        udm_model_select(model_);
        const int status = udm_model_write(path.c_str(), mode);
        udm_model_select(previous);
        return status;
    }

  private:
    UdmModel* model_ = nullptr;
};

// Writes a property file of the given type text holding the sets.
inline void WritePropertyFile(const std::string& path, const char* type_text,
                              const std::vector<Set>& sets, int mode = UDM_MODE_TEXT) {
    Model model(sets, type_text);
    ASSERT_EQ(model.Write(path, mode), UDM_OK);
}

// The values of a code, or nothing when the set lacks it.
inline std::optional<std::vector<double>> ValuesOf(UdmTset* tset, std::int32_t code) {
    const UdmTcod* tcod = tset == nullptr ? nullptr : udm_tset_code(tset, code, 0);
    if (tcod == nullptr) return std::nullopt;
    const double* values = udm_tcod_values(tcod);
    return std::vector<double>(values, values + udm_tcod_count(tcod));
}

// The text of a code, or nothing when the set lacks it or it has none.
inline std::optional<std::string> TextOf(UdmTset* tset, std::int32_t code) {
    const UdmTcod* tcod = tset == nullptr ? nullptr : udm_tset_code(tset, code, 0);
    if (tcod == nullptr || udm_tcod_text(tcod) == nullptr) return std::nullopt;
    return std::string(udm_tcod_text(tcod));
}

}  // namespace convert_test
