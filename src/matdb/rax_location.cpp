#include "matdb/rax_location.h"

#include "matdb/matdb.h"
#include "services/libvxenv.h"
#include "services/sypenvvalue.h"
#include "services/syppaths.h"

namespace tarnvel::matdb {

namespace {

std::string WithSeparator(std::string directory) {
    if (!directory.empty() && directory.back() != '/') directory += '/';
    return directory;
}

bool FromVariable(const char* name, std::size_t limit, std::string* directory, std::string* why) {
    std::string value;
    switch (sypEnvironmentValue(name, limit, &value)) {
        case kSypEnvSet:
            *directory = WithSeparator(value);
            return true;
        case kSypEnvUnset:
            *why = std::string(name) + " is not set";
            return false;
        case kSypEnvTooLong:
            break;
    }
    *why = std::string(name) + " is longer than " + std::to_string(limit) + " characters";
    return false;
}

}  // namespace

bool DatabaseDirectory(int slot, std::string* directory, std::string* why) {
    directory->clear();
    switch (slot) {
        case MD_STANDARD: {
            std::string value;
            const SypEnvStatus status = sypEnvironmentValue("VTPATH", kVtPathLimit, &value);
            if (status == kSypEnvTooLong)
                return FromVariable("VTPATH", kVtPathLimit, directory, why);
            if (status == kSypEnvSet) {
                *directory = WithSeparator(value);
                return true;
            }
            // Without VTPATH the shipped Standard database of the product
            // data directory serves.
            const char* data = envGetValue("PRODUCT_DAT");
            if (data == nullptr || *data == '\0') {
                *why = "neither VTPATH nor the product data directory is set";
                return false;
            }
            *directory = WithSeparator(data);
            return true;
        }
        case MD_COMPANY:
            return FromVariable("VTCOMP", kVtPersonalLimit, directory, why);
        case MD_PROJECT:
            return FromVariable("VTPROJ", kVtPersonalLimit, directory, why);
        case MD_LOCAL:
            return true;
        default:
            break;
    }
    *why = "no such database";
    return false;
}

std::string RaxFileName(int slot, RaxFileKind kind) {
    std::string name = slot == MD_STANDARD ? "mtXs.rax" : "mtXp.rax";
    static constexpr char kLetters[] = {'f', 'g', 'd'};
    name[name.size() - 6] = kLetters[static_cast<int>(kind)];
    return name;
}

std::string ExistingRaxPath(const std::string& directory, int slot, RaxFileKind kind) {
    const std::string name = RaxFileName(slot, kind);
    const std::string formed = directory + name;
    if (sypFileExists(formed.c_str()) != 0) return formed;
    const std::string upper = directory + Upper(name);
    if (sypFileExists(upper.c_str()) != 0) return upper;
    return formed;
}

}  // namespace tarnvel::matdb
