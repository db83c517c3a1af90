// Model lifecycle, the per-thread current model, the title record and the
// global keyword store.
#include "udm/udm_model.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <strings.h>

#include "services/sypmem.h"
#include "services/syppaths.h"
#include "udm/udm_classes.h"

namespace tarnvel::udm {

namespace {

// Defaults of the title texts, in slot order NAME, VRSN, KEYW, DATE, TIME.
constexpr std::array<const char*, kTitleTextCount> kTitleDefaults = {
    "Untitled", "VANTOREL", "1234567890", "DEC-31-1996", "00:00:00"};

// The version prefix of "UDM V4" and the like.
constexpr char kVersionPrefix[] = "UDM V";
constexpr std::size_t kVersionPrefixLength = 5;

// The global keyword is stored as at most its first 5 characters.
constexpr std::size_t kGlobalKeywordLength = 5;

std::string_view GlobalKeyword(const char* keyword) {
    return std::string_view(keyword).substr(0, kGlobalKeywordLength);
}

void FreeTitleTexts(Title* title) {
    for (char*& text : title->text) {
        sypFree(text);
        text = nullptr;
    }
}

void DeleteCollections(UdmModel* model) {
    for (Collection*& collection : model->classes) {
        if (collection == nullptr) continue;
        FreeEntities(collection);
        delete collection;
        collection = nullptr;
    }
}

int CreateCollections(UdmModel* model) {
    for (Collection*& collection : model->classes) {
        collection = new (std::nothrow) Collection;
        if (collection == nullptr) {
            DeleteCollections(model);
            return UDM_NO_MEMORY;
        }
    }
    return UDM_OK;
}

int SetTitleDefaults(Title* title) {
    std::array<char*, kTitleTextCount> copies{};
    for (int slot = 0; slot < kTitleTextCount; ++slot) {
        if (!CopyText(kTitleDefaults[slot], &copies[slot])) {
            for (char* text : copies) sypFree(text);
            return UDM_NO_MEMORY;
        }
    }
    FreeTitleTexts(title);
    title->text = copies;
    title->version = 0;
    title->loaded_packed = 0;
    title->compact = 0;
    return UDM_OK;
}

}  // namespace

constinit thread_local ThreadContext g_context;

UdmModel* SwapCurrent(UdmModel* model) {
    UdmModel* previous = g_context.model;
    g_context.model = model;
    return previous;
}

bool CopyText(const char* text, char** out) {
    *out = nullptr;
    if (text == nullptr) return true;
    *out = sypStrdup(text);
    return *out != nullptr;
}

bool ReplaceText(char** slot, const char* text) {
    char* copy = nullptr;
    if (!CopyText(text, &copy)) return false;
    sypFree(*slot);
    *slot = copy;
    return true;
}

void FreeEntities(Collection* collection) {
    for (const auto& [key, entity] : collection->Items()) {
        const UdmFamily* family = ClassInfoOf(ClassOf(entity)).family;
        if (family != nullptr && family->release != nullptr) family->release(PayloadOf(entity));
        sypFree(entity);
    }
    collection->Reset();
}

std::string FormatGlobalNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%E", value);
    return text;
}

const std::string* FindGlobal(const UdmModel* model, std::string_view keyword,
                              std::string_view key) {
    if (model == nullptr) return nullptr;
    auto group = model->globals.find(keyword.substr(0, kGlobalKeywordLength));
    if (group == model->globals.end()) return nullptr;
    auto entry = group->second.find(key);
    return entry == group->second.end() ? nullptr : &entry->second;
}

bool GlobalNumber(const UdmModel* model, std::string_view keyword, std::string_view key, int* out) {
    const std::string* text = FindGlobal(model, keyword, key);
    if (text == nullptr) return false;
    char* end = nullptr;
    const double value = std::strtod(text->c_str(), &end);
    if (end == text->c_str() || !std::isfinite(value)) return false;
    // Truncation toward zero, as a conversion to int does; values outside
    // the int range are no number here.
    if (value <= double{INT_MIN} - 1 || value >= double{INT_MAX} + 1) return false;
    *out = static_cast<int>(value);
    return true;
}

int GlobalAsInt(const UdmModel* model, std::string_view keyword, std::string_view key) {
    int value = 0;
    return GlobalNumber(model, keyword, key, &value) ? value : 0;
}

}  // namespace tarnvel::udm

using namespace tarnvel::udm;

// ---- Model lifecycle -------------------------------------------------------

int udm_model_alloc(UdmModel** out) {
    if (out == nullptr) return UDM_BAD_ARGUMENT;
    *out = new (std::nothrow) UdmModel;
    return *out == nullptr ? UDM_NO_MEMORY : UDM_OK;
}

int udm_model_init() {
    UdmModel* model = CurrentModel();
    if (model == nullptr) return UDM_NO_CURRENT_MODEL;
    if (IsInitialised(model)) return UDM_ALREADY_INITIALISED;
    if (int status = CreateCollections(model); status != UDM_OK) return status;
    if (int status = SetTitleDefaults(&model->title); status != UDM_OK) {
        DeleteCollections(model);
        return status;
    }
    for (SummarySlot& slot : model->summary) slot.stream = nullptr;
    model->flags |= kModelInitialised;
    return UDM_OK;
}

int udm_model_open(const char* path, int read_mode, UdmModel** out) {
    if (out == nullptr) return UDM_BAD_ARGUMENT;
    *out = nullptr;
    UdmModel* model = nullptr;
    if (int status = udm_model_alloc(&model); status != UDM_OK) return status;
    UdmModel* previous = SwapCurrent(model);
    int status = udm_model_init();
    if (status == UDM_OK && path != nullptr) status = udm_model_read(path, read_mode);
    if (status != UDM_OK) {
        udm_model_destroy(&model);
        udm_model_select(previous);
        return status;
    }
    if (path == nullptr && read_mode == UDM_MODE_PACKED) model->title.loaded_packed = 1;
    *out = model;
    return UDM_OK;
}

void udm_model_select(UdmModel* model) {
    g_context.model = model;
}

UdmModel* udm_model_current() {
    return g_context.model;
}

int udm_model_clear() {
    UdmModel* model = CurrentModel();
    if (model == nullptr) return UDM_NO_CURRENT_MODEL;
    if (!IsInitialised(model)) return UDM_NOT_INITIALISED;
    DeleteCollections(model);
    FreeTitleTexts(&model->title);
    model->title.version = 0;
    model->title.loaded_packed = 0;
    model->title.compact = 0;
    model->globals.clear();
    model->summary = {};
    // The cached active layer goes with the global that held it, so that a
    // model initialised again does not hand out a layer it no longer has.
    model->active_layer = -1;
    model->flags &= ~kModelInitialised;
    return UDM_OK;
}

void udm_model_free(UdmModel* model) {
    if (model == nullptr) return;
    if (IsInitialised(model)) {
        UdmModel* previous = SwapCurrent(model);
        udm_model_clear();
        SwapCurrent(previous);
    }
    // Never leave this thread pointing at a freed model.
    if (CurrentModel() == model) SwapCurrent(nullptr);
    delete model;
}

int udm_model_destroy(UdmModel** model) {
    if (model == nullptr || *model == nullptr) return UDM_BAD_ARGUMENT;
    UdmModel* doomed = *model;
    UdmModel* previous = SwapCurrent(doomed);
    udm_model_clear();
    udm_model_free(doomed);
    *model = nullptr;
    SwapCurrent(previous == doomed ? nullptr : previous);
    return UDM_OK;
}

int udm_model_read(const char* path, int read_mode) {
    if (path == nullptr) return UDM_BAD_ARGUMENT;
    if (CurrentModel() == nullptr) return UDM_NO_CURRENT_MODEL;
    std::FILE* file = nullptr;
    if (sypOpenFile(&file, path, "rb") != tarnvel::services::kSypOk) return UDM_BAD_ARGUMENT;
    const int status = udm_model_read_file(file, path, read_mode);
    sypCloseFile(file);
    return status;
}

int udm_model_load(const char* path) {
    return udm_model_read(path, UDM_MODE_AS_LOADED);
}

// ---- Title and globals -------------------------------------------------------

int udm_title_set(const char* name, const char* keyword, const char* date, const char* time,
                  const char* version) {
    UdmModel* model = CurrentModel();
    if (model == nullptr) return UDM_NO_CURRENT_MODEL;
    const std::array<std::pair<int, const char*>, kTitleTextCount> given = {{
        {UDM_TITLE_NAME, name},
        {UDM_TITLE_KEYW, keyword},
        {UDM_TITLE_DATE, date},
        {UDM_TITLE_TIME, time},
        {UDM_TITLE_VRSN, version},
    }};
    // Copy everything first so that a failure leaves the title unchanged.
    std::array<char*, kTitleTextCount> copies{};
    for (const auto& [slot, text] : given) {
        if (!CopyText(text, &copies[slot])) {
            for (char* copy : copies) sypFree(copy);
            return UDM_NO_MEMORY;
        }
    }
    for (const auto& [slot, text] : given) {
        if (text == nullptr) continue;
        sypFree(model->title.text[slot]);
        model->title.text[slot] = copies[slot];
    }
    return UDM_OK;
}

const char* udm_title_name() {
    return udm_title_text(UDM_TITLE_NAME);
}

int udm_title_set_name(const char* text) {
    return udm_title_set(text, nullptr, nullptr, nullptr, nullptr);
}

const char* udm_title_text(int slot) {
    UdmModel* model = CurrentModel();
    if (model == nullptr || slot < 0 || slot >= kTitleTextCount) return nullptr;
    return model->title.text[slot];
}

int udm_file_version() {
    UdmModel* model = CurrentModel();
    return model == nullptr ? 4 : model->title.version;
}

int udm_set_file_version(const char* text) {
    UdmModel* model = CurrentModel();
    if (model == nullptr) return UDM_NO_CURRENT_MODEL;
    int& version = model->title.version;
    if (text == nullptr || strncasecmp(text, kVersionPrefix, kVersionPrefixLength) != 0) {
        version = 0;
        return UDM_OK;
    }
    const char* digits = text + kVersionPrefixLength;
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(digits, &end, 10);
    if (end == digits || errno == ERANGE || number > INT_MAX) {
        version = 0;
    } else if (*end != '\0') {
        // A number followed by other text leaves the version as it was.
    } else {
        version = number > 0 ? static_cast<int>(number) : 0;
    }
    return UDM_OK;
}

int udm_global_set(const char* keyword, const char* key, const char* value) {
    if (keyword == nullptr || key == nullptr) return UDM_BAD_ARGUMENT;
    UdmModel* model = CurrentModel();
    if (model == nullptr) return UDM_NO_CURRENT_MODEL;
    // The cached active layer is read again from the globals on next use.
    model->active_layer = -1;
    try {
        GlobalStore& store = model->globals;
        auto group = store.find(GlobalKeyword(keyword));
        if (group == store.end()) {
            group = store.emplace(std::string(GlobalKeyword(keyword)), GlobalGroup{}).first;
        }
        // Values are always text: a missing value is stored as an empty one.
        const char* text = value == nullptr ? "" : value;
        auto entry = group->second.find(std::string_view(key));
        if (entry == group->second.end()) {
            group->second.emplace(key, text);
        } else {
            entry->second = text;
        }
    } catch (const std::bad_alloc&) {
        // A group left empty by the failure holds nothing and is not written.
        return UDM_NO_MEMORY;
    }
    return UDM_OK;
}

int udm_global_get(const char* keyword, const char* key, const char** value) {
    if (value != nullptr) *value = nullptr;
    if (keyword == nullptr || key == nullptr) return UDM_NOT_FOUND;
    const std::string* text = FindGlobal(CurrentModel(), keyword, key);
    if (text == nullptr) return UDM_NOT_FOUND;
    if (value != nullptr) *value = text->c_str();
    return UDM_OK;
}

int udm_global_visit(void (*visit)(const char* keyword, const char* key, const char* value,
                                   void* context),
                     void* context) {
    if (visit == nullptr) return UDM_BAD_ARGUMENT;
    const UdmModel* model = CurrentModel();
    if (model == nullptr) return UDM_NO_CURRENT_MODEL;
    for (const auto& [keyword, entries] : model->globals) {
        for (const auto& [key, value] : entries) {
            visit(keyword.c_str(), key.c_str(), value.c_str(), context);
        }
    }
    return UDM_OK;
}

namespace {
constexpr char kLayerKeyword[] = "LUDM";
constexpr char kLayerKey[] = "Active Layer";
}  // namespace

int udm_active_layer() {
    UdmModel* model = CurrentModel();
    if (model == nullptr) return 0;
    if (model->active_layer != -1) return model->active_layer;
    // An absent or unreadable global is layer 0, cached like a present one:
    // every new entity asks, and a changed global drops the cache.
    int layer = 0;
    if (!GlobalNumber(model, kLayerKeyword, kLayerKey, &layer) || layer == -1) layer = 0;
    model->active_layer = layer;
    return layer;
}

int udm_set_active_layer(int layer) {
    if (layer == -1) return UDM_BAD_ARGUMENT;
    UdmModel* model = CurrentModel();
    if (model == nullptr) return UDM_NO_CURRENT_MODEL;
    try {
        const std::string text = FormatGlobalNumber(layer);
        if (int status = udm_global_set(kLayerKeyword, kLayerKey, text.c_str()); status != UDM_OK) {
            return status;
        }
    } catch (const std::bad_alloc&) {
        return UDM_NO_MEMORY;
    }
    model->active_layer = layer;
    return UDM_OK;
}
