// A UDM file read for inspection: from a path or the standard input ("-"),
// with the reason of every failure in words, and the facts of the read
// model that the inspection commands show and compare.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "udm/udm.h"

namespace tarnvel::inspect {

// The name of an input in messages: 'PATH', or "the standard input".
std::string InputName(const std::string& path);

// The model of one file, destroyed with the object.
class ModelFile {
  public:
    ModelFile() = default;
    ModelFile(const ModelFile&) = delete;
    ModelFile& operator=(const ModelFile&) = delete;
    ~ModelFile();

    // Reads the file into a new model (which stays current); false with a
    // message naming the file when it cannot be opened or read. What the
    // reader dropped fails the read unless lenient; with lenient it is
    // described in warning().
    bool Load(const std::string& path, bool lenient, std::string* message);
    // The same from an open stream, named path in messages.
    bool LoadStream(std::FILE* file, const std::string& path, bool lenient, std::string* message);

    UdmModel* model() const { return model_; }
    // The encoding the read detected.
    int encoding() const { return encoding_; }
    const std::string& warning() const { return warning_; }
    // Makes the model current.
    void Select() const { udm_model_select(model_); }

  private:
    UdmModel* model_ = nullptr;
    int encoding_ = 0;
    std::string warning_;
};

// The file keyword of an entity class ("TSET", "NODE", ...).
const char* ClassKeyword(int entity_class);
// The name of an encoding number ("packed", ...), "unknown" otherwise.
const char* EncodingName(int encoding);

// The six title slots in file order: keyword and text as the model holds
// them (UDMV is "UDM V" and the version number, empty when unknown).
struct TitleSlot {
    const char* keyword;
    std::string text;
};
std::array<TitleSlot, 6> TitleOfCurrent();

// One global entry.
struct GlobalEntry {
    std::string group;
    std::string key;
    std::string value;
};
std::vector<GlobalEntry> GlobalsOfCurrent();

// One property set of the current model.
struct SetRef {
    std::int32_t type;
    std::int32_t label;
    const UdmTset* tset;
};
// Calls visit for each set of the current model in (type, label) order,
// without collecting them.
template <typename Visit>
void ForEachSet(Visit visit) {
    for (void* payload = udm_entity_first(UDM_CLASS_TSET, 0); payload != nullptr;) {
        const SetRef set{udm_entity_type(payload), udm_entity_label(payload),
                         static_cast<const UdmTset*>(payload)};
        visit(set);
        payload = udm_entity_next(UDM_CLASS_TSET, set.type, set.label);
    }
}
// The sets of the current model in (type, label) order.
std::vector<SetRef> SetsOfCurrent();
// The number of codes of a set.
int CodeCount(const UdmTset* tset);

}  // namespace tarnvel::inspect
