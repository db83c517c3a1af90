// Property files: models that hold property sets of one type, the type kept
// in the global "UDMW"/"TYPE". Their operations return the negative
// statuses of this layer.
#include <cstdio>
#include <string>
#include <vector>

#include "services/syppaths.h"
#include "udm/udm_classes.h"
#include "udm/udm_model.h"

using namespace tarnvel::udm;

namespace {

constexpr char kTypeKeyword[] = "UDMW";
constexpr char kTypeKey[] = "TYPE";
constexpr char kFileExtension[] = "udb";

// Selects a model for the life of the object and then the previous one
// again.
class ScopedSelect {
  public:
    explicit ScopedSelect(UdmModel* model) : previous_(SwapCurrent(model)) {}
    ~ScopedSelect() { SwapCurrent(previous_); }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

  private:
    UdmModel* previous_;
};

int ReadModeOf(int mode) {
    return mode == UDM_MODE_TEXT || mode == UDM_MODE_PACKED ? mode : 2;
}

// Leaves only the property sets of one type in the current model.
void KeepOnlySetsOfType(int type) {
    for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
        if (entity_class != UDM_CLASS_TSET) udm_class_clear(entity_class);
    }
    std::vector<void*> others;
    for (void* tset = udm_entity_first(UDM_CLASS_TSET, 0); tset != nullptr;
         tset = udm_entity_next(UDM_CLASS_TSET, udm_entity_type(tset), udm_entity_label(tset))) {
        if (udm_entity_type(tset) != type) others.push_back(tset);
    }
    for (void* tset : others) udm_entity_delete(tset);
}

// The path with the extensions of its file name cut: everything from the
// first '.' after the last '/'. A '.' in a directory part ("./", "../",
// "v1.2/") stays, or the name would lose its file name or be empty.
std::string WithoutExtensions(const char* path) {
    std::string name(path);
    const std::size_t slash = name.rfind('/');
    const std::size_t dot = name.find('.', slash == std::string::npos ? 0 : slash + 1);
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

int WriteModeOf(int mode) {
    return mode == UDM_MODE_TEXT || mode == UDM_MODE_PACKED ? mode : UDM_MODE_AS_LOADED;
}

}  // namespace

UdmModel* udm_typed_open(const char* path, int read_mode) {
    UdmModel* previous = udm_model_current();
    UdmModel* model = nullptr;
    if (udm_model_open(nullptr, UDM_MODE_TEXT, &model) != UDM_OK) return nullptr;
    if (path != nullptr && sypFileExists(path)) {
        const int type =
            udm_model_read(path, ReadModeOf(read_mode)) == UDM_OK ? udm_typed_type(model) : 0;
        if (type <= 0) {
            udm_model_destroy(&model);
            udm_model_select(previous);
            return nullptr;
        }
        KeepOnlySetsOfType(type);
        try {
            udm_title_set_name(WithoutExtensions(path).c_str());
        } catch (const std::bad_alloc&) {
            // The name stays as it was read.
        }
    }
    udm_model_select(previous);
    return model;
}

int udm_typed_type(UdmModel* model) {
    if (!IsInitialised(model)) return 0;
    return GlobalAsInt(model, kTypeKeyword, kTypeKey);
}

int udm_typed_count(UdmModel* model) {
    if (!IsInitialised(model)) return 0;
    return static_cast<int>(model->classes[UDM_CLASS_TSET]->Count());
}

int udm_typed_set_type(UdmModel* model, int type) {
    if (model == nullptr) return UDM_TYPED_BAD_ARGUMENT;
    if (!IsInitialised(model)) return UDM_TYPED_NO_TYPE;
    if (type <= 0 || udm_typed_count(model) > 0) return UDM_TYPED_BAD_ARGUMENT;
    ScopedSelect select(model);
    try {
        const std::string text = FormatGlobalNumber(type);
        if (udm_global_set(kTypeKeyword, kTypeKey, text.c_str()) != UDM_OK) {
            return UDM_TYPED_BAD_ARGUMENT;
        }
    } catch (const std::bad_alloc&) {
        return UDM_TYPED_BAD_ARGUMENT;
    }
    return UDM_OK;
}

int udm_typed_save(UdmModel* model, const char* path, int write_mode) {
    if (model == nullptr) return UDM_TYPED_BAD_ARGUMENT;
    if (!IsInitialised(model)) return UDM_TYPED_NO_TYPE;
    const int type = udm_typed_type(model);
    if (type <= 0) return UDM_TYPED_NO_TYPE;
    std::string name;
    try {
        if (path != nullptr) {
            name = path;
        } else {
            const char* title = model->title.text[UDM_TITLE_NAME];
            if (title == nullptr) return UDM_TYPED_BAD_ARGUMENT;
            name = std::string(title) + "." + std::to_string(type) + "." + kFileExtension;
        }
    } catch (const std::bad_alloc&) {
        return UDM_TYPED_BAD_ARGUMENT;
    }
    if (!sypCheckWritable(name.c_str())) return UDM_TYPED_BAD_ARGUMENT;
    ScopedSelect select(model);
    KeepOnlySetsOfType(type);
    if (udm_model_write(name.c_str(), WriteModeOf(write_mode)) != UDM_OK) {
        return UDM_TYPED_WRITE_FAILED;
    }
    return UDM_OK;
}

int udm_typed_close(UdmModel* model) {
    if (model == nullptr) return UDM_TYPED_BAD_ARGUMENT;
    UdmModel* previous = SwapCurrent(model);
    // A model that cannot be cleared (one that is not initialised) stays
    // the caller's.
    if (udm_model_clear() != UDM_OK) {
        SwapCurrent(previous);
        return UDM_TYPED_WRITE_FAILED;
    }
    udm_model_free(model);
    SwapCurrent(previous == model ? nullptr : previous);
    return UDM_OK;
}
