// The process-wide message catalogue: located along the data-file
// templates and loaded once, on first use; a failed load leaves it empty for
// the rest of the run. Messages are printed on an unbuffered standard output.
#include "services/msgvw.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "services/libvxenv.h"
#include "services/msgcatalogue.h"
#include "services/syperror.h"
#include "services/sypfind.h"
#include "services/sypmem.h"

namespace {

using tarnvel::services::MessageArguments;
using tarnvel::services::MessageCatalogue;
using tarnvel::services::msgClass;

// The message file, and where it lies below the product directory.
constexpr char kCatalogueBaseName[] = "vxmesage.dat";
constexpr char kCatalogueSubdirectory[] = "data/dat";
// How often opening the message file is tried before giving up.
constexpr int kOpenAttempts = 21;
// The unit system messages show values in, and the echo setting that lets
// messages be shown.
constexpr char kMessageUnitsSystem[] = "METRIC";
constexpr char kEchoOn[] = "ON";

struct CatalogueState {
    // Whether the file was searched for, and where it was found (empty
    // when it was not).
    bool located = false;
    std::string path;
    // Whether a load was tried, and whether it succeeded.
    bool loaded = false;
    bool load_succeeded = false;
    MessageCatalogue catalogue;
    // Whether the message output settings have been set.
    bool print_settings = false;
    std::string units_system = kMessageUnitsSystem;
    std::string echo = kEchoOn;
    // The text handed out by msgFormat, valid until its next call.
    std::string formatted;
    bool cleanup_registered = false;
};

CatalogueState& State() {
    // Built once and released by an exit cleanup, so that exit-time code
    // never meets a destroyed catalogue.
    static CatalogueState* state = new CatalogueState;
    return *state;
}

void ReleaseCatalogue() {
    State().catalogue.clear();
}

std::FILE* OpenWithRetries(const char* path) {
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < kOpenAttempts && file == nullptr; ++attempt) {
        file = std::fopen(path, "r");
    }
    return file;
}

// Names the message file and the records left out of it.
void ReportFaults(const char* path, const std::vector<std::string>& faults) {
    std::string text;
    for (const std::string& fault : faults) text.append(fault).push_back('\n');
    SYP_REPORT("Message file \"%s\": records left out:\n%s", path, text.c_str());
}

// Loads the catalogue on first use, locating the file first if needed.
MessageCatalogue& LoadedCatalogue() {
    CatalogueState& state = State();
    if (!state.loaded) {
        if (!state.located) msgFindCatalogue(kCatalogueBaseName);
        if (!state.path.empty()) {
            msgLoadCatalogue(state.path.c_str());
        } else {
            state.loaded = true;
        }
    }
    return state.catalogue;
}

}  // namespace

int msgFindCatalogue(const char* base_name) {
    CatalogueState& state = State();
    if (state.located) return state.path.empty() ? 0 : 1;
    state.located = true;
    if (base_name == nullptr || *base_name == '\0') {
        SYP_REPORT_MISUSE();
        return 0;
    }
    if (envGetValue("PRODUCT_DAT") == nullptr) {
        const char* variable = envGetVariableName("PRODUCT_DAT");
        SYP_REPORT("Cannot open message file: Environment variable \"%s\" is unset",
                   variable != nullptr ? variable : "PRODUCT_DAT");
        return 0;
    }
    char* found =
        sypFindDataFile(kCatalogueSubdirectory, base_name, nullptr, kSypStandardDataTemplates);
    if (found == nullptr) return 0;
    std::FILE* file = OpenWithRetries(found);
    if (file == nullptr) {
        SYP_REPORT("Cannot open message file \"%s\": %s.\n", base_name, std::strerror(errno));
        sypFree(found);
        return 0;
    }
    std::fclose(file);
    state.path = found;
    sypFree(found);
    return 1;
}

int msgLoadCatalogue(const char* path) {
    CatalogueState& state = State();
    if (state.loaded) return state.load_succeeded ? 1 : 0;
    state.loaded = true;
    if (path == nullptr) return 0;
    std::FILE* file = OpenWithRetries(path);
    if (file == nullptr) return 0;
    std::vector<std::string> faults;
    state.catalogue.read(file, &faults);
    std::fclose(file);
    if (!faults.empty()) ReportFaults(path, faults);
    if (!state.cleanup_registered) {
        state.cleanup_registered = sypRegisterExitCleanup(ReleaseCatalogue) == 0;
    }
    state.load_succeeded = true;
    return 1;
}

const char* msgFormat(int number, int value_count, const float* values, int string_count,
                      const char* const* strings, bool strip) {
    msgClass* record = LoadedCatalogue().find(number);
    if (record == nullptr) return nullptr;
    CatalogueState& state = State();
    MessageArguments arguments;
    if (values != nullptr && value_count > 0) {
        arguments.values = {values, static_cast<std::size_t>(value_count)};
    }
    if (strings != nullptr && string_count > 0) {
        arguments.strings = {strings, static_cast<std::size_t>(string_count)};
    }
    arguments.units_system = state.units_system.c_str();
    std::optional<std::string> text = tarnvel::services::msgFormatRecord(*record, arguments);
    if (!text) return nullptr;
    if (strip && !text->empty() && text->back() == '\n') text->pop_back();
    state.formatted = std::move(*text);
    return state.formatted.c_str();
}

int msgGetFlags(int number) {
    const msgClass* record = LoadedCatalogue().find(number);
    return record != nullptr ? record->flags : 0;
}

void msgPrint(int number, int string_count, const char* const* strings, int value_count,
              const float* values) {
    CatalogueState& state = State();
    if (!state.print_settings) {
        if (!state.located) msgFindCatalogue(kCatalogueBaseName);
        state.units_system = kMessageUnitsSystem;
        state.echo = kEchoOn;
        state.print_settings = true;
    }
    std::fflush(stdout);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int flags = msgGetFlags(number);
    const char* text = msgFormat(number, value_count, values, string_count, strings, false);
    if (text != nullptr && (flags & 1) != 0 && state.echo == kEchoOn) {
        std::fputs(text, stdout);
        std::fflush(stdout);
    }
}

namespace tarnvel::services {

void MsgResetCatalogueForTesting() {
    CatalogueState& state = State();
    const bool cleanup_registered = state.cleanup_registered;
    state = CatalogueState{};
    state.cleanup_registered = cleanup_registered;
}

}  // namespace tarnvel::services
