#include "services/libvxenv.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "services/buildinfo.h"
#include "services/envlookup.h"
#include "services/envproducts.h"
#include "services/mmutex.h"
#include "services/syperror.h"
#include "services/syppaths.h"

namespace tarnvel::services {
namespace {

// The variables that locate the product tree and the user's tree.
constexpr int kProductDirectory = 1;
constexpr int kUserDirectory = 12;
// The variable of the product's data directory.
constexpr int kDataDirectory = 2;
// The longest release text and product name kept.
constexpr std::size_t kMaxRelease = 255;
constexpr std::size_t kMaxProductName = 80;

// Where a default value starts from.
enum class DefaultBase { kHome, kUser, kData };

// The default directory or file of a variable: base joined with appended.
struct DefaultRow {
    int index;
    DefaultBase base;
    const char* appended;
};

constexpr DefaultRow kDefaults[] = {
    {2, DefaultBase::kHome, "data/dat"},   {3, DefaultBase::kHome, "bin"},
    {8, DefaultBase::kHome, "data/udm"},   {9, DefaultBase::kHome, "tmp"},
    {10, DefaultBase::kHome, "document"},  {11, DefaultBase::kHome, "example"},
    {13, DefaultBase::kUser, "dat"},       {14, DefaultBase::kUser, "udm"},
    {15, DefaultBase::kUser, "tmp"},       {16, DefaultBase::kUser, "udb"},
    {17, DefaultBase::kHome, "data/udb"},  {18, DefaultBase::kHome, "bin/instdata.qf3d"},
    {19, DefaultBase::kData, "vxss.dat"},  {22, DefaultBase::kHome, "data/html"},
    {28, DefaultBase::kHome, "tools"},     {29, DefaultBase::kHome, "data/workspace"},
    {30, DefaultBase::kUser, "workspace"},
};

// The process-wide product environment.
struct EnvState {
    // The tables read from the configuration.
    ProductConfiguration config;
    // Variable index -> resolved value; a null value is resolved again.
    std::map<int, const char*> values;
    // Every text handed out; each stays put until the state is freed.
    std::set<std::string, std::less<>> texts;
    // The current product and whether one has been made current.
    int current = 0;
    bool chosen = false;
    // Whether the one-time initialisation has run.
    bool initialised = false;
    // The release used in the registry key (at most kMaxRelease characters).
    std::string release;

    const char* Keep(std::string_view text) { return texts.emplace(text).first->c_str(); }

    const ProductDefinition* Current() const {
        const auto found = config.products.find(current);
        return found != config.products.end() ? &found->second : nullptr;
    }

    // The current product's lookup name of a variable, or null.
    const char* LookupName(int index) const {
        const ProductDefinition* product = Current();
        if (product == nullptr) return nullptr;
        const auto found = product->lookup_names.find(index);
        return found != product->lookup_names.end() ? found->second.c_str() : nullptr;
    }

    const char* CachedValue(int index) const {
        const auto found = values.find(index);
        return found != values.end() ? found->second : nullptr;
    }
};

// The lock lives as long as the process: exit cleanups may still need it.
MMutex& EnvLock() {
    static MMutex& lock = *new MMutex;
    return lock;
}

// A plain pointer, not an owner with a destructor: the exit cleanup frees
// the state, and a static destructor could run before it and free it twice.
EnvState* g_state = nullptr;

// The state, created on first use. Called with the lock held.
EnvState& State() {
    if (g_state == nullptr) g_state = new EnvState;
    return *g_state;
}

void FreeState() {
    const MMutexHold hold(EnvLock());
    delete g_state;
    g_state = nullptr;
}

void EnsureConfiguration(EnvState& state) {
    if (state.config.ProductCount() == 0) state.config = LoadProductConfiguration();
}

void InitialiseOnce(EnvState& state) {
    if (state.initialised) return;
    state.initialised = true;
    state.values.clear();
    EnsureConfiguration(state);
    static const bool registered = (sypRegisterExitCleanup(FreeState) == 0);
    (void)registered;
}

// The first variable whose generic name is exactly name, or -1.
int GenericIndex(const EnvState& state, const char* name) {
    const int count = state.config.VariableCount();
    for (const auto& [index, generic_name] : state.config.generic_names) {
        if (index >= 0 && index < count && generic_name == name) return index;
    }
    return -1;
}

const char* JoinKept(EnvState& state, const char* directory, const char* name) {
    if (directory == nullptr || name == nullptr) return nullptr;
    char path[PATH_MAX];
    if (sypJoinPath(directory, name, path, sizeof path) == 0) return nullptr;
    return state.Keep(path);
}

// The lookup chain for the current product's lookup name of a variable; a
// kept copy, or null.
const char* ResolveLookup(EnvState& state, int index) {
    const char* name = state.LookupName(index);
    if (name == nullptr || *name == '\0') return nullptr;
    const char* value = envLookup(name);
    return value != nullptr ? state.Keep(value) : nullptr;
}

// When no source names the product directory: the product tree installed
// with the program, or null.
const char* ProductTreeKept(EnvState& state) {
    const std::string tree = ProductTreeBesideModule();
    return tree.empty() ? nullptr : state.Keep(tree);
}

// The user directory below the home directory, or null.
const char* UserDirectoryInHome(EnvState& state) {
    const char* home = envHomeDirectory();
    const ProductDefinition* product = state.Current();
    if (home == nullptr || product == nullptr) return nullptr;
    const std::string home_copy = home;
    return JoinKept(state, home_copy.c_str(), product->user_dir.c_str());
}

bool ReportMissingDirectories(const EnvState& state, bool report) {
    const auto name = [&](int index) {
        const char* lookup = state.LookupName(index);
        return lookup != nullptr ? lookup : "";
    };
    if (state.CachedValue(kProductDirectory) == nullptr) {
        if (report) {
            SYP_REPORT(
                "Could not determine product directory \n"
                "The environment variable %s must be set\n",
                name(kProductDirectory));
        }
        return false;
    }
    if (state.CachedValue(kUserDirectory) == nullptr) {
        if (report) {
            SYP_REPORT(
                "Could not determine product user directory \n"
                "The environment variable %s is not set and the users home directory "
                "could not be determined.\n",
                name(kUserDirectory));
        }
        return false;
    }
    return true;
}

// Chooses a product from the build entry unless one has been chosen.
void ChooseImplicitly(EnvState& state) {
    if (state.chosen) return;
    EnsureConfiguration(state);
    char code[kBuildCodeSize];
    char release[kBuildReleaseSize];
    buildGetCode(code);
    buildGetRelease(release);
    state.release = FromFirstDigit(release, kMaxRelease);
    const auto found = state.config.build_codes.find(code);
    envSelectProduct(found != state.config.build_codes.end() ? found->second : 0, false);
}

// A registry value of one hive, expanded; empty when it does not count.
std::string RegistryValue(const std::string& hive, const std::string& key, const char* name) {
    const std::string raw = IniValue(hive, key, name);
    if (raw.empty() || raw.size() >= kRegistryValueSize) return "";
    const std::string expanded = ExpandReferences(raw);
    const char* home = envHomeDirectory();
    const std::string home_copy = home != nullptr ? home : "";
    return ResolveDocumentsMarker(expanded, home != nullptr ? home_copy.c_str() : nullptr);
}

std::string LookupChain(const char* name) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
    const std::string key = std::string(envGetRegistryKey()) + "\\Environment";
    for (const std::string& hive : {UserRegistryPath(), MachineRegistryPath()}) {
        std::string found = RegistryValue(hive, key, name);
        if (!found.empty()) return found;
    }
    std::string found = IniValue(ModuleIniPath(), kModuleIniSection, name);
    if (found.size() > kModuleIniValueLength) found.resize(kModuleIniValueLength);
    return found;
}

const char* DefaultBaseValue(const EnvState& state, DefaultBase base) {
    switch (base) {
        case DefaultBase::kHome:
            return state.CachedValue(kProductDirectory);
        case DefaultBase::kUser:
            return state.CachedValue(kUserDirectory);
        case DefaultBase::kData:
            return envGetValueByIndex(kDataDirectory);
    }
    return nullptr;
}

}  // namespace
}  // namespace tarnvel::services

using namespace tarnvel::services;

void envSetRelease(const char* release) {
    const MMutexHold hold(EnvLock());
    EnvState& state = State();
    InitialiseOnce(state);
    if (release == nullptr) {
        SYP_REPORT_MISUSE();
        return;
    }
    state.release.assign(release, strnlen(release, kMaxRelease));
}

bool envSelectProduct(int product_index, bool report) {
    const MMutexHold hold(EnvLock());
    EnvState& state = State();
    EnsureConfiguration(state);
    if (product_index < 0 || product_index >= state.config.ProductCount()) {
        sypAssertFail(__FILE__, __LINE__, "See source listing");
    }
    state.current = product_index;
    InitialiseOnce(state);
    state.chosen = true;
    state.values[kProductDirectory] = ResolveLookup(state, kProductDirectory);
    if (state.values[kProductDirectory] == nullptr) {
        state.values[kProductDirectory] = ProductTreeKept(state);
    }
    state.values[kUserDirectory] = ResolveLookup(state, kUserDirectory);
    if (state.values[kUserDirectory] == nullptr) {
        state.values[kUserDirectory] = UserDirectoryInHome(state);
    }
    return ReportMissingDirectories(state, report);
}

const char* envGetValue(const char* name) {
    if (name == nullptr) {
        SYP_REPORT_MISUSE();
        return nullptr;
    }
    const MMutexHold hold(EnvLock());
    EnvState& state = State();
    ChooseImplicitly(state);
    const int index = GenericIndex(state, name);
    return index >= 0 ? envGetValueByIndex(index) : envLookup(name);
}

const char* envGetVariableName(const char* name) {
    if (name == nullptr) {
        SYP_REPORT_MISUSE();
        return nullptr;
    }
    const MMutexHold hold(EnvLock());
    EnvState& state = State();
    ChooseImplicitly(state);
    const int index = GenericIndex(state, name);
    return index >= 0 ? state.LookupName(index) : name;
}

const char* envGetValueByIndex(int index) {
    const MMutexHold hold(EnvLock());
    EnvState& state = State();
    ChooseImplicitly(state);
    if (const char* cached = state.CachedValue(index)) return cached;
    const char* value = ResolveLookup(state, index);
    if (value == nullptr) value = envDefaultValue(index);
    state.values[index] = value;
    return value;
}

const char* envDefaultValue(int index) {
    const MMutexHold hold(EnvLock());
    EnvState& state = State();
    ChooseImplicitly(state);
    if (index < 0 || index >= state.config.VariableCount()) {
        SYP_REPORT_MISUSE();
        return nullptr;
    }
    for (const DefaultRow& row : kDefaults) {
        if (row.index == index) {
            return JoinKept(state, DefaultBaseValue(state, row.base), row.appended);
        }
    }
    return nullptr;
}

const char* envGetProductName() {
    const MMutexHold hold(EnvLock());
    EnvState& state = State();
    ChooseImplicitly(state);
    static std::string name;
    const ProductDefinition* product = state.Current();
    name = product != nullptr ? product->name.substr(0, kMaxProductName) : "";
    return name.c_str();
}

const char* envGetRegistryKey() {
    const MMutexHold hold(EnvLock());
    EnvState& state = State();
    ChooseImplicitly(state);
    if (const char* release = std::getenv("VT_BUILDREL")) {
        state.release = FromFirstDigit(release, kMaxRelease);
    }
    static std::string key;
    const std::string product = envGetProductName();
    key = "SOFTWARE\\Brenmoor\\" + product + "\\" + state.release;
    return key.c_str();
}

const char* envLookup(const char* name) {
    if (name == nullptr) {
        SYP_REPORT_MISUSE();
        return nullptr;
    }
    const MMutexHold hold(EnvLock());
    static std::string result;
    std::string found = LookupChain(name);
    if (found.empty()) return nullptr;
    result = std::move(found);
    return result.c_str();
}

const char* envHomeDirectory() {
    const MMutexHold hold(EnvLock());
    static std::string home;
    const char* drive = std::getenv("HOMEDRIVE");
    const char* path = std::getenv("HOMEPATH");
    const char* plain = std::getenv("HOME");
    if (drive != nullptr && path != nullptr) {
        home = std::string(drive) + path;
    } else if (plain != nullptr) {
        home = plain;
    } else {
        return nullptr;
    }
    return home.empty() ? nullptr : home.c_str();
}

void envResetForTesting() {
    FreeState();
    BuildResetForTesting();
}
