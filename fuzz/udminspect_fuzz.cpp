// Feeds arbitrary bytes, as two UDM files, to what udmconv shows and
// compares: the first two bytes (little-endian) give the length of the
// first file, the rest after it is the second. Every
// file that reads (leniently) must give show, list and diff JSON that a
// JSON parser accepts, with as many sets as the model holds; a model
// compared with itself must have no differences, and the curves of every
// set (as udmconv plot samples them) must be finite. Nothing may crash,
// hang or leak.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz_curves.h"
#include "inspect/model_diff.h"
#include "inspect/model_file.h"
#include "inspect/model_show.h"
#include "inspect/output.h"

namespace {

using namespace tarnvel::inspect;

// What the writing puts into an in-memory stream.
template <typename Write>
std::string Captured(Write write) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* file = open_memstream(&buffer, &size);
    if (file == nullptr) return {};
    {
        Output out(file);
        write(out);
        if (!out.Finish()) __builtin_trap();
    }
    std::fclose(file);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

// A document the parser must accept.
nlohmann::json Parsed(const std::string& text) {
    nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    if (doc.is_discarded()) __builtin_trap();
    return doc;
}

bool Load(ModelFile* file, std::string& bytes, const char* name) {
    std::FILE* stream = fmemopen(bytes.data(), bytes.size(), "rb");
    if (stream == nullptr) return false;
    std::string message;
    const bool loaded = file->LoadStream(stream, name, true, &message);
    std::fclose(stream);
    return loaded;
}

void CheckShown(const ModelFile& file) {
    file.Select();
    const nlohmann::json shown =
        Parsed(Captured([&](Output& out) { WriteShowJson(out, file.encoding(), {}); }));
    if (shown["sets"].size() != static_cast<std::size_t>(udm_class_count(UDM_CLASS_TSET))) {
        __builtin_trap();
    }
    Parsed(Captured([&](Output& out) { WriteListJson(out, file.encoding()); }));
    Captured([&](Output& out) { WriteShowText(out, "fuzz", file.encoding(), {}); });
    // What udmconv plot draws of each set.
    ForEachSet([](const SetRef& set) {
        for (const auto kind :
             {tarnvel::curves::PlotKind::kViscosity, tarnvel::curves::PlotKind::kPvt})
            tarnvel::fuzzing::CheckCurves(tarnvel::curves::SetCurves(set.tset, kind), kind);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t length = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
    std::string first(reinterpret_cast<const char*>(data) + 2, length);
    std::string second(reinterpret_cast<const char*>(data) + 2 + length, size - 2 - length);
    ModelFile a;
    ModelFile b;
    const bool loaded_a = !first.empty() && Load(&a, first, "a");
    const bool loaded_b = !second.empty() && Load(&b, second, "b");
    if (loaded_a) {
        CheckShown(a);
        if (DiffModels(a, a, {}, [](const Difference&) {}) != 0) __builtin_trap();
    }
    if (loaded_b) CheckShown(b);
    if (loaded_a && loaded_b) {
        std::size_t found = 0;
        const nlohmann::json diff = Parsed(Captured([&](Output& out) {
            DifferenceJson json(out);
            found = DiffModels(a, b, {1e-9}, [&](const Difference& d) { json.Add(d); });
            json.Finish(found == 0);
        }));
        if (diff["differences"].size() != found) __builtin_trap();
        Captured([&](Output& out) {
            DiffModels(a, b, {}, [&](const Difference& d) { WriteDifferenceText(out, d); });
        });
    }
    return 0;
}
