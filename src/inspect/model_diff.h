// Compares two UDM models: title (KEYW, DATE and TIME left out), globals,
// the property sets matched by type and label, and the entity counts of
// the other classes. Each difference is handed to a sink as it is found.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "inspect/json_writer.h"
#include "inspect/model_file.h"
#include "inspect/output.h"

namespace tarnvel::inspect {

struct DiffOptions {
    // Values differ when |a - b| exceeds this times the larger magnitude.
    double rel_tol = 0.0;
};

struct Difference {
    enum class Kind {
        kTitle,
        kGlobal,
        kCount,
        kSetAdded,
        kSetRemoved,
        kSetDescription,
        kCodeAdded,
        kCodeRemoved,
        kCodeDescription,
        kValueCount,
        kValue,
    };
    Kind kind = Kind::kTitle;
    // The title slot, the global group or the class keyword.
    std::string name;
    // The key of a global.
    std::string key;
    std::int32_t type = 0;
    std::int32_t label = 0;
    std::int32_t code = 0;
    std::int32_t index = 0;
    // The texts of both sides (absent on a side that lacks the item).
    std::optional<std::string> text_a;
    std::optional<std::string> text_b;
    // Entity counts or numbers of values.
    std::int64_t count_a = 0;
    std::int64_t count_b = 0;
    double value_a = 0.0;
    double value_b = 0.0;
};

using DifferenceSink = std::function<void(const Difference&)>;

// Whether two values agree within the relative tolerance: equal values,
// two NaNs, or finite values no further apart than the tolerance allows.
bool ValuesAgree(double a, double b, double rel_tol);

// Compares model a with model b (b is the newer: what b alone has is
// "added"); the number of differences found.
std::size_t DiffModels(const ModelFile& a, const ModelFile& b, const DiffOptions& options,
                       const DifferenceSink& sink);

// One line naming the item and both sides.
void WriteDifferenceText(Output& out, const Difference& difference);

// {"differences": [...], "equal": bool} written as the differences come.
class DifferenceJson {
  public:
    explicit DifferenceJson(Output& out);
    void Add(const Difference& difference);
    void Finish(bool equal);

  private:
    JsonWriter json_;
};

}  // namespace tarnvel::inspect
