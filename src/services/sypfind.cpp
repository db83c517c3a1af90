#include "services/sypfind.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "services/libvxenv.h"
#include "services/sypmem.h"

namespace tarnvel::services {
namespace {

// Guards of the variable expansion: a value that refers to itself, or a
// "$" that never closes, must not keep the expansion going.
constexpr int kMaxReferenceRounds = 64;
constexpr std::size_t kMaxExpandedLength = 64 * 1024;

// A locale's abbreviated language name, by language and territory. An
// empty territory marks the name used for any other territory of the
// language (and for none).
struct LocaleName {
    std::string_view language;
    std::string_view territory;
    std::string_view abbreviation;
};

constexpr std::array kLocaleNames = {
    LocaleName{"en", "", "ENU"},   LocaleName{"en", "GB", "ENG"}, LocaleName{"en", "AU", "ENA"},
    LocaleName{"en", "CA", "ENC"}, LocaleName{"en", "NZ", "ENZ"}, LocaleName{"en", "IE", "ENI"},
    LocaleName{"de", "", "DEU"},   LocaleName{"de", "AT", "DEA"}, LocaleName{"de", "CH", "DES"},
    LocaleName{"fr", "", "FRA"},   LocaleName{"fr", "BE", "FRB"}, LocaleName{"fr", "CA", "FRC"},
    LocaleName{"fr", "CH", "FRS"}, LocaleName{"it", "", "ITA"},   LocaleName{"it", "CH", "ITS"},
    LocaleName{"es", "", "ESP"},   LocaleName{"es", "MX", "ESM"}, LocaleName{"pt", "", "PTG"},
    LocaleName{"pt", "BR", "PTB"}, LocaleName{"nl", "", "NLD"},   LocaleName{"nl", "BE", "NLB"},
    LocaleName{"ja", "", "JPN"},   LocaleName{"ko", "", "KOR"},   LocaleName{"zh", "", "CHS"},
    LocaleName{"zh", "TW", "CHT"}, LocaleName{"zh", "HK", "ZHH"}, LocaleName{"zh", "SG", "ZHI"},
    LocaleName{"sv", "", "SVE"},   LocaleName{"da", "", "DAN"},   LocaleName{"nb", "", "NOR"},
    LocaleName{"no", "", "NOR"},   LocaleName{"fi", "", "FIN"},   LocaleName{"pl", "", "PLK"},
    LocaleName{"cs", "", "CSY"},   LocaleName{"sk", "", "SKY"},   LocaleName{"hu", "", "HUN"},
    LocaleName{"ru", "", "RUS"},   LocaleName{"tr", "", "TRK"},   LocaleName{"el", "", "ELL"},
    LocaleName{"he", "", "HEB"},   LocaleName{"ar", "", "ARA"},   LocaleName{"th", "", "THA"},
};

// The name of the C and POSIX locales and of an unset locale.
constexpr std::string_view kDefaultLocaleName = "ENU";

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// Maps a locale setting such as "de_DE.UTF-8" or "pt_BR" to its three-letter
// name. A language missing from the table gives its letters upper-cased,
// filled up to three with the leading letters of the territory ("xh_ZA"
// gives "XHZ").
std::string AbbreviatedLanguageName(std::string_view setting) {
    const std::size_t end = std::min(setting.find_first_of(".@"), setting.size());
    setting = setting.substr(0, end);
    if (setting.empty() || setting == "C" || setting == "POSIX") {
        return std::string(kDefaultLocaleName);
    }
    const std::size_t split = std::min(setting.find_first_of("_-"), setting.size());
    const std::string language = Lower(setting.substr(0, split));
    const std::string territory = Upper(setting.substr(std::min(split + 1, setting.size())));
    const LocaleName* fallback = nullptr;
    for (const LocaleName& name : kLocaleNames) {
        if (name.language != language) continue;
        if (name.territory == territory) return std::string(name.abbreviation);
        if (name.territory.empty()) fallback = &name;
    }
    if (fallback != nullptr) return std::string(fallback->abbreviation);
    std::string made = Upper(language.substr(0, 3));
    made += territory.substr(0, 3 - std::min<std::size_t>(made.size(), 3));
    return made;
}

std::string_view OrEmpty(const char* text) {
    return text != nullptr ? text : std::string_view();
}

// The product locale, else the locale of the process environment.
std::string CurrentLocale() {
    const std::string_view product = OrEmpty(envGetValue("PRODUCT_LOCALE"));
    if (!product.empty()) return std::string(product);
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string_view setting = OrEmpty(std::getenv(variable));
        if (!setting.empty()) return AbbreviatedLanguageName(setting);
    }
    return std::string(kDefaultLocaleName);
}

// The prefix of product data file names, for ".dat" files and logo images.
std::string FilePrefix(std::string_view base_name, std::string_view extension) {
    const std::size_t first_dat = base_name.find(".dat");
    const bool dat_name = first_dat != std::string_view::npos && first_dat + 4 == base_name.size();
    if (extension == ".dat" || dat_name || base_name.starts_with("vtrv_logo_")) {
        return std::string(OrEmpty(envGetValue("PRODUCT_DAT_PREFIX")));
    }
    return {};
}

// Replaces every occurrence of key; inserted text is not scanned again. A
// replacement that would grow the text beyond kMaxExpandedLength is not
// made, and false is returned.
bool ReplaceAll(std::string& text, std::string_view key, std::string_view value) {
    std::size_t occurrences = 0;
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        ++occurrences;
    }
    if (value.size() > key.size()) {
        const std::size_t growth = occurrences * (value.size() - key.size());
        if (growth > 0 && text.size() + growth > kMaxExpandedLength) return false;
    }
    for (std::size_t at = text.find(key); at != std::string::npos;
         at = text.find(key, at + value.size())) {
        text.replace(at, key.size(), value);
    }
    return true;
}

// The placeholder table, ordered by the byte values of its keys; the path
// separator of the templates becomes "/".
using Substitutions = std::vector<std::pair<std::string_view, std::string>>;

Substitutions PlaceholderTable(std::string_view subdirectory, std::string_view base_name,
                               std::string_view extension, std::string prefix, std::string locale) {
    Substitutions table = {
        {"%L", std::move(locale)},
        {"%N", std::string(base_name)},
        {"%P", std::move(prefix)},
        {"%S", std::string(extension)},
        {"%T", std::string(subdirectory)},
        {"%c", ""},
        {"%l", ""},
        {"%t", ""},
        {"\\", "/"},
    };
    std::sort(table.begin(), table.end());
    return table;
}

void ApplyPlaceholders(std::string& text, const Substitutions& table) {
    for (const auto& [key, value] : table) ReplaceAll(text, key, value);
}

// Replaces each "$NAME$" by the product variable NAME (nothing when unset),
// every occurrence at once, then looks again from the start. A "$" without
// a partner ends the expansion, and so do the round and length guards
// (values that refer to themselves would otherwise grow without end).
void ExpandReferences(std::string& text) {
    for (int round = 0; round < kMaxReferenceRounds; ++round) {
        const std::size_t open = text.find('$');
        if (open == std::string::npos) return;
        const std::size_t close = text.find('$', open + 1);
        if (close == std::string::npos) return;
        const std::string reference = text.substr(open, close - open + 1);
        const std::string name = reference.substr(1, reference.size() - 2);
        const std::string_view value = name.empty() ? "" : OrEmpty(envGetValue(name.c_str()));
        if (!ReplaceAll(text, reference, value)) return;
    }
}

// Collapses runs of "/" and the "/_/" left by an empty "%l_%t".
void CollapseSeparators(std::string& text) {
    std::string collapsed;
    collapsed.reserve(text.size());
    for (char c : text) {
        if (c == '/' && !collapsed.empty() && collapsed.back() == '/') continue;
        collapsed += c;
        if (collapsed.ends_with("/_/")) collapsed.resize(collapsed.size() - 2);
    }
    text = std::move(collapsed);
}

std::vector<std::string> SplitCandidates(std::string_view text) {
    std::vector<std::string> candidates;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(';'), text.size());
        if (end > 0) candidates.emplace_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return candidates;
}

// A readable file that is no directory.
bool IsDataFile(const std::string& path) {
    struct stat status {};
    return !path.empty() && access(path.c_str(), R_OK) == 0 && stat(path.c_str(), &status) == 0 &&
           !S_ISDIR(status.st_mode);
}

}  // namespace

std::vector<std::string> DataFileCandidates(const char* subdirectory, const char* base_name,
                                            const char* extension, const char* templates) {
    const Substitutions table =
        PlaceholderTable(OrEmpty(subdirectory), OrEmpty(base_name), OrEmpty(extension),
                         FilePrefix(OrEmpty(base_name), OrEmpty(extension)), CurrentLocale());
    std::string text(OrEmpty(templates));
    ApplyPlaceholders(text, table);
    ExpandReferences(text);
    ApplyPlaceholders(text, table);
    CollapseSeparators(text);
    std::vector<std::string> candidates;
    std::set<std::string, std::less<>> seen;
    for (std::string& candidate : SplitCandidates(text)) {
        if (seen.insert(candidate).second) candidates.push_back(std::move(candidate));
    }
    return candidates;
}

std::string LocaleAbbreviation(std::string_view setting) {
    return AbbreviatedLanguageName(setting);
}

}  // namespace tarnvel::services

char* sypFindDataFile(const char* subdirectory, const char* base_name, const char* extension,
                      const char* templates) {
    using namespace tarnvel::services;
    for (const std::string& candidate :
         DataFileCandidates(subdirectory, base_name, extension, templates)) {
        if (IsDataFile(candidate)) return sypStrdup(candidate.c_str());
    }
    return nullptr;
}
